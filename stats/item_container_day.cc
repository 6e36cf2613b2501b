// The rankings of one complete day, "Range" and "Previous" of a day page:
// the day's stored ranking serves as it lies, instead of a sum of it.
#include <memory>

#include "core/text.h"
#include "stats/item_container.h"
#include "stats/kept_sums.h"
#include "stats/stats_settings.h"
#include "stats/stored_counts.h"

bool HItemsContainer::OneCompleteDay(const char* first, const char* last, HDate* day) const {
  HDate end;
  return log_ != nullptr && first != nullptr && last != nullptr && day->SetNumber(ToInt(first)) &&
         end.SetNumber(ToInt(last)) && day->Compare(end) == 0 && day->Compare(log_->Today()) < 0;
}

bool HItemsContainer::RangeOfOneDay(const char* first, const char* last) {
  HDate day;
  if (!OneCompleteDay(first, last, &day)) return false;
  result_->Empty();
  uncounted_ = HUncounted();
  bool was_loaded = false;
  HItemsHit* items = DueDay(day, &was_loaded);
  if (items != nullptr && !result_->TakeStoredDay(*items)) {
    items->AddTo(result_->Table());
    result_->SortItems();
  }
  Forget(day, items, was_loaded);
  range_start_ = day;
  range_end_ = day;
  uncounted_.Settle();
  return true;
}

bool HItemsContainer::PreviousOfOneDay(const char* first, const char* last) {
  HDate day;
  if (!OneCompleteDay(first, last, &day)) return false;
  bool was_loaded = false;
  HItemsHit* items = DueDay(day, &was_loaded);
  std::unique_ptr<HStoredCounts> counts(new HStoredCounts);
  // A stored day read back whole is looked up through its kept index, or
  // indexed once and its index kept.
  char name[kDayNameSize];
  DayName(name, day);
  const HString path = StoragePath(name);
  const HKeptSums kept(StoragePath("").CStr());
  const std::string index_name = kIndexKind + std::string(name);
  const bool stored = items != nullptr && items->HoldsUnreadStoredRows() && !directory_.IsEmpty();
  if (stored && counts->OpenIndex(path.CStr(), kept.Path(index_name))) {
    kept.Touch(index_name);
    previous_day_ = std::move(counts);
    result_->SetPrevious(previous_day_.get());
  } else if (items == nullptr || (items->HoldsUnreadStoredRows() &&
                                  counts->Index(items->StoredText(), items->StoredPlace(), items->RejoinsNames()))) {
    if (stored) KeepIndex(*counts, path.CStr(), index_name);
    previous_day_ = std::move(counts);
    result_->SetPrevious(previous_day_.get());
  } else {
    previous_.reset(make_("", this));
    items->AddTo(previous_->Table());
    result_->SetPrevious(&previous_->Table());
  }
  Forget(day, items, was_loaded);
  uncounted_.Settle();
  return true;
}
