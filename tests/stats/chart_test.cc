#include "stats/chart.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace {

std::string Chart(const std::vector<HChartBar>& bars, const char* color = "#3a7ca5", const char* label = "Hits") {
  return CaptureStdout([&] { WriteBarChart(bars, color, label); });
}

std::vector<HChartBar> Bars(const std::vector<long long>& values) {
  std::vector<HChartBar> bars;
  for (long long v : values) bars.push_back({v, std::to_string(bars.size() + 1), ""});
  return bars;
}

// The text after each `open` up to the next `close`.
std::vector<std::string> Between(const std::string& html, const std::string& open, const std::string& close) {
  std::vector<std::string> out;
  for (size_t at = html.find(open); at != std::string::npos; at = html.find(open, at)) {
    at += open.size();
    out.push_back(html.substr(at, html.find(close, at) - at));
  }
  return out;
}

std::vector<std::string> Heights(const std::string& html) { return Between(html, "height:", "%"); }
std::vector<std::string> Axis(const std::string& html) {
  return Between(Between(html, "class=\"chart-axis\"", "</div>").at(0), "<span>", "</span>");
}

// The shown labels' bar positions (1-based grid columns and spans) and texts.
struct Label {
  int first, span;
  std::string text;
};
std::vector<Label> Labels(const std::string& html) {
  std::vector<Label> out;
  for (const std::string& cell : Between(html, "grid-column:", "</span>")) {
    Label label{};
    sscanf(cell.c_str(), "%d/span %d", &label.first, &label.span);
    label.text = cell.substr(cell.find('>') + 1);
    out.push_back(label);
  }
  return out;
}

TEST(WriteBarChart, HeightsAreLinearToARoundTop) {
  const std::string html = Chart(Bars({0, 625, 1250, 2500, 2396}));
  EXPECT_EQ(Heights(html), (std::vector<std::string>{"0.00", "25.00", "50.00", "100.00", "95.84"}));
  EXPECT_EQ(Axis(html), (std::vector<std::string>{"2,500", "1,250", "0"}));
  EXPECT_NE(html.find("repeat(5,minmax(0,1fr))"), std::string::npos);  // one width for all bars
  EXPECT_EQ(Heights(Chart(Bars({1201, 600})))[1], "30.00");              // top 2,000
  EXPECT_EQ(Axis(Chart(Bars({21})))[1], "12.5");
}

TEST(WriteBarChart, RoundTops) {
  const std::vector<std::pair<long long, unsigned long long>> cases = {
      {0, 1}, {1, 1}, {2, 2}, {3, 5}, {6, 10}, {11, 20}, {21, 25}, {26, 50}, {51, 100}, {1200, 2000},
      {2500, 2500}, {2501, 5000}, {1000000, 1000000}, {LLONG_MAX, 10000000000000000000ULL}};
  for (const auto& c : cases) EXPECT_EQ(ChartTop(c.first), c.second) << c.first;
  EXPECT_EQ(FormatChartFigure(999999, 1), "999,999");
  EXPECT_EQ(FormatChartFigure(2500000, 1), "2.5 M");
  EXPECT_EQ(FormatChartFigure(25000000, 2), "12.5 M");
  EXPECT_EQ(FormatChartFigure(1000000000, 2), "500 M");
  EXPECT_EQ(FormatChartFigure(10000000000000000000ULL, 1), "10 E");
  EXPECT_EQ(FormatChartFigure(5, 2), "2.5");
}

TEST(WriteBarChart, ZerosNegativesAndLargest) {
  std::string html = Chart(Bars({0, 0, -5}));
  EXPECT_EQ(Heights(html), (std::vector<std::string>{"0.00", "0.00", "0.00"}));
  EXPECT_EQ(Axis(html), (std::vector<std::string>{"1", "0.5", "0"}));
  EXPECT_NE(html.find("title=\"0\""), std::string::npos);
  EXPECT_EQ(Chart({}), "");

  html = Chart(Bars({LLONG_MAX, LLONG_MIN, LLONG_MAX / 2}));
  EXPECT_EQ(Heights(html), (std::vector<std::string>{"92.23", "0.00", "46.12"}));
  EXPECT_EQ(Axis(html), (std::vector<std::string>{"10 E", "5 E", "0"}));
  EXPECT_NE(html.find("<span class=\"chart-sr\">9,223,372,036,854,775,807</span>"), std::string::npos);
}

TEST(WriteBarChart, EscapesTextAndChecksTheColour) {
  std::vector<HChartBar> bars = {{5, "<b>&", "Tue \"1\" <Dec>: 5 & 'more'"}};
  std::string html = Chart(bars, "red;background:url(x)", "A \"chart\" <x>");
  EXPECT_NE(html.find("aria-label=\"A &quot;chart&quot; &lt;x&gt;\""), std::string::npos);
  EXPECT_NE(html.find("title=\"Tue &quot;1&quot; &lt;Dec&gt;: 5 &amp; &#39;more&#39;\""), std::string::npos);
  EXPECT_EQ(Labels(html).at(0).text, "&lt;b&gt;&amp;");
  EXPECT_NE(html.find("--chart-color:#3a7ca5\""), std::string::npos);
  EXPECT_NE(Chart(bars, "#ABC").find("--chart-color:#ABC\""), std::string::npos);
  EXPECT_EQ(html.find("url("), std::string::npos);
  EXPECT_EQ(html.rfind("<div class=\"chart\" role=\"img\"", 0), 0u);
}

// Shown labels: all of a few short ones; of many, the first and the last, at
// most 12, in cells that never overlap and are wide enough for the text on
// a phone's page (about 300 px of plot, 8 px a character).
TEST(WriteBarChart, LabelsNeverRunTogether) {
  std::vector<HChartBar> week = Bars({1, 2, 3, 4, 5, 6, 7});
  for (HChartBar& bar : week) bar.label = "Mon";
  EXPECT_EQ(Labels(Chart(week)).size(), 7u);
  std::vector<HChartBar> months = Bars(std::vector<long long>(12, 1));
  for (HChartBar& bar : months) bar.label = "Dec";
  EXPECT_EQ(Labels(Chart(months)).size(), 6u);

  for (int count : {17, 31, 90, 366}) {
    const std::vector<Label> labels = Labels(Chart(Bars(std::vector<long long>(count, 3))));
    ASSERT_GE(labels.size(), 7u) << count;
    EXPECT_LE(labels.size(), 12u) << count;
    EXPECT_EQ(labels.front().text, "1") << count;
    EXPECT_EQ(labels.front().first, 1) << count;
    EXPECT_EQ(labels.back().text, std::to_string(count)) << count;
    EXPECT_EQ(labels.back().first + labels.back().span - 1, count) << count;
    const double widest = std::to_string(count).size() * 8 + 6;
    for (size_t i = 0; i < labels.size(); ++i) {
      EXPECT_GE(labels[i].span * 300.0 / count, widest) << count << " label " << i;
      if (i > 0) {
        EXPECT_GE(labels[i].first, labels[i - 1].first + labels[i - 1].span) << count << " label " << i;
      }
    }
  }
}

// With VAZIVEV_CHART_DEMO=FILE, writes charts of 7 to 366 bars under the page
// head's styles, to look at in a browser.
TEST(WriteBarChart, Demonstration) {
  const char* path = getenv("VAZIVEV_CHART_DEMO");
  if (!path) GTEST_SKIP() << "set VAZIVEV_CHART_DEMO to write the page";
  const std::string source = __FILE__;
  const std::string head = ReadFile(source.substr(0, source.rfind("/tests/")) + "/page/parts/head.html");
  std::string page = "<!DOCTYPE html><html lang=\"en\"><head><meta name=\"viewport\" content=\"width=device-width\">" +
                     head.substr(head.find("<style>"), head.find("</head>") - head.find("<style>")) + "</head><body><main>\n";
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int count : {7, 31, 90, 366}) {
    std::vector<HChartBar> bars;
    for (int i = 0; i < count; ++i) {
      const long long value = (i * 7919 % 1000) * (count == 366 ? 4000 : 2) + (i % 7 ? 30 : 0);
      bars.push_back({value, count == 366 ? kMonths[i * 12 / 366] : std::to_string(count == 90 ? 2025 + i / 30 : i + 1),
                      std::to_string(value) + " page requests"});
    }
    page += "<h2>" + std::to_string(count) + " bars</h2>\n" + Chart(bars);
  }
  FILE* out = fopen(path, "w");
  ASSERT_NE(out, nullptr);
  fputs((page + "</main></body></html>\n").c_str(), out);
  fclose(out);
}

}  // namespace
