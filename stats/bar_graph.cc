#include "stats/bar_graph.h"

#include <cstdio>
#include <memory>
#include <new>

#include "core/errors.h"
#include "core/file.h"

namespace {

constexpr int kPlotRows = 100;

// The smallest multiple of a tenth of the next power of ten that reaches
// max. Nine rounds keep the top at 10^9 at most, within an int.
int ScaleTop(int max) {
  int top = 1;
  for (int round = 0; round < 9; ++round) {
    if (max < top) {
      const int step = top / 10;
      top = step;
      while (top < max) top += step;
      break;
    }
    top *= 10;
  }
  return top;
}

}  // namespace

void WriteBarGraph(const int* values, int count, const char* color, int min_top, int width) {
  if (count <= 0 || values == nullptr) {
    WriteText("<table>\n");
    WriteText(" <tr>\n");
    return;
  }
  if (color == nullptr) color = "#0x008000";
  const int column_width = width / count + 1;
  int max = min_top > 0 ? min_top : 1;
  for (int i = 0; i < count; ++i) {
    if (values[i] > max) max = values[i];
  }
  const int top = ScaleTop(max);
  const int unit = (top > kPlotRows ? top : kPlotRows) / kPlotRows;

  // A top of 10^9 cannot grow further, so larger values would need more
  // rows than the plot has: they stand at full height instead.
  std::unique_ptr<int[]> heights(new (std::nothrow) int[count]);
  if (!heights) throw ErrorMemory;
  for (int i = 0; i < count; ++i) {
    int h = values[i] / unit;
    if (h < 0) h = 0;
    if (h > kPlotRows) h = kPlotRows;
    heights[i] = h;
  }

  WriteText("<table border=0 cellspacing=1 cellpadding=0>\n");
  WriteText(" <tr>\n");
  WriteText("  <td height=1></td>\n");
  WriteText("  <td></td>\n");
  WriteText("  <td width=1 bgcolor=\"#808080\" rowspan=102></td></td>\n");
  for (int i = 0; i < count; ++i) {
    printf("  <td width=%d rowspan=%d><br></td>\n", column_width, kPlotRows + 1 - heights[i]);
  }
  WriteText(" </tr>\n");
  for (int row = 0; row < kPlotRows; ++row) {
    WriteText(" <tr>\n");
    WriteText("  <td height=1></td>\n");
    if (row % 20 == 0) {
      printf("  <td align=right valign=top rowspan=20><font size=-1>%d</font></td>\n",
             (kPlotRows - row) * unit);
    }
    for (int i = 0; i < count; ++i) {
      if (heights[i] == kPlotRows - row) {
        printf("  <td bgcolor=\"%s\" rowspan=%d><br></td>\n", color, heights[i]);
      }
    }
    WriteText(" </tr>\n");
  }
  WriteText(" <tr>\n");
  WriteText("  <td height=1></td>\n");
  printf("  <td height=1 bgcolor=\"#808080\" colspan=%d></td>\n", count + 1);
  WriteText(" </tr>\n");
  WriteText(" <tr>\n");
  WriteText("  <td height=1></td>\n");
  WriteText("  <td align=right valign=top><font size=-1>0</font></td>\n");
  WriteText("  <td></td>\n");
}

void EndBarGraph() {
  WriteText(" </tr>\n");
  WriteText("</table>\n");
}
