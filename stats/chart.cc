#include "stats/chart.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kDefaultColor = "#3a7ca5";
// Labels show for every bar up to this many bars; past it, every k-th label
// shows, at most kMaxLabels of them, each in a cell k bars wide so that
// "Dec" or "2026" fits even when one bar is a pixel wide.
constexpr int kAllLabels = 16;
constexpr int kMaxLabels = 12;
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
  const int length = snprintf(digits, sizeof digits, "%lld", value);
  GroupDigits(digits, length, out);
}

// One label cell: the bars it spans and how its text sits in it.
struct LabelCell {
  int bar;
  int first;
  int span;
  const char* kind;  // "l" left-aligned, "r" right-aligned, "a" every other
};

// The cells of the labels that show: all of them for a few bars; else the
// first, every k-th and the last, in cells that never overlap. The last label
// is right-aligned after the one before it, which gives way when the two
// would crowd each other. Every other middle label is marked so that narrow
// pages can leave it out. Returns the number of cells.
int LayOutLabels(int count, LabelCell* cells) {
  if (count <= kAllLabels) {
    for (int i = 0; i < count; ++i) cells[i] = {i, i, 1, ""};
    return count;
  }
  const int step = (count - 1 + kMaxLabels - 2) / (kMaxLabels - 1);
  const int half = (step - 1) / 2;
  int n = 0;
  // The first label is left-aligned and takes the room up to the second's cell.
  cells[n++] = {0, 0, step - half, "l"};
  for (int bar = step; bar < count - 1; bar += step) {
    const bool every_other = n % 2 == 0;
    cells[n++] = {bar, bar - half, 2 * half + 1, every_other ? "a" : ""};
  }
  int first = cells[n - 1].first + cells[n - 1].span;
  if (count - first < half + 1 && n > 1) {
    --n;
    first = cells[n - 1].first + cells[n - 1].span;
  }
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
  const int cell_count = LayOutLabels(count, cells);
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
