// The bar chart writer: one chart of equal-width bars on a linear scale from
// 0 to a round top, drawn with HTML and the .chart classes of the page head
// (CSS grid, no images, no script). Everything goes to standard output.
#ifndef STATS_CHART_H_
#define STATS_CHART_H_

#include <string>
#include <vector>

// One bar: its figure, the short label under it ("1", "Dec", "2026"),
// and the text shown on hover ("Tue 1 Dec 2026: 1,234 page requests").
struct HChartBar {
  long long value = 0;
  std::string label;
  std::string title;
};

// Writes the bars, oldest first, as one chart to standard output: a
// <div class="chart" role="img"> that fits inside the page's <main>.
// A color other than "#" and 3 or 6 hex digits draws the default blue; a
// null label names the chart "Chart". Negative values draw as 0, titles and
// labels are HTML-escaped, and no bars write nothing.
void WriteBarChart(const std::vector<HChartBar>& bars, const char* color, const char* label);

// The unit words of a page's "Chart COLOR UNIT..." call: its arguments
// after the colour, joined by blanks.
std::string ChartUnit(int argc, const char* const* argv);

// The top of the scale for a largest value: the least 1, 2, 2.5 or 5 times a
// power of ten that reaches it, and 1 for 0 or less. Unsigned so that the top
// of LLONG_MAX (10^19) fits.
unsigned long long ChartTop(long long max);

// A figure as the chart's axis shows it, num / den for den 1 or 2: digits in
// groups of three ("1,200") below a million, and from there in M, G, T, P or
// E with the decimals it needs ("2.5 M", "12.5 G").
std::string FormatChartFigure(unsigned long long num, int den);

#endif  // STATS_CHART_H_
