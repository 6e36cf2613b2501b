// The containers of the day rankings: HDomainsContainer and HPagesContainer
// own one HDomainsHit or HPagesHit per day, stored as files named yyyymmdd in
// their own directory, and answer what spans many days: the ranking of the
// month that ends on a day, the ranking since the first day (cached in the
// file "total" beside the days), the ranking of any range of days and the
// cross-tabulations (kept in the folder "sums", stats/kept_sums.h). These
// fill the container's result, a ranking of its kind that pages walk through the
// container itself; the result is never a child and never stored as one.
// The analysis (HVaziVev) that makes a container owns it; the container
// borrows it as IStatsSettings.
#ifndef STATS_ITEM_CONTAINER_H_
#define STATS_ITEM_CONTAINER_H_

#include <memory>
#include <string>
#include <vector>

#include "core/date.h"
#include "stats/count_budget.h"
#include "stats/day_container.h"
#include "stats/items.h"

class HDayPass;
class HStoredCounts;
class IStatsSettings;

class HItemsContainer : public HDayContainer {
 public:
  ~HItemsContainer() override;

  // "Count" gives the result's count, "SetDate" the first day of the last
  // "Accumulate" (else the stored "SetDate"), "Uncounted" the number of
  // days with a day file that its sum leaves out because the request's
  // count budget (stats/count_budget.h) ran out before they were counted,
  // "UncountedFrom" and "UncountedTo" the first and last of them; others
  // as any container.
  const char* GetProperty(const char* name) override;
  // "Text" sets the result's filter, "Rows" the most rows a walk lists
  // (below the "lines" setting; empty: that setting); others are stored.
  void SetProperty(const char* name, const char* value) override;
  // "Accumulate" with a yyyymmdd day sums the one-month window ending on it,
  // counting the days not counted yet or whose day file changed; without a
  // day, it sums every day from the first day with a day file to
  // yesterday, the same way, or reads that sum from "total" when the
  // stamps of those days are still the ones it was made from, and writes
  // "total" when it made a sum that leaves no day out. "Range" with two
  // yyyymmdd days sums the days from the first to the second, both
  // included, in the same way, kept in the folder "sums" (stats/kept_sums.h)
  // as "total" is, unless it holds today. "Previous" with two days
  // sums those into a second table that the walk compares each row with
  // ("Before" and "Change" of "Current"); "Previous" without days drops
  // it. "Squeeze" with a day and a text counts that day's file, keeping
  // only the lines the text selects (a path for domains, a domain for
  // pages); "Squeeze" with two days and a text does so for every day with
  // a file from the first to the second, within the count budget; both
  // are kept in "sums" by days, text and the stamps of those days. All
  // return null; other methods go to the container.
  const char* Call(const char* method, int argc, const char* const* argv) override;
  // Walking the container walks the result.
  bool First() override;
  // Makes the kept sum of the month of `day` (from its first to its last
  // day, yesterday at the latest), as a month's page would, unless the
  // one kept is still that of its days: the first view of the month then
  // finds it made. Leaves the result alone.
  void KeepMonth(const HDate& day);
  const char* NextName() override;
  IObject* NextObject() override;
  // "Current" is the result's row object; days as HDayContainer (a fresh
  // day is counted by its first walk or "Count").
  IObject* FindChild(const char* name) override;

  // Deletes the cached sum "total"; a missing file is fine.
  void DeleteTotal();
  // Counts each of `days` whose ranking is missing or older than its day
  // file, newest first, while the count budget lasts; the days it could not
  // count go to `left`. Returns how many it counted. Days counted stay
  // loaded until saved.
  int CountDue(const std::vector<HDate>& days, HUncounted* left);
  // When the ranking of `day` is due, adds its count to `pass` and returns
  // true; the day stays loaded until saved.
  bool AddDueDay(const HDate& day, HDayPass& pass);
  IStatsSettings* Log() const { return log_; }
  HItemsHit& Result() { return *result_; }
  const HDate& RangeStart() const { return range_start_; }
  const HDate& RangeEnd() const { return range_end_; }

 protected:
  // Makes a ranking of the container's kind, owned by the caller.
  using Maker = HItemsHit* (*)(const char* name, HItemsContainer* container);

  // `log` makes and owns this container and outlives it; `type_name` and
  // `child_type` are static text; `make` makes the result and the days.
  HItemsContainer(const char* name, IStatsSettings* log, const char* type_name, const char* child_type, Maker make);

 private:
  void AccumulateMonth(const char* day);
  // Sums the days from `first` to `last` (yesterday at the latest) into
  // `sum`, each counted first when due and the budget allows; false when
  // the days are no range.
  bool SumRange(const char* first, const char* last, HItemTable& sum);
  // Sums the days from `first` to `last` into `sum` as SumRange does, and
  // sorts it; reads the sum kept for those days instead while the stamps
  // of the days are those it was made from, and keeps one it made that
  // leaves no day out. False when the days are no range.
  // With `load` false, a kept sum still that of its days is left unread,
  // and `sum` empty.
  bool KeptRange(const char* first, const char* last, HItemsHit& sum, bool load = true);
  // The name and the stamp a sum from `first` to `last` is kept under: 1
  // when it may be kept, 0 when not (today is in it, or no folder), -1
  // for days that make no range.
  int KeptName(const char* first, const char* last, std::string* name, std::string* stamp);
  // Keeps the index of the ranking file `path` that `counts` made, in
  // "sums" as `name` (its kind kIndexKind).
  void KeepIndex(const HStoredCounts& counts, const std::string& path, const std::string& name);
  // The kind of the kept indexes of stored rankings (HStoredCounts).
  static constexpr char kIndexKind = 'i';
  // Reads the kept sum `name` into `sum` when it is stamped `stamp`; false
  // (and `sum` empty) otherwise.
  bool ReadKept(const std::string& name, const std::string& stamp, HItemsHit& sum);
  // Keeps the sorted `sum` as `name` under `stamp`; a failed write keeps
  // nothing.
  void WriteKept(const std::string& name, const std::string& stamp, HItemsHit& sum);
  // The kept name of a cross-tabulation of those days by that text.
  static std::string SqueezeName(const HDate& start, const HDate& end, const char* filter);
  void SqueezeRange(const char* first, const char* last, const char* filter);
  // The cross-tabulation of one day, whose day file is `file`, by `filter`
  // into `hit`: the kept one while the day's stamp is the one it was made
  // from, else counted (with `budgeted`, only when the count budget allows,
  // the day noted as uncounted otherwise) and kept. False when not counted.
  bool SqueezeDay(const HDate& date, const HString& file, const char* filter, bool budgeted, HItemsHit& hit);
  // Whether the days from `first` to `last` hold every complete day with
  // data: from the first day (or before it) to yesterday.
  bool CoversEverything(const char* first, const char* last);
  void AccumulateAll();
  void Squeeze(const char* day, const char* filter);
  // A loaded or stored child of that name, never a new one.
  HItemsHit* ExistingDay(const char* name);
  // The day's ranking, counted first when it is out of date and the budget
  // allows (else null, and the day noted in uncounted_); null for a day
  // with neither a ranking nor a day file. `was_loaded` tells whether it was
  // in memory before.
  HItemsHit* DueDay(const HDate& day, bool* was_loaded);
  // Adds the day's items into `sum`; a day read only for the sum is read
  // straight into it and then dropped from memory.
  void AddDay(const HDate& day, HItemsHit* items, bool was_loaded, HItemTable& sum);
  // Drops a day read only for a sum from memory.
  void Forget(const HDate& day, HItemsHit* items, bool was_loaded);
  // Whether `first` and `last` name one and the same complete day (set in
  // `day`), whose stored ranking can serve as it stands.
  bool OneCompleteDay(const char* first, const char* last, HDate* day) const;
  // "Range" of one complete day: its stored rows become the result, read
  // as the walk goes, in the order a sum of the day gives them; a day
  // counted now or stored without a trusted header is summed as any range.
  // False, changing nothing, for any other range.
  bool RangeOfOneDay(const char* first, const char* last);
  // "Previous" of one complete day: its stored rows are looked up where
  // they lie, without a table. False, changing nothing, for any other
  // range.
  bool PreviousOfOneDay(const char* first, const char* last);
  // The stamp of the sum over [start, end]: the container's kind and the
  // stamps of every day with a day file in it.
  std::string RangeStamp(const HDate& start, const HDate& end);

  IObject* MakeDay(const char* name) override;

  IStatsSettings* log_;
  Maker make_;
  std::unique_ptr<HItemsHit> result_;
  std::unique_ptr<HItemsHit> previous_;          // the "Previous" sum, when asked for
  std::unique_ptr<HStoredCounts> previous_day_;  // or the one stored day it is
  HDate range_start_;
  HDate range_end_;
  HUncounted uncounted_;
};

// Type "DomainsContainer": days of type "Domains".
class HDomainsContainer : public HItemsContainer {
 public:
  HDomainsContainer(const char* name, IStatsSettings* log);
};

// Type "PagesContainer": days of type "Pages".
class HPagesContainer : public HItemsContainer {
 public:
  HPagesContainer(const char* name, IStatsSettings* log);
};

#endif  // STATS_ITEM_CONTAINER_H_
