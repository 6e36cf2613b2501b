#include "stats/item_container.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "core/answers.h"
#include "core/file.h"
#include "core/write_guard.h"
#include "objects/object_stream.h"
#include "stats/day_files.h"
#include "stats/hit.h"
#include "stats/kept_sums.h"
#include "stats/stats_settings.h"
#include "stats/stored_counts.h"

namespace {

// A month window never spans more days.
constexpr int kMonthDays = 31;
const char kTotalFile[] = "total";

HItemsHit* MakeDomains(const char* name, HItemsContainer* container) { return new HDomainsHit(name, container); }
HItemsHit* MakePages(const char* name, HItemsContainer* container) { return new HPagesHit(name, container); }

}  // namespace

HItemsContainer::HItemsContainer(const char* name, IStatsSettings* log, const char* type_name, const char* child_type,
                                 Maker make)
    : HDayContainer(name, type_name, child_type), log_(log), make_(make), result_(make("", this)) {}

HItemsContainer::~HItemsContainer() = default;

const char* HItemsContainer::GetProperty(const char* name) {
  if (name != nullptr) {
    if (IsWord(name, "Count")) return result_->GetProperty(name);
    if (IsWord(name, "SetDate") && range_start_.IsValid()) return NumberAnswer(range_start_.Number());
    if (IsWord(name, "Uncounted")) return NumberAnswer(static_cast<int>(uncounted_.days.size()));
    if (IsWord(name, "UncountedFrom")) return uncounted_.days.empty() ? nullptr : NumberAnswer(uncounted_.First());
    if (IsWord(name, "UncountedTo")) return uncounted_.days.empty() ? nullptr : NumberAnswer(uncounted_.Last());
  }
  return INContainer::GetProperty(name);
}

void HItemsContainer::SetProperty(const char* name, const char* value) {
  if (name != nullptr && (IsWord(name, "Text") || IsWord(name, "Rows"))) {
    result_->SetProperty(name, value);
    return;
  }
  INContainer::SetProperty(name, value);
}

const char* HItemsContainer::Call(const char* method, int argc, const char* const* argv) {
  if (method != nullptr && IsWord(method, "Accumulate")) {
    if (argc >= 1) {
      AccumulateMonth(argv[0]);
    } else {
      AccumulateAll();
    }
    return nullptr;
  }
  if (method != nullptr && IsWord(method, "Range")) {
    if (argc >= 2 && CoversEverything(argv[0], argv[1])) {
      // Everything since the first day: the kept sum serves.
      AccumulateAll();
      return nullptr;
    }
    if (argc >= 2 && RangeOfOneDay(argv[0], argv[1])) return nullptr;
    result_->Empty();
    uncounted_ = HUncounted();
    range_start_ = HDate();
    if (argc >= 2 && KeptRange(argv[0], argv[1], *result_)) {
      range_start_.SetNumber(ToInt(argv[0]));
      range_end_.SetNumber(ToInt(argv[1]));
    }
    uncounted_.Settle();
    return nullptr;
  }
  if (method != nullptr && IsWord(method, "Previous")) {
    result_->SetPrevious(static_cast<const HItemTable*>(nullptr));
    previous_.reset();
    previous_day_.reset();
    if (argc >= 2 && PreviousOfOneDay(argv[0], argv[1])) return nullptr;
    if (argc >= 2) {
      // A kept sum whose index is kept too is looked up without reading it.
      std::string name;
      std::string stamp;
      const HKeptSums kept(StoragePath("").CStr());
      const bool keep = KeptName(argv[0], argv[1], &name, &stamp) > 0;
      std::unique_ptr<HStoredCounts> counts(new HStoredCounts);
      if (keep && HItemsHit::StoredStamp(kept.Path(name).c_str()) == stamp &&
          counts->OpenIndex(kept.Path(name), kept.Path(kIndexKind + name))) {
        kept.Touch(name);
        previous_day_ = std::move(counts);
        result_->SetPrevious(previous_day_.get());
        uncounted_.Settle();
        return nullptr;
      }
      // Its days left uncounted are noted with the period's.
      std::unique_ptr<HItemsHit> sum(make_("", this));
      if (KeptRange(argv[0], argv[1], *sum)) {
        // A kept sum read back is looked up where it lies, as a stored day
        // is, instead of being made into a table of thousands of rows.
        if (sum->HoldsUnreadStoredRows() && counts->Index(sum->StoredText(), sum->StoredPlace(), sum->RejoinsNames())) {
          if (keep) KeepIndex(*counts, kept.Path(name), kIndexKind + name);
          previous_day_ = std::move(counts);
          result_->SetPrevious(previous_day_.get());
          uncounted_.Settle();
          return nullptr;
        }
        previous_ = std::move(sum);
      }
      uncounted_.Settle();
    }
    result_->SetPrevious(previous_ ? &previous_->Table() : nullptr);
    return nullptr;
  }
  if (method != nullptr && IsWord(method, "Squeeze")) {
    if (argc >= 3) {
      SqueezeRange(argv[0], argv[1], argv[2]);
    } else if (argc >= 2) {
      Squeeze(argv[0], argv[1]);
    }
    return nullptr;
  }
  return INContainer::Call(method, argc, argv);
}

bool HItemsContainer::First() { return result_->First(); }

const char* HItemsContainer::NextName() { return result_->NextName(); }

IObject* HItemsContainer::NextObject() { return result_->NextObject(); }

IObject* HItemsContainer::FindChild(const char* name) {
  if (name == nullptr) return nullptr;
  if (IsWord(name, "Current")) return &result_->Current();
  return HDayContainer::FindChild(name);
}

IObject* HItemsContainer::MakeDay(const char* name) { return make_(name, this); }

void HItemsContainer::DeleteTotal() {
  if (directory_.IsEmpty()) return;
  const HString path = StoragePath(kTotalFile);
  struct stat info;
  if (lstat(path.CStr(), &info) != 0) return;
  WillWrite();
  unlink(path.CStr());
}

HItemsHit* HItemsContainer::ExistingDay(const char* name) {
  return dynamic_cast<HItemsHit*>(INContainer::FindChild(name));
}

HItemsHit* HItemsContainer::DueDay(const HDate& day, bool* was_loaded) {
  char name[kDayNameSize];
  DayName(name, day);
  *was_loaded = FindChildNode(name) != nullptr;
  HItemsHit* items = ExistingDay(name);
  if (items == nullptr && log_ != nullptr && !log_->DayStamp(day).empty()) {
    items = dynamic_cast<HItemsHit*>(CreateChild(name, child_type_));
  }
  if (items == nullptr || items->IsCurrentDay()) return items;
  if (MayCountAnotherDay()) {
    items->ComputeDay(true);
    return items;
  }
  uncounted_.Add(day);
  return nullptr;
}

void HItemsContainer::AddDay(const HDate& day, HItemsHit* items, bool was_loaded, HItemTable& sum) {
  if (items == nullptr) return;
  if (was_loaded || items->IsModified()) {
    items->AddTo(sum);
    return;
  }
  // Read only for this sum: its stored items go straight into the sum, and
  // the day never holds a table of its own.
  items->DrainInto(sum);
  Forget(day, items, was_loaded);
}

void HItemsContainer::Forget(const HDate& day, HItemsHit* items, bool was_loaded) {
  // Years of days would otherwise all stay in memory; one read only for a
  // sum is read again if anything asks for it later.
  if (items == nullptr || was_loaded || items->IsModified()) return;
  char name[kDayNameSize];
  DayName(name, day);
  children_.Remove(FindChildNode(name));
}

int HItemsContainer::CountDue(const std::vector<HDate>& days, HUncounted* left) {
  uncounted_ = HUncounted();
  int counted = 0;
  for (auto day = days.rbegin(); day != days.rend(); ++day) {
    if (log_ == nullptr || day->Compare(log_->Today()) >= 0) continue;
    char name[kDayNameSize];
    DayName(name, *day);
    // A stored day of the same stamp need not be read at all.
    if (FindChildNode(name) == nullptr && HasStoredFile(name) &&
        HItemsHit::StoredStamp(StoragePath(name).CStr()) == result_->StampFor(log_->DayStamp(*day))) {
      continue;
    }
    bool was_loaded = false;
    HItemsHit* items = DueDay(*day, &was_loaded);
    if (items != nullptr && items->IsModified()) ++counted;
    Forget(*day, items, was_loaded);
  }
  if (left != nullptr) left->days.insert(left->days.end(), uncounted_.days.begin(), uncounted_.days.end());
  return counted;
}

bool HItemsContainer::AddDueDay(const HDate& day, HDayPass& pass) {
  if (log_ == nullptr || day.Compare(log_->Today()) >= 0) return false;
  char name[kDayNameSize];
  DayName(name, day);
  const bool was_loaded = FindChildNode(name) != nullptr;
  // A stored day of the same stamp need not be read at all.
  if (!was_loaded && HasStoredFile(name) &&
      HItemsHit::StoredStamp(StoragePath(name).CStr()) == result_->StampFor(log_->DayStamp(day))) {
    return false;
  }
  HItemsHit* items = ExistingDay(name);
  if (items == nullptr && !log_->DayStamp(day).empty()) items = dynamic_cast<HItemsHit*>(CreateChild(name, child_type_));
  if (items != nullptr && !items->IsCurrentDay() && items->AddDueDay(pass, true)) return true;
  Forget(day, items, was_loaded);
  return false;
}

void HItemsContainer::AccumulateMonth(const char* end) {
  if (!range_end_.SetNumber(ToInt(end))) return;
  const HDate start = HHit::MonthWindowStart(range_end_);
  if (!start.IsValid()) return;
  range_start_ = start;
  result_->Empty();
  uncounted_ = HUncounted();
  HDate day = range_end_;
  for (int n = 0; n < kMonthDays && day.Compare(range_start_) >= 0; ++n) {
    bool was_loaded = false;
    HItemsHit* items = DueDay(day, &was_loaded);
    AddDay(day, items, was_loaded, result_->Table());
    if (!day.PreviousDay()) break;
  }
  uncounted_.Settle();
  result_->SortItems();
}

std::string HItemsContainer::RangeStamp(const HDate& start, const HDate& end) {
  const std::string text = std::string(type_name_) + " " + result_->KindStamp() + log_->RangeStamp(start, end);
  std::string stamp;
  AppendStampHash(text, stamp);
  return stamp;
}

void HItemsContainer::AccumulateAll() {
  if (log_ == nullptr) return;
  HDate end = log_->Today();
  HDate start = log_->FirstDay();
  const std::vector<HDate>& days = log_->DaysWithFiles();
  if (!days.empty() && (!start.IsValid() || days.front().Compare(start) < 0)) start = days.front();
  if (!end.PreviousDay() || !start.IsValid() || end.Compare(start) < 0) return;
  range_end_ = end;
  range_start_ = start;
  uncounted_ = HUncounted();
  // The sum is kept in "total" with the stamps of the days it holds: a day
  // counted since, or whose file changed, makes it out of date.
  const std::string stamp = RangeStamp(start, end);
  const HString total = StoragePath(kTotalFile);
  if (!directory_.IsEmpty()) {
    HObjectStream cached;
    if (cached.Open(total.CStr(), "r") && cached.ReadHeader(true)) {
      // Emptied first: a sum made earlier in this request must not mix in.
      result_->Empty();
      result_->Load(cached);
      if (result_->Stamp() == stamp) {
        HDate::Parse(properties_.GetValue("SetDate"), &range_start_);
        return;
      }
    }
  }

  result_->Empty();
  HDate earliest = end;
  // The days that have data, not every day of the calendar since the
  // first: one line of 1970 must not make a walk of twenty thousand days.
  const std::vector<HDate> with_data = DaysWithData(days, start, end);
  for (auto day = with_data.rbegin(); day != with_data.rend(); ++day) {
    bool was_loaded = false;
    HItemsHit* items = DueDay(*day, &was_loaded);
    if (items != nullptr) earliest = *day;
    AddDay(*day, items, was_loaded, result_->Table());
  }
  uncounted_.Settle();
  result_->SortItems();
  range_start_ = earliest;
  SetPropertyInt("SetDate", earliest.Number());
  if (!uncounted_.days.empty() || directory_.IsEmpty()) return;  // only a whole sum is kept
  result_->SetStamp(stamp);
  const HString base = StoragePath("");
  const HString folder(base.CStr(), base.Length() - 1);
  if (IsDirectory(folder.CStr()) || MakeDirectory(folder.CStr())) {
    // Through a temporary file and a rename: a failed write keeps no
    // partial sum.
    HObjectStream out;
    if (out.Open(total.CStr(), "w")) {
      result_->Save(out);
      out.Close();
    }
  }
}

bool HItemsContainer::CoversEverything(const char* first, const char* last) {
  HDate start;
  HDate end;
  if (log_ == nullptr || !start.SetNumber(ToInt(first)) || !end.SetNumber(ToInt(last))) return false;
  HDate yesterday = log_->Today();
  yesterday.PreviousDay();
  if (end.Compare(yesterday) != 0) return false;
  // The earliest day is the first day or a day file before it; a period
  // that starts after the first day needs no listing of the day files.
  HDate earliest = log_->FirstDay();
  if (earliest.IsValid() && start.Compare(earliest) > 0) return false;
  const std::vector<HDate>& days = log_->DaysWithFiles();
  if (!days.empty() && (!earliest.IsValid() || days.front().Compare(earliest) < 0)) earliest = days.front();
  return earliest.IsValid() && start.Compare(earliest) <= 0 && end.Compare(yesterday) == 0;
}

bool HItemsContainer::SumRange(const char* first, const char* last, HItemTable& sum) {
  HDate start;
  HDate end;
  if (log_ == nullptr || !start.SetNumber(ToInt(first)) || !end.SetNumber(ToInt(last)) || start.Compare(end) > 0) {
    return false;
  }
  // No day from today on is complete; today so far counts once asked for.
  HDate last_day = log_->Today();
  if (!log_->MayCount(last_day)) last_day.PreviousDay();
  if (end.Compare(last_day) > 0) end = last_day;
  std::vector<HDate> days = DaysWithData(*log_, start, end);
  // Today so far, unless its ranking is stored already.
  if (log_->MayCount(end) && end.Compare(log_->Today()) == 0 && (days.empty() || days.back().Compare(end) != 0)) {
    days.push_back(end);
  }
  for (auto day = days.rbegin(); day != days.rend(); ++day) {
    bool was_loaded = false;
    AddDay(*day, DueDay(*day, &was_loaded), was_loaded, sum);
  }
  return true;
}

void HItemsContainer::KeepMonth(const HDate& day) {
  HDate first = day;
  first.day = 1;
  HDate last = day;
  last.day = last.DaysInMonth();
  if (!first.IsValid() || !last.IsValid()) return;
  char from[kDayNameSize];
  char to[kDayNameSize];
  DayName(from, first);
  DayName(to, last);
  std::unique_ptr<HItemsHit> sum(make_("", this));
  KeptRange(from, to, *sum, false);
}

int HItemsContainer::KeptName(const char* first, const char* last, std::string* name, std::string* stamp) {
  HDate start;
  HDate end;
  if (log_ == nullptr || !start.SetNumber(ToInt(first)) || !end.SetNumber(ToInt(last)) || start.Compare(end) > 0) {
    return -1;
  }
  // Kept only without today, whose lines are still coming in: the name
  // holds the last complete day it sums.
  HDate yesterday = log_->Today();
  yesterday.PreviousDay();
  HDate last_day = log_->Today();
  if (!log_->MayCount(last_day)) last_day = yesterday;
  if (end.Compare(last_day) > 0) end = last_day;
  if (directory_.IsEmpty() || end.Compare(yesterday) > 0 || start.Compare(end) > 0) return 0;
  char text[48];
  snprintf(text, sizeof text, "r%08d-%08d", start.Number(), end.Number());
  *name = text;
  *stamp = RangeStamp(start, end);
  return 1;
}

bool HItemsContainer::KeptRange(const char* first, const char* last, HItemsHit& sum, bool load) {
  std::string name;
  std::string stamp;
  const int keep = KeptName(first, last, &name, &stamp);
  if (keep < 0) return false;
  if (keep > 0) {
    // The stamp at the end of the file tells a sum out of date without
    // reading its rows.
    const std::string kept = HItemsHit::StoredStamp(HKeptSums(StoragePath("").CStr()).Path(name).c_str());
    if (!load && kept == stamp) return true;
    if ((kept.empty() || kept == stamp) && ReadKept(name, stamp, sum)) return true;
  }
  sum.Empty();
  const size_t left = uncounted_.days.size();
  SumRange(first, last, sum.Table());
  sum.SortItems();
  // Only a sum that leaves no day out is kept.
  if (keep && uncounted_.days.size() == left) WriteKept(name, stamp, sum);
  return true;
}

bool HItemsContainer::ReadKept(const std::string& name, const std::string& stamp, HItemsHit& sum) {
  const HKeptSums kept(StoragePath("").CStr());
  HObjectStream in;
  if (!in.Open(kept.Path(name).c_str(), "r") || !in.ReadHeader(true)) return false;
  sum.Empty();
  sum.Load(in);
  if (sum.Stamp() != stamp) {
    sum.Empty();
    return false;
  }
  kept.Touch(name);
  return true;
}

void HItemsContainer::WriteKept(const std::string& name, const std::string& stamp, HItemsHit& sum) {
  const HKeptSums kept(StoragePath("").CStr());
  if (!kept.MakeFolder()) return;
  sum.SetStamp(stamp);
  // Through a temporary file and a rename: a failed write keeps nothing.
  HObjectStream out;
  if (!out.Open(kept.Path(name).c_str(), "w")) return;
  sum.Save(out);
  if (out.Close()) kept.Prune(name[0], name[0] == 'd' ? HKeptSums::kMostDays : HKeptSums::kMostKept);
}

void HItemsContainer::KeepIndex(const HStoredCounts& counts, const std::string& path, const std::string& name) {
  const HKeptSums kept(StoragePath("").CStr());
  if (kept.MakeFolder() && counts.SaveIndex(path, kept.Path(name))) kept.Prune(name[0], HKeptSums::kMostDays);
}

std::string HItemsContainer::SqueezeName(const HDate& start, const HDate& end, const char* filter) {
  std::string name;
  char days[32];
  snprintf(days, sizeof days, "x%08d-%08d-", start.Number(), end.Number());
  name = days;
  AppendStampHash(filter, name);
  return name;
}

void HItemsContainer::SqueezeRange(const char* first, const char* last, const char* filter) {
  result_->Empty();
  uncounted_ = HUncounted();
  HDate start;
  HDate end;
  if (log_ == nullptr || !start.SetNumber(ToInt(first)) || !end.SetNumber(ToInt(last)) || start.Compare(end) > 0) {
    return;
  }
  range_start_ = start;
  range_end_ = end;
  // Kept by days, text and the stamps of the days, unless today's lines
  // are in it.
  const bool keep = !directory_.IsEmpty() && !(log_->MayCount(log_->Today()) && end.Compare(log_->Today()) >= 0);
  const std::string name = keep ? SqueezeName(start, end, filter) : std::string();
  std::string stamp;
  if (keep) {
    AppendStampHash(RangeStamp(start, end) + " " + filter, stamp);
    if (ReadKept(name, stamp, *result_)) return;
  }
  // Each day's lines of the text, added into one table: the days' own
  // counts keep no cross-tabulation.
  std::unique_ptr<HItemsHit> day_result(make_("", this));
  std::vector<HDate> days = log_->DaysWithFilesIn(start, end);
  if (log_->MayCount(log_->Today())) days.push_back(log_->Today());
  for (const HDate& day : days) {
    if (day.Compare(start) < 0 || day.Compare(end) > 0 || !log_->MayCount(day)) continue;
    HString file;
    if (!log_->FindDayFile(file, day)) continue;
    // Days whose cross-tabs are kept cost no count: a month's cross-tab
    // made over several views is then kept whole.
    if (SqueezeDay(day, file, filter, true, *day_result)) day_result->AddTo(result_->Table());
  }
  uncounted_.Settle();
  result_->SortItems();
  if (keep && uncounted_.days.empty()) WriteKept(name, stamp, *result_);
}

bool HItemsContainer::SqueezeDay(const HDate& date, const HString& file, const char* filter, bool budgeted,
                                 HItemsHit& hit) {
  hit.Empty();
  // A complete day is kept by its day file's stamp and the text.
  const std::string day_stamp = log_->MayCount(date) ? log_->DayStamp(date) : std::string();
  const bool keep = !directory_.IsEmpty() && !day_stamp.empty();
  std::string name;
  std::string stamp;
  if (keep) {
    char day[16];
    snprintf(day, sizeof day, "d%08d-", date.Number());
    name = day;
    AppendStampHash(filter, name);
    AppendStampHash(std::string(type_name_) + " " + hit.KindStamp() + " day " + day_stamp + " " + filter, stamp);
    if (ReadKept(name, stamp, hit)) return true;
  }
  if (budgeted && !MayCountAnotherDay()) {
    uncounted_.Add(date);
    return false;
  }
  if (hit.CountItems(file.CStr(), filter) < 0) return false;
  if (keep) WriteKept(name, stamp, hit);
  return true;
}

void HItemsContainer::Squeeze(const char* day, const char* filter) {
  result_->Empty();
  HDate date;
  HString file;
  if (log_ == nullptr || !date.SetNumber(ToInt(day)) || !log_->FindDayFile(file, date)) return;
  log_->MoveFirstDayBack(date);
  SqueezeDay(date, file, filter, false, *result_);
}

HDomainsContainer::HDomainsContainer(const char* name, IStatsSettings* log)
    : HItemsContainer(name, log, "DomainsContainer", "Domains", MakeDomains) {}

HPagesContainer::HPagesContainer(const char* name, IStatsSettings* log)
    : HItemsContainer(name, log, "PagesContainer", "Pages", MakePages) {}
