#include "stats/times.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/file.h"
#include "logread/log_line.h"
#include "logread/page_rule.h"
#include "objects/object_stream.h"
#include "stats/bar_graph.h"
#include "stats/chart.h"
#include "stats/day_files.h"
#include "stats/day_pass.h"
#include "stats/kept_sums.h"
#include "stats/stats_settings.h"

namespace {

const char* const kHourNames[HTimesHit::kHours] = {"0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",
                                                   "8",  "9",  "10", "11", "12", "13", "14", "15",
                                                   "16", "17", "18", "19", "20", "21", "22", "23"};
// The buffer's last byte is left unused.
constexpr int kReadLimit = kLogLineSize - 1;
constexpr int kGraphWidth = 400;
constexpr int kGraphMinTop = 1;
const char kKeptStamp[] = "Stamp";

void SetHours(HTimesHit& hours, const long long (&sums)[HTimesHit::kHours]) {
  for (int hour = 0; hour < HTimesHit::kHours; ++hour) {
    char text[kDecimalSize];
    FormatDecimal(text, sums[hour]);
    hours.SetProperty(kHourNames[hour], text);
  }
}

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
    const int hour = facts.Format() == kJsonLayout ? ExtractHour(facts.CutCopy(&path), kJsonLayout)
                                                   : ReadHour(facts.Cut(), facts.Format());
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
  // Complete days only: today's lines are still coming in.
  std::string name;
  std::string stamp;
  // One day reads its own stored hours as cheaply.
  if (log_ != nullptr && !directory_.IsEmpty() && first.Compare(last) < 0 && last.Compare(log_->Today()) < 0) {
    char text[32];
    snprintf(text, sizeof text, "h%08d-%08d", first.Number(), last.Number());
    name = text;
    AppendStampHash(std::string(type_name_) + log_->RangeStamp(first, last), stamp);
    if (ReadKept(name, stamp, sums)) {
      SetHours(hours_, sums);
      hours_.SetPropertyInt("Uncounted", 0);
      return;
    }
  }
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
  SetHours(hours_, sums);
  if (!name.empty() && left.days.empty()) WriteKept(name, stamp, sums);
  left.Settle();
  hours_.SetPropertyInt("Uncounted", static_cast<int>(left.days.size()));
}

bool HTimesContainer::ReadKept(const std::string& name, const std::string& stamp,
                               long long (&sums)[HTimesHit::kHours]) {
  const HKeptSums kept(StoragePath("").CStr());
  HObjectStream in;
  if (!in.Open(kept.Path(name).c_str(), "r") || !in.ReadHeader(true)) return false;
  bool stamped = false;
  int found = 0;
  long long read[HTimesHit::kHours] = {};
  while (in.ReadProperty()) {
    const char* key = in.EntryName();
    if (key == nullptr) return false;
    if (strcmp(key, kKeptStamp) == 0) {
      stamped = stamp == in.EntryValue();
      continue;
    }
    char* end = nullptr;
    const long hour = strtol(key, &end, 10);
    if (*end != 0 || hour < 0 || hour >= HTimesHit::kHours || strcmp(key, kHourNames[hour]) != 0) return false;
    read[hour] = strtoll(in.EntryValue(), &end, 10);
    if (*end != 0) return false;
    ++found;
  }
  if (!stamped || found != HTimesHit::kHours) return false;
  std::copy(read, read + HTimesHit::kHours, sums);
  kept.Touch(name);
  return true;
}

void HTimesContainer::WriteKept(const std::string& name, const std::string& stamp,
                                const long long (&sums)[HTimesHit::kHours]) {
  const HKeptSums kept(StoragePath("").CStr());
  if (!kept.MakeFolder()) return;
  // Through a temporary file and a rename: a failed write keeps nothing.
  HObjectStream out;
  if (!out.Open(kept.Path(name).c_str(), "w")) return;
  out.BeginObject("", "Hours");
  out.WriteProperty(kKeptStamp, stamp.c_str());
  for (int hour = 0; hour < HTimesHit::kHours; ++hour) {
    out.WriteProperty(kHourNames[hour], std::to_string(sums[hour]).c_str());
  }
  out.EndObject();
  if (out.Close()) kept.Prune(name[0], HKeptSums::kMostKept);
}
