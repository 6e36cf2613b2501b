#include "stats/bytes.h"

#include <climits>
#include <cstdio>

#include "core/answers.h"
#include "logread/log_line.h"
#include "logread/page_rule.h"

namespace {

constexpr int kBytesReadLimit = kLogLineSize;
constexpr int kFigureSize = 32;
// Megabytes in the graphs: an int of them passes any site's month.
constexpr long long kGraphUnit = 1000 * 1000;

}  // namespace

void FormatByteSize(long long bytes, char* out, int size) {
  static const char* const kUnits[] = {"B", "kB", "MB", "GB", "TB", "PB", "EB"};
  if (out == nullptr || size <= 0) return;
  if (bytes < 1000) {
    snprintf(out, static_cast<size_t>(size), "%lld B", bytes < 0 ? 0 : bytes);
    return;
  }
  // Tenths of the unit in integers: a double would round the exact figure
  // of a large count.
  int unit = 0;
  long long scale = 1;
  while (unit < 6 && bytes / scale >= 1000) {
    scale *= 1000;
    ++unit;
  }
  long long tenths = bytes / (scale / 10) + (bytes % (scale / 10) >= scale / 20 ? 1 : 0);
  if (tenths >= 10000 && unit < 6) {  // 999.95 kB rounds to 1.0 MB
    scale *= 1000;
    ++unit;
    tenths = bytes / (scale / 10) + (bytes % (scale / 10) >= scale / 20 ? 1 : 0);
  }
  snprintf(out, static_cast<size_t>(size), "%lld.%lld %s", tenths / 10, tenths % 10, kUnits[unit]);
}

HReadableBytes::HReadableBytes(IObject* source) : IObject("Readable", 0), source_(source) {}

const char* HReadableBytes::GetProperty(const char* name) {
  const char* figure = source_ == nullptr ? nullptr : source_->GetProperty(name);
  if (figure == nullptr || *figure == 0) return nullptr;
  char text[kFigureSize];
  FormatByteSize(HHit::StoredFigure(figure), text, sizeof text);
  return KeepAnswer(text);
}

HBytesHit::HBytesHit(const char* name, IStatsSettings* log)
    : HHit(name, log), readable_(this), total_readable_(HHit::FindChild("Total")) {
  type_name_ = "Bytes";
}

namespace {

// The lines of the audience, and the sum of their bytes.
class HBytesCounter : public IDayCounter {
 public:
  explicit HBytesCounter(const HPageRule& rule) : IDayCounter(kBytesReadLimit), rule_(rule) {}
  bool Offer(char* line) override {
    const int format = DetectLogFormat(line);
    if (format < 0 || !rule_.InAudience(line, format)) return false;
    Add(ExtractBytes(line, format));
    return true;
  }
  bool OfferFacts(HLineFacts& facts) override {
    if (facts.Format() < 0 || !facts.InAudience(rule_)) return false;
    Add(facts.Bytes());
    return true;
  }
  long long Sum() const { return sum_; }
  void SaveResult(std::string& out) const override { PutResultNumber(out, sum_); }
  bool LoadResult(const char*& p, const char* end) override { return GetResultNumber(p, end, &sum_); }

 private:
  void Add(long long bytes) {
    // Each field stays below 10^18, so only a sum near the top can pass it.
    if (bytes > 0) sum_ = bytes > LLONG_MAX - sum_ ? LLONG_MAX : sum_ + bytes;
  }

  const HPageRule& rule_;
  long long sum_ = 0;
};

}  // namespace

std::unique_ptr<IDayCounter> HBytesHit::DayCounter() {
  return std::unique_ptr<IDayCounter>(new HBytesCounter(Rule()));
}

long long HBytesHit::DayFigure(IDayCounter& counter) { return static_cast<HBytesCounter&>(counter).Sum(); }

const char* HBytesHit::FigureAnswer(long long figure) const { return DecimalAnswer(figure); }

long long HBytesHit::LargestSum() const { return LLONG_MAX; }

int HBytesHit::GraphValue(long long figure) const {
  const long long units = figure < 0 ? 0 : figure / kGraphUnit;
  return units > INT_MAX ? INT_MAX : static_cast<int>(units);
}

std::string HBytesHit::ChartText(long long figure) const {
  char readable[32];
  FormatByteSize(figure, readable, sizeof readable);
  return std::string(readable) + ", " + std::to_string(figure);
}

IObject* HBytesHit::FindChild(const char* name) {
  if (name != nullptr && IsWord(name, "Readable")) return &readable_;
  if (name != nullptr && IsWord(name, "TotalReadable")) return &total_readable_;
  return HHit::FindChild(name);
}
