#include "stats/bar_graph.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace {

// The whole table as the rules lay it out, from facts worked out by hand:
// the spacers' row spans, the five scale labels and, per plot row, the
// spans of the bars that start there.
struct Graph {
  int column_width;
  std::vector<int> spacers;
  std::vector<int> labels;
  std::map<int, std::vector<int>> bars;
  std::string color;
};

std::string Layout(const Graph& g) {
  std::string out = "<table border=0 cellspacing=1 cellpadding=0>\n <tr>\n  <td height=1></td>\n"
                    "  <td></td>\n  <td width=1 bgcolor=\"#808080\" rowspan=102></td></td>\n";
  for (int span : g.spacers) {
    out += "  <td width=" + std::to_string(g.column_width) + " rowspan=" + std::to_string(span) +
           "><br></td>\n";
  }
  out += " </tr>\n";
  for (int row = 0; row < 100; ++row) {
    out += " <tr>\n  <td height=1></td>\n";
    if (row % 20 == 0) {
      out += "  <td align=right valign=top rowspan=20><font size=-1>" +
             std::to_string(g.labels[row / 20]) + "</font></td>\n";
    }
    auto bars = g.bars.find(row);
    if (bars != g.bars.end()) {
      for (int span : bars->second) {
        out += "  <td bgcolor=\"" + g.color + "\" rowspan=" + std::to_string(span) + "><br></td>\n";
      }
    }
    out += " </tr>\n";
  }
  out += " <tr>\n  <td height=1></td>\n  <td height=1 bgcolor=\"#808080\" colspan=" +
         std::to_string(g.spacers.size() + 1) + "></td>\n </tr>\n";
  out += " <tr>\n  <td height=1></td>\n  <td align=right valign=top><font size=-1>0</font></td>\n"
         "  <td></td>\n </tr>\n</table>\n";
  return out;
}

std::string Draw(const std::vector<int>& values, const char* color) {
  return CaptureStdout([&] {
    WriteBarGraph(values.data(), static_cast<int>(values.size()), color, 1, 400);
    EndBarGraph();
  });
}

}  // namespace

TEST(BarGraphTest, WholeOutputMatchesHandWorkedGraphs) {
  struct Case { std::vector<int> values; const char* color; Graph graph; };
  const Case cases[] = {
      // Top 60, one per row: the labels still read 100 to 20.
      {{0, 5, 57}, "red",
       {134, {101, 96, 44}, {100, 80, 60, 40, 20}, {{95, {5}}, {43, {57}}}, "red"}},
      // Top 400, four per row; 3 truncates to no bar, two bars share a row.
      {{345, 100, 3, 0, 101}, nullptr,
       {81, {15, 76, 101, 101, 76}, {400, 320, 240, 160, 80}, {{14, {86}}, {75, {25, 25}}},
        "#0x008000"}},
      // Top 10^9 stops growing: 2e9 stands at full height, a negative value at 0.
      {{2000000000, 500000000, -7}, "#ff0000",
       {134, {1, 51, 101}, {1000000000, 800000000, 600000000, 400000000, 200000000},
        {{0, {100}}, {50, {50}}}, "#ff0000"}},
      {{0, 0}, "red", {201, {101, 101}, {100, 80, 60, 40, 20}, {}, "red"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Layout(c.graph), Draw(c.values, c.color)) << c.values.size() << " values";
  }
}

TEST(BarGraphTest, NoValuesOpenAnEmptyTable) {
  EXPECT_EQ("<table>\n <tr>\n </tr>\n</table>\n", Draw({}, "red"));
}
