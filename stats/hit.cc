#include "stats/hit.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>

#include "core/answers.h"
#include "core/errors.h"
#include "core/file.h"
#include "logread/log_line.h"
#include "logread/page_rule.h"
#include "stats/bar_graph.h"
#include "stats/chart.h"
#include "stats/day_files.h"
#include "stats/stats_settings.h"

namespace {

// A daily window is one month; the cap only guards the stack array.
constexpr int kMaxGraphDays = 100;
constexpr int kGraphWidth = 400;
constexpr int kGraphMinTop = 1;
// The daily counter may fill the whole buffer; the top-page counter leaves
// its last byte unused.
constexpr int kHitReadLimit = kLogLineSize;
constexpr int kRootHitReadLimit = kLogLineSize - 1;

// Room for the decimal text of any int.
constexpr int kNumberSize = kDecimalSize;
// The note that every day is counted as its file stands.
const char kAllDaysName[] = "AllDays";

// Room for the decimal text of any long long.
constexpr int kFigureSize = 24;

void NumberText(char (&text)[kNumberSize], int value) { FormatDecimal(text, value); }
void FigureText(char (&text)[kFigureSize], long long value) { FormatDecimal(text, value); }

// The stamp part of a stored day's value ("count stamp"); empty for a
// value stored without one.
const char* StampOf(const HString& value) {
  const char* blank = strchr(value.CStr(), ' ');
  return blank == nullptr ? "" : blank + 1;
}

}  // namespace

HTotalHit::HTotalHit(HHit* owner) : IContainer("", 0), owner_(owner) {}

const char* HTotalHit::GetProperty(const char* name) {
  RefreshMonths();
  if (name != nullptr) {
    if (IsWord(name, "Uncounted")) return NumberAnswer(static_cast<int>(uncounted_.days.size()));
    if (IsWord(name, "UncountedFrom")) return uncounted_.days.empty() ? nullptr : NumberAnswer(uncounted_.First());
    if (IsWord(name, "UncountedTo")) return uncounted_.days.empty() ? nullptr : NumberAnswer(uncounted_.Last());
    if (IsWord(name, "From")) return from_.IsValid() ? NumberAnswer(from_.Number()) : nullptr;
    if (IsWord(name, "To")) return to_.IsValid() ? NumberAnswer(to_.Number()) : nullptr;
  }
  return IContainer::GetProperty(name);
}

const char* HTotalHit::Call(const char* method, int argc, const char* const* argv) {
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

void HTotalHit::Chart(const char* color, const std::string& unit) {
  RefreshMonths();
  std::vector<HChartBar> bars;
  for (const HListNode* node = properties_.Tail(); node != nullptr; node = node->prev) {
    const HParamEntry* entry = HParams::EntryOf(node);
    const int month = ToInt(entry->name.CStr()) / 100;  // yyyymm
    HChartBar bar;
    bar.value = HHit::StoredFigure(entry->value.CStr());
    const char* name = month % 100 >= 1 && month % 100 <= 12 ? kMonthAbbreviations[month % 100 - 1] : "?";
    bar.label = bars.empty() || month % 100 == 1 ? std::string(name) + " " + std::to_string(month / 100) : name;
    bar.title = std::string(name) + " " + std::to_string(month / 100) + ": " + owner_->ChartText(bar.value) + " " + unit;
    bars.push_back(bar);
  }
  WriteBarChart(bars, color, (unit.empty() ? std::string("By month") : unit + " by month").c_str());
}

bool HTotalHit::First() {
  RefreshMonths();
  walk_ = properties_.Tail();
  return walk_ != nullptr;
}

const char* HTotalHit::NextName() {
  if (walk_ == nullptr) return nullptr;
  const char* name = KeepAnswer(HParams::EntryOf(walk_)->name);
  walk_ = walk_->prev;
  return name;
}

void HTotalHit::RefreshMonths() {
  if (built_ || owner_ == nullptr) return;
  HUncounted uncounted;
  from_ = HDate();
  to_ = HDate();
  if (owner_->Settings() != nullptr) {
    const std::vector<HDate>& days = owner_->Settings()->DaysWithFiles();
    if (!days.empty()) {
      from_ = days.front();
      to_ = days.back();
    }
    owner_->CountAllDue(days, &uncounted);  // each day counted forgets the months
    uncounted.Settle();
  }
  uncounted_ = uncounted;
  built_ = true;
  walk_ = nullptr;
  properties_.Clear();
  int month = 0;  // yyyymm01 of the group being summed, 0 before the first
  long long sum = 0;
  const long long largest = owner_->LargestSum();
  const auto finish = [&] {
    if (month == 0) return;
    char name[kNumberSize];
    char total[kFigureSize];
    NumberText(name, month);
    if (!owner_->SumsDays()) {
      // Not a sum: the owner counts the month's days as one.
      HDate first;
      first.SetNumber(month);
      HDate last = first;
      last.day = last.DaysInMonth();
      sum = owner_->OverDays(first, last, uncounted_);
    }
    FigureText(total, sum);
    properties_.AddEntry(name, total);
  };
  for (const HParamEntry* entry : owner_->Properties()) {
    HDate day;
    if (!HDate::Parse(entry->name.CStr(), &day) || uncounted_.Holds(day.Number())) continue;
    const int first = day.year * 10000 + day.month * 100 + 1;
    if (first != month) {
      finish();
      month = first;
      sum = 0;
    }
    const long long figure = HHit::StoredFigure(entry->value.CStr());
    sum = figure > largest - sum ? largest : sum + figure;
  }
  finish();
}

void HTotalHit::Graph(const char* color) {
  RefreshMonths();
  const int count = properties_.Count();
  std::unique_ptr<int[]> values(new (std::nothrow) int[count]);
  if (!values) throw ErrorMemory;
  int i = 0;
  for (const HListNode* node = properties_.Tail(); node != nullptr; node = node->prev) {
    values[i++] = owner_->GraphValue(HHit::StoredFigure(HParams::EntryOf(node)->value.CStr()));
  }
  WriteBarGraph(values.get(), count, color, kGraphMinTop, kGraphWidth);
  bool first = true;
  for (const HListNode* node = properties_.Tail(); node != nullptr; node = node->prev) {
    const int month = ToInt(HParams::EntryOf(node)->name.CStr()) / 100;  // yyyymm
    if (first || month % 100 == 1) {
      printf("  <td><font size=-1>%d/%d</font></td>\n", month / 100, month % 100);
    } else {
      printf("  <td><font size=-1>%d</font></td>\n", month % 100);
    }
    first = false;
  }
  EndBarGraph();
}

HHit::HHit(const char* name, IStatsSettings* log) : IContainer(name, 0), log_(log), total_(this) { type_name_ = "Hit"; }

const char* HHit::GetProperty(const char* name) {
  if (name == nullptr) return nullptr;
  if (window_start_.IsValid() && IsWord(name, "SetDate")) return NumberAnswer(window_start_.Number());
  if (IsWord(name, "Sum")) {
    if (!window_start_.IsValid()) return nullptr;
    const long long sum = WindowFigure();
    return FigureAnswer(sum);
  }
  if (IsWord(name, "Uncounted")) {
    window_uncounted_.Settle();
    return NumberAnswer(static_cast<int>(window_uncounted_.days.size()));
  }
  HDate date;
  if (!date.SetNumber(ToInt(name))) return nullptr;
  const HParamEntry* entry = WindowDayEntry(date);
  return entry == nullptr ? nullptr : FigureAnswer(StoredFigure(entry->value.CStr()));
}

const char* HHit::FigureAnswer(long long figure) const {
  return NumberAnswer(figure > INT_MAX ? INT_MAX : static_cast<int>(figure));
}

long long HHit::LargestSum() const { return INT_MAX; }

int HHit::GraphValue(long long figure) const {
  return figure > INT_MAX ? INT_MAX : figure < 0 ? 0 : static_cast<int>(figure);
}

long long HHit::StoredFigure(const char* value) { return value == nullptr ? 0 : strtoll(value, nullptr, 10); }

const HParamEntry* HHit::WindowDayEntry(const HDate& date) {
  // A day of the window, not the one a page names by itself, waits for a
  // later request once the count budget is spent.
  const bool in_window = window_start_.IsValid() && window_end_.IsValid() && date.Compare(window_start_) >= 0 &&
                         date.Compare(window_end_) < 0;
  if (!in_window) return DayEntry(date);
  if (IsCurrent(date)) {
    // Nothing to count: no second look at the day's stamp.
    return StoredDayEntry(date);
  }
  if (!MayCountAnotherDay()) {
    window_uncounted_.Add(date);
    return nullptr;
  }
  return DayEntry(date);
}

bool HHit::AddDueDay(const HDate& date, HDayPass& pass) {
  if (log_ == nullptr || !log_->MayCount(date)) return false;
  char name[kNumberSize];
  NumberText(name, date.Number());
  const HParamEntry* stored = properties_.FindEntry(name);
  const std::string stamp = log_->DayStamp(date);
  // A day without its file keeps what was counted of it.
  if (stamp.empty() || (stored != nullptr && stamp == StampOf(stored->value))) return false;
  HString file;
  if (!log_->FindDayFile(file, date)) return false;
  log_->MoveFirstDayBack(date);
  pass.SetFile(file.CStr());
  // The stamp is taken before the read: a line added meanwhile makes the
  // day due again.
  std::unique_ptr<IDayCounter> counter = DayCounter();
  counter->SetStamp(stamp);
  pass.Add(std::move(counter), [this, date](IDayCounter& counted) {
    const long long count = FinishDay(date, counted, counted.Stamp());
    if (count >= 0) StoreDay(date, count, counted.Stamp());
  });
  return true;
}

void HHit::StoreDay(const HDate& date, long long count, const std::string& stamp) {
  const int number = date.Number();
  char name[kNumberSize];
  NumberText(name, number);
  HParamEntry* stored = properties_.FindEntry(name);
  char counted[kFigureSize];
  FigureText(counted, count);
  HString value(counted);
  value.Append(" ");
  value.Append(stamp.c_str());
  if (stored != nullptr) {
    stored->value = value;
  } else {
    // Newest first: before the first older day, else at the end.
    HParamEntry* older = nullptr;
    for (HParamEntry* entry : properties_) {
      if (ToInt(entry->name.CStr()) < number) {
        older = entry;
        break;
      }
    }
    properties_.InsertEntry(older, name, value.CStr());
  }
  SetModified(true);
  total_.ForgetMonths();  // a month total read earlier lacks this day
}

const HParamEntry* HHit::DayEntry(const HDate& date) {
  if (log_ == nullptr || !log_->MayCount(date)) return nullptr;
  HDayPass pass;
  if (AddDueDay(date, pass)) pass.Run();
  return StoredDayEntry(date);
}

const HParamEntry* HHit::StoredDayEntry(const HDate& date) {
  if (log_ == nullptr || !log_->MayCount(date)) return nullptr;
  char name[kNumberSize];
  NumberText(name, date.Number());
  return properties_.FindEntry(name);
}

bool HHit::IsCurrent(const HDate& date) {
  char name[kNumberSize];
  NumberText(name, date.Number());
  const HParamEntry* stored = properties_.FindEntry(name);
  const std::string stamp = log_ == nullptr ? std::string() : log_->DayStamp(date);
  return stamp.empty() || (stored != nullptr && stamp == StampOf(stored->value));
}

int HHit::CountDue(const std::vector<HDate>& days, HUncounted* left) {
  int counted = 0;
  if (log_ == nullptr) return 0;
  // The stored stamps by day, read once: years of days would otherwise
  // cost a search of the entries each.
  std::unordered_map<int, std::string> stored;
  stored.reserve(static_cast<size_t>(properties_.Count()));
  for (const HParamEntry* entry : properties_) stored[ToInt(entry->name.CStr())] = StampOf(entry->value);
  for (auto day = days.rbegin(); day != days.rend(); ++day) {
    if (day->Compare(log_->Today()) >= 0) continue;
    const auto known = stored.find(day->Number());
    const std::string stamp = log_->DayStamp(*day);
    if (stamp.empty() || (known != stored.end() && known->second == stamp)) continue;
    if (!MayCountAnotherDay()) {
      if (left != nullptr) left->Add(*day);
      continue;
    }
    if (DayEntry(*day) != nullptr) ++counted;
  }
  return counted;
}

int HHit::CountAllDue(const std::vector<HDate>& days, HUncounted* left) {
  if (log_ == nullptr || days.empty()) return CountDue(days, left);
  const std::string files = log_->RangeStamp(days.front(), days.back());
  // Every entry of a day, its count and its stamp, after the files.
  const auto note = [this, &files] {
    HStampHash hash;
    hash.Add(files);
    for (const HParamEntry* entry : properties_) {
      HDate day;
      if (!HDate::Parse(entry->name.CStr(), &day)) continue;
      hash.Add(entry->name.CStr(), static_cast<size_t>(entry->name.Length()));
      hash.Add("=", 1);
      hash.Add(entry->value.CStr(), static_cast<size_t>(entry->value.Length()));
      hash.Add("\n", 1);
    }
    std::string text;
    hash.AppendTo(text);
    return text;
  };
  const char* kept = properties_.GetValue(kAllDaysName);
  if (kept != nullptr && note() == kept) return 0;
  const size_t before = left == nullptr ? 0 : left->days.size();
  const int counted = CountDue(days, left);
  if (left == nullptr || left->days.size() != before) return counted;
  const std::string now = note();
  if (kept == nullptr || now != kept) {
    properties_.SetValue(kAllDaysName, now.c_str());
    SetModified(true);
  }
  return counted;
}

const char* HHit::Call(const char* method, int argc, const char* const* argv) {
  if (method != nullptr && IsWord(method, "Accumulate")) {
    if (argc >= 1) {
      // A bad date leaves no window at all, so "SetDate" cannot answer
      // the start of an earlier one.
      window_start_ = HDate();
      window_uncounted_ = HUncounted();
      window_sum_ = -1;
      if (window_end_.SetNumber(ToInt(argv[0]))) window_start_ = MonthWindowStart(window_end_);
    }
    return nullptr;
  }
  if (method != nullptr && IsWord(method, "Range")) {
    window_start_ = HDate();
    window_end_ = HDate();
    window_uncounted_ = HUncounted();
    window_sum_ = -1;
    HDate first;
    HDate last;
    if (argc >= 2 && first.SetNumber(ToInt(argv[0])) && last.SetNumber(ToInt(argv[1])) && first.Compare(last) <= 0) {
      window_start_ = first;
      window_end_ = last;
    }
    return nullptr;
  }
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

void HHit::Chart(const char* color, const std::string& unit) {
  if (!window_start_.IsValid() || !window_end_.IsValid()) return;
  std::vector<HChartBar> bars;
  for (HDate day = window_start_;;) {
    const HParamEntry* entry = WindowDayEntry(day);
    HChartBar bar;
    bar.value = entry == nullptr ? 0 : StoredFigure(entry->value.CStr());
    const char* month = kMonthAbbreviations[day.month - 1];
    bar.label = bars.empty() || day.day == 1 ? std::to_string(day.day) + " " + month : std::to_string(day.day);
    bar.title = std::string(kWeekdayAbbreviations[day.DayOfWeek()]) + " " + std::to_string(day.day) + " " + month + " " +
                std::to_string(day.year) + ": " + (entry == nullptr ? "no data" : ChartText(bar.value) + " " + unit);
    bars.push_back(bar);
    if (day.Compare(window_end_) >= 0 || !day.NextDay()) break;
  }
  WriteBarChart(bars, color, (unit.empty() ? std::string("By day") : unit + " by day").c_str());
}

long long HHit::WindowFigure() {
  if (window_sum_ >= 0) return window_sum_;
  if (log_ == nullptr || !window_start_.IsValid() || !window_end_.IsValid()) return 0;
  // The days with a file first, counted when due and the budget allows;
  // then one pass over the stored days, which holds those whose files are
  // gone too.
  for (const HDate& day : log_->DaysWithFilesIn(window_start_, window_end_)) WindowDayEntry(day);
  const HDate& today = log_->Today();
  if (log_->MayCount(today) && today.Compare(window_start_) >= 0 && today.Compare(window_end_) <= 0) DayEntry(today);
  window_uncounted_.Settle();
  long long sum = 0;
  if (!SumsDays()) {
    sum = OverDays(window_start_, window_end_, window_uncounted_);
  } else {
    const long long largest = LargestSum();
    const int first = window_start_.Number();
    const int last = window_end_.Number();
    for (const HParamEntry* entry : properties_) {
      const int day = ToInt(entry->name.CStr());
      if (day < first || day > last || window_uncounted_.Holds(day) || !HDate().SetNumber(day)) continue;
      const long long figure = StoredFigure(entry->value.CStr());
      sum = figure > largest - sum ? largest : sum + figure;
    }
  }
  window_sum_ = sum;
  return sum;
}

IObject* HHit::FindChild(const char* name) {
  if (name != nullptr && IsWord(name, "Total")) return &total_;
  return IContainer::FindChild(name);
}

void HHit::Graph(const char* color) {
  if (!window_start_.IsValid() || !window_end_.IsValid()) return;
  int values[kMaxGraphDays];
  int count = 0;
  HDate day = window_start_;
  while (count < kMaxGraphDays) {
    const HParamEntry* entry = WindowDayEntry(day);
    values[count++] = entry == nullptr ? 0 : GraphValue(StoredFigure(entry->value.CStr()));
    if (day.Compare(window_end_) >= 0 || !day.NextDay()) break;
  }
  WriteBarGraph(values, count, color, kGraphMinTop, kGraphWidth);

  // A month's 1st labels its own column and the 2nd's, which then gets no
  // cell of its own; in the last column there is no 2nd to cover.
  day = window_start_;
  const int last = count - 1;
  for (int column = 0; column < count; ++column, day.NextDay()) {
    if (day.day == 1) {
      printf(column == last ? "  <td><font size=-1>%d/%d</font></td>\n"
                            : "  <td colspan=2><font size=-1>%d/%d</font></td>\n",
             day.month, 1);
    } else if (column == 0 || day.day % 10 == 0 || (column == last && day.day != 2)) {
      printf("  <td><font size=-1>%d</font></td>\n", day.day);
    } else if (day.day != 2) {
      WriteText("  <td></td>\n");
    }
  }
  EndBarGraph();
}

bool HHit::First() {
  walk_ = window_start_;
  return window_start_.IsValid() && window_end_.IsValid();
}

const char* HHit::NextName() {
  if (!walk_.IsValid() || !window_end_.IsValid() || walk_.Compare(window_end_) > 0) return nullptr;
  const char* day = NumberAnswer(walk_.Number());
  walk_.NextDay();
  return day;
}

IObject* HHit::NextObject() { return nullptr; }

std::unique_ptr<IDayCounter> HHit::DayCounter() {
  const HPageRule& rule = Rule();
  return MakeLineCounter(
      kHitReadLimit,
      [&rule](char* line) {
        const auto any = [](char*, int, const char*, int) { return true; };
        return OfferPageRequest(line, rule, any);
      },
      [&rule](HLineFacts& facts) {
        return facts.LineCounts(rule) && facts.Path() != nullptr && facts.PathCounts(rule);
      });
}

int HHit::CountHits(const char* file) { return CountDayFileLines(file, DayCounter()); }

long long HHit::CountDay(const char* file) {
  std::unique_ptr<IDayCounter> counter = DayCounter();
  IDayCounter* counting = counter.get();
  HDayPass pass;
  pass.Add(std::move(counter), nullptr);
  return pass.Run(file) ? DayFigure(*counting) : -1;
}

const HPageRule& HHit::Rule() { return log_ == nullptr ? DefaultPageRule() : log_->PageRule(); }

HDate HHit::MonthWindowStart(const HDate& end) {
  HDate previous = end;
  previous.PreviousMonth();  // its last day; day 0 when before 1970
  HDate start = end;
  if (end.day != end.DaysInMonth() && end.day < previous.day) {
    start = previous;
    start.day = end.day + 1;
  } else {
    start.day = 1;
  }
  return start;
}

HRootHit::HRootHit(const char* name, IStatsSettings* log) : HHit(name, log) { type_name_ = "RootHit"; }

std::unique_ptr<IDayCounter> HRootHit::DayCounter() {
  const char* root = log_ == nullptr ? "/" : log_->RootPath();
  // The statuses and the excluded clients, not the assets: the top page is
  // one path, chosen by the site.
  const HPageRule& rule = Rule();
  return MakeLineCounter(
      kRootHitReadLimit,
      [root, &rule](char* line) {
        const auto check = [&rule](const char* text, int format) { return rule.LineCounts(text, format); };
        const auto is_root = [root](char*, int, const char* path, int) { return CompareNoCase(path, root) == 0; };
        return OfferCheckedPath(line, check, is_root);
      },
      [root, &rule](HLineFacts& facts) {
        if (!facts.LineCounts(rule)) return false;
        const char* path = facts.Path();
        return path != nullptr && CompareNoCase(path, root) == 0;
      });
}

HAllHit::HAllHit(const char* name, IStatsSettings* log) : HHit(name, log) { type_name_ = "AllHit"; }

std::unique_ptr<IDayCounter> HAllHit::DayCounter() {
  const HPageRule& rule = Rule();
  return MakeLineCounter(
      kHitReadLimit,
      [&rule](char* line) {
        const int format = DetectLogFormat(line);
        return format >= 0 && rule.InAudience(line, format);
      },
      [&rule](HLineFacts& facts) { return facts.Format() >= 0 && facts.InAudience(rule); });
}
