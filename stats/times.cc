#include "stats/times.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/file.h"
#include "logread/log_line.h"
#include "logread/page_rule.h"
#include "stats/bar_graph.h"
#include "stats/chart.h"
#include "stats/day_pass.h"
#include "stats/stats_settings.h"

namespace {

const char* const kHourNames[HTimesHit::kHours] = {"0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",
                                                   "8",  "9",  "10", "11", "12", "13", "14", "15",
                                                   "16", "17", "18", "19", "20", "21", "22", "23"};
// The buffer's last byte is left unused.
constexpr int kReadLimit = kLogLineSize - 1;
constexpr int kGraphWidth = 400;
constexpr int kGraphMinTop = 1;

}  // namespace

HTimesHit::HTimesHit(const char* name, IStatsSettings* log) : IContainer(name, 0), log_(log) {
  type_name_ = "Times";
  HDate::Parse(name_.CStr(), &day_);
}

const char* HTimesHit::GetProperty(const char* name) {
  ComputeHours();
  return IContainer::GetProperty(name);
}

const char* HTimesHit::Call(const char* method, int argc, const char* const* argv) {
  if (method != nullptr && IsWord(method, "Graph")) {
    if (argc >= 1) Graph(argv[0]);
    return nullptr;
  }
  if (method != nullptr && IsWord(method, "Chart")) {
    if (argc >= 1) Chart(argv[0], ChartUnit(argc, argv));
    return nullptr;
  }
  return IContainer::Call(method, argc, argv);
}

void HTimesHit::ComputeHours() {
  HDayPass pass;
  if (AddDueDay(pass)) pass.Run();
}

bool HTimesHit::AddDueDay(HDayPass& pass) {
  if (log_ == nullptr || !day_.IsValid() || day_.Compare(log_->Today()) > 0) return false;
  const bool counted = properties_.Count() > 0;
  // Today's file may still grow: what was counted of it is kept, unless a
  // page asked for today so far.
  const bool growing = !log_->MayCount(day_);
  if (counted && growing) return false;
  const std::string stamp = growing ? std::string() : log_->DayStamp(day_);
  if (counted && (stamp.empty() || stamp == Setting(kStampName))) return false;
  HString file;
  if (!log_->FindDayFile(file, day_)) return false;
  log_->MoveFirstDayBack(day_);
  std::shared_ptr<int> hours(new int[kHours](), std::default_delete<int[]>());
  pass.SetFile(file.CStr());
  std::unique_ptr<IDayCounter> counter = HoursCounter(log_->PageRule(), hours.get());
  counter->SetStamp(stamp);
  pass.Add(std::move(counter), [this, hours](IDayCounter& counted) {
    for (int hour = 0; hour < kHours; ++hour) SetPropertyInt(kHourNames[hour], hours.get()[hour]);
    if (!counted.Stamp().empty()) SetProperty(kStampName, counted.Stamp().c_str());
  });
  return true;
}

bool HTimesHit::IsCurrent() {
  if (log_ == nullptr || !day_.IsValid() || !log_->MayCount(day_)) return true;
  const std::string stamp = log_->DayStamp(day_);
  return stamp.empty() || (properties_.Count() > 0 && stamp == Setting(kStampName));
}

const char* HTimesHit::Setting(const char* name) const {
  const char* value = properties_.GetValue(name);
  return value == nullptr ? "" : value;
}

int HTimesContainer::CountDue(const std::vector<HDate>& days, HUncounted* left) {
  int counted = 0;
  for (auto day = days.rbegin(); day != days.rend(); ++day) {
    if (log_ == nullptr || day->Compare(log_->Today()) >= 0) continue;
    char name[kDayNameSize];
    DayName(name, *day);
    const bool was_loaded = FindChildNode(name) != nullptr;
    auto* hours = dynamic_cast<HTimesHit*>(FindChild(name));
    if (hours == nullptr || hours->IsCurrent()) {
      if (hours != nullptr && !was_loaded && !hours->IsModified()) children_.Remove(FindChildNode(name));
      continue;
    }
    if (!MayCountAnotherDay()) {
      if (left != nullptr) left->Add(*day);
      continue;
    }
    hours->ComputeHours();
    ++counted;
  }
  return counted;
}

namespace {

// The page requests of one day by hour.
class HHoursCounter : public IDayCounter {
 public:
  HHoursCounter(const HPageRule& rule, int* hours) : IDayCounter(kReadLimit), rule_(rule), hours_(hours) {}
  bool Offer(char* line) override {
    const auto by_hour = [this](char* text, int format, const char*, int) {
      const int hour = ExtractHour(text, format);
      if (hour < 0 || hour >= HTimesHit::kHours) return false;
      ++hours_[hour];
      return true;
    };
    return OfferPageRequest(line, rule_, by_hour);
  }
  bool OfferFacts(HLineFacts& facts) override {
    if (!facts.LineCounts(rule_) || facts.Path() == nullptr || !facts.PathCounts(rule_)) return false;
    const char* path = nullptr;
    const int hour = ExtractHour(facts.CutCopy(&path), facts.Format());
    if (hour < 0 || hour >= HTimesHit::kHours) return false;
    ++hours_[hour];
    return true;
  }
  void SaveResult(std::string& out) const override {
    for (int hour = 0; hour < HTimesHit::kHours; ++hour) PutResultNumber(out, hours_[hour]);
  }
  bool LoadResult(const char*& p, const char* end) override {
    for (int hour = 0; hour < HTimesHit::kHours; ++hour) {
      long long n = 0;
      if (!GetResultNumber(p, end, &n)) return false;
      hours_[hour] = static_cast<int>(n);
    }
    return true;
  }

 private:
  const HPageRule& rule_;
  int* hours_;
};

}  // namespace

std::unique_ptr<IDayCounter> HTimesHit::HoursCounter(const HPageRule& rule, int* hours) {
  return std::unique_ptr<IDayCounter>(new HHoursCounter(rule, hours));
}

bool HTimesHit::CountHours(const char* file, const HPageRule& rule, int (&hours)[kHours]) {
  return CountDayFileLines(file, HoursCounter(rule, hours)) >= 0;
}

bool HTimesContainer::AddDueDay(const HDate& day, HDayPass& pass) {
  if (log_ == nullptr || day.Compare(log_->Today()) >= 0) return false;
  char name[kDayNameSize];
  DayName(name, day);
  const bool was_loaded = FindChildNode(name) != nullptr;
  auto* hours = dynamic_cast<HTimesHit*>(FindChild(name));
  if (hours == nullptr) return false;
  if (hours->IsCurrent() || !hours->AddDueDay(pass)) {
    if (!was_loaded && !hours->IsModified()) children_.Remove(FindChildNode(name));
    return false;
  }
  return true;
}

void HTimesHit::Chart(const char* color, const std::string& unit) {
  ComputeHours();
  std::vector<HChartBar> bars;
  for (int hour = 0; hour < kHours; ++hour) {
    HChartBar bar;
    bar.value = strtoll(Setting(kHourNames[hour]), nullptr, 10);
    bar.label = kHourNames[hour];
    char from[32];
    snprintf(from, sizeof from, "%d:00-%d:59", hour, hour);
    bar.title = std::string(from) + ": " + std::to_string(bar.value) + " " + unit;
    bars.push_back(bar);
  }
  WriteBarChart(bars, color, (unit.empty() ? std::string("By hour") : unit + " by hour").c_str());
}

void HTimesHit::Graph(const char* color) {
  // Counted once here rather than once per hour: a day that cannot be
  // counted is not looked for 24 times.
  ComputeHours();
  int values[kHours];
  for (int hour = 0; hour < kHours; ++hour) values[hour] = ToInt(properties_.GetValue(kHourNames[hour]));
  WriteBarGraph(values, kHours, color, kGraphMinTop, kGraphWidth);
  for (int hour = 0; hour < kHours; ++hour) printf("  <td><font size=-1>%d</font></td>\n", hour);
  EndBarGraph();
}

HTimesContainer::HTimesContainer(const char* name, IStatsSettings* log)
    : HDayContainer(name, "TimesContainer", "Times"), log_(log), hours_("Hours", nullptr) {}

IObject* HTimesContainer::MakeDay(const char* name) { return new HTimesHit(name, log_); }

const char* HTimesContainer::Call(const char* method, int argc, const char* const* argv) {
  if (method == nullptr || !IsWord(method, "Range")) return HDayContainer::Call(method, argc, argv);
  HDate first;
  HDate last;
  hours_.Properties().Clear();
  if (argc >= 2 && first.SetNumber(ToInt(argv[0])) && last.SetNumber(ToInt(argv[1])) && first.Compare(last) <= 0) {
    SumRange(first, last);
  }
  return nullptr;
}

IObject* HTimesContainer::FindChild(const char* name) {
  if (name != nullptr && IsWord(name, "Hours")) return &hours_;
  return HDayContainer::FindChild(name);
}

void HTimesContainer::SumRange(const HDate& first, const HDate& last) {
  long long sums[HTimesHit::kHours] = {};
  HUncounted left;
  // Stored days whose day files are gone count too.
  std::vector<HDate> days = log_ == nullptr ? std::vector<HDate>() : DaysWithData(*log_, first, last);
  if (log_ != nullptr && log_->MayCount(log_->Today()) && (days.empty() || days.back().Compare(log_->Today()) != 0)) {
    days.push_back(log_->Today());
  }
  for (const HDate& day : days) {
    if (day.Compare(first) < 0 || day.Compare(last) > 0 || !log_->MayCount(day)) continue;
    char name[kDayNameSize];
    DayName(name, day);
    const bool was_loaded = FindChildNode(name) != nullptr;
    auto* hours = dynamic_cast<HTimesHit*>(FindChild(name));
    if (hours == nullptr) continue;
    if (!hours->IsCurrent()) {
      if (!MayCountAnotherDay()) {
        left.Add(day);
        continue;
      }
      hours->ComputeHours();
    }
    for (int hour = 0; hour < HTimesHit::kHours; ++hour) sums[hour] += ToInt(hours->Properties().GetValue(kHourNames[hour]));
    // Years of days would otherwise stay in memory.
    if (!was_loaded && !hours->IsModified()) children_.Remove(FindChildNode(name));
  }
  for (int hour = 0; hour < HTimesHit::kHours; ++hour) {
    char text[24];
    snprintf(text, sizeof text, "%lld", sums[hour]);
    hours_.SetProperty(kHourNames[hour], text);
  }
  left.Settle();
  hours_.SetPropertyInt("Uncounted", static_cast<int>(left.days.size()));
}
