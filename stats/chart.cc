#include "stats/chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/text.h"

namespace {

constexpr const char* kDefaultColor = "#3a7ca5";
// Labels show for every bar of up to kAllLabels bars; past it, or when they
// would not fit, every k-th label shows, at most kMaxLabels of them. A label
// must fit the plot of a phone-sized page (390 px: about 300 px for the bars)
// at an estimated width per byte of text.
constexpr int kAllLabels = 16;
constexpr int kMaxLabels = 12;
constexpr double kNarrowPlotWidth = 300;
constexpr double kLabelCharWidth = 8;
constexpr double kLabelPadding = 6;
// Past this many bars, a bar is a few pixels wide at most and the bars touch:
// gaps of a fraction of a pixel only blur.
constexpr int kDenseBars = 120;

void PutEscaped(const std::string& text) {
  const char* p = text.c_str();
  const char* run = p;
  for (; *p; ++p) {
    const char* entity = nullptr;
    switch (*p) {
      case '&': entity = "&amp;"; break;
      case '<': entity = "&lt;"; break;
      case '>': entity = "&gt;"; break;
      case '"': entity = "&quot;"; break;
      case '\'': entity = "&#39;"; break;
      default: continue;
    }
    fwrite(run, 1, p - run, stdout);
    fputs(entity, stdout);
    run = p + 1;
  }
  fwrite(run, 1, p - run, stdout);
}

bool IsHexColor(const char* color) {
  if (!color || color[0] != '#') return false;
  const size_t length = strlen(color + 1);
  if (length != 3 && length != 6) return false;
  for (const char* p = color + 1; *p; ++p) {
    const bool hex = (*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f') || (*p >= 'A' && *p <= 'F');
    if (!hex) return false;
  }
  return true;
}

// Digits with a comma between groups of three, into out; returns its length.
int GroupDigits(const char* digits, int length, char* out) {
  int n = 0;
  for (int i = 0; i < length; ++i) {
    if (i > 0 && (length - i) % 3 == 0) out[n++] = ',';
    out[n++] = digits[i];
  }
  out[n] = '\0';
  return n;
}

// A bar's exact figure with grouped digits, into a buffer of 32.
void FormatValue(long long value, char* out) {
  char digits[24];
  const int length = FormatDecimal(digits, value);
  GroupDigits(digits, length, out);
}

// One label cell: the bars it spans and how its text sits in it.
struct LabelCell {
  int bar;
  int first;
  int span;
  const char* kind;  // "l" left-aligned, "r" right-aligned, "" centred
};

// The cells of the labels that show: all of them, centred under their bars,
// when the longest fits under one bar of a narrow page; else every k-th, left
// aligned in a cell k bars wide, where k lets the longest fit and keeps at
// most kMaxLabels. The last bar's label is right-aligned in the rest, and the
// labels before it give way until it has room. Returns the number of cells.
int LayOutLabels(const std::vector<HChartBar>& bars, LabelCell* cells) {
  const int count = static_cast<int>(bars.size());
  size_t longest = 1;
  for (const HChartBar& bar : bars) {
    if (bar.label.size() > longest) longest = bar.label.size();
  }
  const double text = static_cast<double>(longest) * kLabelCharWidth + kLabelPadding;
  const int need = static_cast<int>(std::ceil(count * text / kNarrowPlotWidth));
  if (count <= kAllLabels && need <= 1) {
    for (int i = 0; i < count; ++i) cells[i] = {i, i, 1, ""};
    return count;
  }
  const int step = std::max((count - 1 + kMaxLabels - 2) / (kMaxLabels - 1), need);
  int n = 0;
  for (int bar = 0; bar < count - 1; bar += step) cells[n++] = {bar, bar, step, "l"};
  int first = cells[n - 1].first + step;
  while (count - first < need && n > 1) first = cells[--n].first;
  if (first < count) cells[n++] = {count - 1, first, count - first, "r"};
  return n;
}

}  // namespace

unsigned long long ChartTop(long long max) {
  if (max <= 1) return 1;
  const unsigned long long want = static_cast<unsigned long long>(max);
  unsigned long long power = 1;
  for (;;) {
    if (want <= power) return power;
    if (want <= 2 * power) return 2 * power;
    if (power >= 10 && want <= power / 2 * 5) return power / 2 * 5;
    if (want <= 5 * power) return 5 * power;
    power *= 10;  // 10^19 at most, below ULLONG_MAX: LLONG_MAX ends here
  }
}

std::string FormatChartFigure(unsigned long long num, int den) {
  char digits[32];
  int length = snprintf(digits, sizeof digits, "%llu", den == 2 ? num / 2 : num);
  std::string fraction = den == 2 && num % 2 ? "5" : "";
  static const char* const kUnits[] = {"", "", " M", " G", " T", " P", " E"};
  const int group = length > 6 ? (length - 1) / 3 : 0;
  if (group > 0) {
    length -= group * 3;
    fraction = std::string(digits + length) + fraction;
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  }
  char grouped[48];
  GroupDigits(digits, length, grouped);
  std::string out = grouped;
  if (!fraction.empty()) out += "." + fraction;
  out += kUnits[group];
  return out;
}

void WriteBarChart(const std::vector<HChartBar>& bars, const char* color, const char* label) {
  if (bars.empty()) return;
  const int count = static_cast<int>(bars.size());
  long long max = 0;
  for (const HChartBar& bar : bars) {
    if (bar.value > max) max = bar.value;
  }
  const unsigned long long top = ChartTop(max);
  const double scale = 100.0 / static_cast<double>(top);

  fputs("<div class=\"chart\" role=\"img\" aria-label=\"", stdout);
  PutEscaped(label ? label : "Chart");
  printf("\" style=\"--chart-color:%s\">\n", IsHexColor(color) ? color : kDefaultColor);
  printf("<div class=\"chart-axis\" aria-hidden=\"true\"><span>%s</span><span>%s</span><span>0</span></div>\n",
         FormatChartFigure(top, 1).c_str(), FormatChartFigure(top, 2).c_str());
  printf("<div class=\"chart-plot%s\" style=\"grid-template-columns:repeat(%d,minmax(0,1fr))\">\n",
         count > kDenseBars ? " chart-dense" : "", count);
  char value_text[32];
  for (const HChartBar& bar : bars) {
    const long long value = bar.value > 0 ? bar.value : 0;
    FormatValue(value, value_text);
    fputs("<div class=\"chart-bar\" title=\"", stdout);
    if (bar.title.empty()) {
      fputs(value_text, stdout);
    } else {
      PutEscaped(bar.title);
    }
    printf("\"><span class=\"chart-fill\" style=\"height:%.2f%%\"></span><span class=\"chart-sr\">%s</span></div>\n",
           static_cast<double>(value) * scale, value_text);
  }
  printf("</div>\n<div class=\"chart-labels\" style=\"grid-template-columns:repeat(%d,minmax(0,1fr))\">", count);
  LabelCell cells[kAllLabels + kMaxLabels + 2];
  const int cell_count = LayOutLabels(bars, cells);
  for (int i = 0; i < cell_count; ++i) {
    const LabelCell& cell = cells[i];
    const char* kind = cell.kind;
    printf("<span class=\"chart-label%s%s\" style=\"grid-column:%d/span %d\">", *kind ? " chart-label-" : "", kind,
           cell.first + 1, cell.span);
    PutEscaped(bars[cell.bar].label);
    fputs("</span>", stdout);
  }
  fputs("</div>\n</div>\n", stdout);
}

std::string ChartUnit(int argc, const char* const* argv) {
  std::string unit;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] == nullptr || *argv[i] == 0) continue;
    if (!unit.empty()) unit += " ";
    unit += argv[i];
  }
  return unit;
}
