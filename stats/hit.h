// The hit counters: HHit counts the page requests of each day (the lines
// the settings' page-request rule takes), HRootHit only the requests for the
// site's top page, HAllHit every request, and HTotalHit, held by each, sums
// their days into months. A day is
// counted from its day file the first time a page asks for it and kept as a
// property named yyyymmdd, newest first, whose value is the count, a blank
// and the day's stamp (IStatsSettings::DayStamp): a day whose file changed
// since is counted again at its next use. The analysis (HVaziVev) that makes a counter owns it; a
// counter borrows it, as IStatsSettings, for its settings, its today and
// its day files.
#ifndef STATS_HIT_H_
#define STATS_HIT_H_

#include <memory>
#include <string>
#include <vector>

#include "core/date.h"
#include "objects/container.h"
#include "stats/count_budget.h"
#include "stats/day_pass.h"

class HDayPass;
class HHit;
class HPageRule;
class IStatsSettings;

// The month view of a counter, its child "Total": one property per month
// that has counted days, named with the month's first day (yyyymmdd) and
// holding the month's sum, newest month first. Built at the first read
// after a day was added, first counting every complete day with a day file
// that is not counted yet, within the request's count budget
// (stats/count_budget.h); never stored. "Uncounted" gives the number of
// days with a day file the sums leave out for want of time ("UncountedFrom"
// and "UncountedTo" the first and last of them), "From" and "To" the first
// and last day with a day file.
class HTotalHit : public IContainer {
 public:
  // `owner` holds this object and outlives it.
  explicit HTotalHit(HHit* owner);

  // Builds the months when needed, then answers as a container does: a
  // month's first day gives its total, a month without days null.
  const char* GetProperty(const char* name) override;
  // "Graph" with a bar colour writes the monthly bar graph, oldest month
  // first, to standard output and returns null; "Chart COLOR [UNIT...]"
  // the same with the chart writer (stats/chart.h), each bar's hover text
  // naming its month, figure and unit. Other methods go to the container.
  // May raise ErrorMemory before any output.
  const char* Call(const char* method, int argc, const char* const* argv) override;

  // Walking the months walks them oldest first, each as its yyyymm01 (a
  // page then reads the month's total by that name).
  bool First() override;
  const char* NextName() override;
  IObject* NextObject() override { return nullptr; }

  // Sums the owner's day entries into month entries unless they are built
  // already. Entries whose name is no valid date are left out.
  void RefreshMonths();
  // Drops the months so that the next read builds them again.
  void ForgetMonths() {
    properties_.Clear();
    built_ = false;
  }

 private:
  void Graph(const char* color);
  void Chart(const char* color, const std::string& unit);

  HHit* owner_;
  const HListNode* walk_ = nullptr;
  bool built_ = false;
  HUncounted uncounted_;
  HDate from_;
  HDate to_;
};

// Type "Hit": counts the page requests, the lines that the settings'
// PageRule takes (without settings: every path but an image). Its
// properties are the counted days; pages read a day by its
// yyyymmdd name, set a one-month window with "Accumulate" and draw it with
// "Graph".
class HHit : public IContainer {
 public:
  // `log` makes and owns this counter and outlives it.
  HHit(const char* name, IStatsSettings* log);

  // A day read with ToInt as yyyymmdd gives that day's count: the stored
  // entry, or, for a day before the log's today whose day file exists, the
  // count of that file, which is then stored and marks the counter
  // modified. "SetDate" gives the window's first day once "Accumulate" or
  // "Range" set one, "Sum" the figure of the whole window (for visitors
  // the distinct ones, not a sum), "Uncounted" the number of days of the window left without a count
  // because the request's count budget (stats/count_budget.h) ran out; a
  // day of the window other than its last is then null. Everything else,
  // an invalid or later day, a missing or unreadable day file, gives null.
  const char* GetProperty(const char* name) override;
  // "Accumulate" with a yyyymmdd date sets the one-month window that ends
  // on that day (an invalid date leaves no window); "Range" with two
  // yyyymmdd dates sets the window from the first to the second, both
  // included (no window unless both are valid and in order). "Graph" with a bar
  // colour writes the window's daily bar graph to standard output, counting
  // the days not counted yet; without a window it writes nothing. Both
  // return null; "Chart COLOR [UNIT...]" draws the window with the chart
  // writer (stats/chart.h), a bar per day, its hover text naming the day,
  // its figure and the unit. Other methods go to the container. "Graph"
  // may raise ErrorMemory before any output.
  const char* Call(const char* method, int argc, const char* const* argv) override;
  // "Total" gives the month view, owned by this counter; other names go to
  // the container.
  IObject* FindChild(const char* name) override;
  // Walking the counter walks the days of the window "Accumulate" set, the
  // first day first, each as its yyyymmdd (a page then reads the day's
  // count by that name); without a window there is nothing to walk.
  bool First() override;
  const char* NextName() override;
  IObject* NextObject() override;

  // The counter of one day file for a day pass (stats/day_pass.h): the
  // lines it takes are those this statistic counts.
  virtual std::unique_ptr<IDayCounter> DayCounter();
  // The figure of the day from its finished counter: the lines it took
  // unless a kind counts something wider.
  virtual long long DayFigure(IDayCounter& counter) { return counter.Counted(); }
  // Takes a finished counter of the day `date`, counted under `stamp`,
  // for the day's entry: DayFigure unless a kind keeps more of a day than
  // its figure. Below 0: nothing to store.
  virtual long long FinishDay(const HDate& date, IDayCounter& counter, const std::string& stamp) {
    (void)date;
    (void)stamp;
    return DayFigure(counter);
  }
  // The number of lines of the day file `file` that this counter counts
  // (for visitors, the visitors), or -1 when the file cannot be opened.
  virtual int CountHits(const char* file);
  // The figure of the day file `file` (DayFigure), -1 when it cannot be
  // opened.
  long long CountDay(const char* file);
  // The answer of a day's or a month's figure; a counter of lines answers
  // an int.
  virtual const char* FigureAnswer(long long figure) const;
  // The largest month sum; a sum that would pass it stays at it.
  virtual long long LargestSum() const;
  // The height a figure is drawn with in the graphs, within an int.
  virtual int GraphValue(long long figure) const;
  // A figure as the charts' hover texts say it, before its unit.
  virtual std::string ChartText(long long figure) const { return std::to_string(figure); }
  // The figure stored in a day's or month's value ("figure stamp").
  static long long StoredFigure(const char* value);
  // Whether a month's figure is the sum of its days (else OverDays gives
  // it, as for visitors, who may come on many days of a month).
  virtual bool SumsDays() const { return true; }
  // The figure of the days from `first` to `last` but those in `left`;
  // asked only when SumsDays is false.
  virtual long long OverDays(const HDate& first, const HDate& last, const HUncounted& left) {
    (void)first;
    (void)last;
    (void)left;
    return 0;
  }

  // Counts each of `days` whose count is missing or older than its day
  // file, newest first, while the count budget lasts; the days it could not
  // count go to `left`. Returns how many it counted.
  int CountDue(const std::vector<HDate>& days, HUncounted* left);
  // CountDue of every day with a day file, `days`, unless the note kept
  // with the counter ("AllDays") says each is counted as its file stands:
  // a hash of the days' files (IStatsSettings::RangeStamp) and of the
  // entries the counter holds, kept anew once none is left out. The months
  // then cost no stamp of each day.
  int CountAllDue(const std::vector<HDate>& days, HUncounted* left);
  // When `date` is due (complete, with a day file whose stamp is not the
  // stored count's), adds its count to `pass`, which stores the figure
  // once the pass has run, and returns true.
  bool AddDueDay(const HDate& date, HDayPass& pass);
  // Whether the stored count of `date` is its day file's, or the day has no
  // file to count again.
  bool IsCurrent(const HDate& date);
  IStatsSettings* Settings() const { return log_; }

  // The first day of the one-month window that ends on `end`: the 1st of
  // its month when `end` is the month's last day or the previous month is
  // too short, else the day after `end`'s day in the previous month.
  static HDate MonthWindowStart(const HDate& end);

 protected:
  // The settings' page-request rule (that of a site without settings when
  // there are none), the audience's among them.
  const HPageRule& Rule();

  IStatsSettings* log_;

 private:
  // Stores the figure of a counted day with its stamp.
  void StoreDay(const HDate& date, long long count, const std::string& stamp);
  // The entry of a counted day, counting and storing it first when needed;
  // null when the day has no count (see GetProperty).
  const HParamEntry* DayEntry(const HDate& date);
  // The stored entry of a day the settings let count, as it stands.
  const HParamEntry* StoredDayEntry(const HDate& date);
  // DayEntry, but for a day of the window before its last one, null
  // (noted in window_uncounted_) when it needs counting and the count
  // budget is spent.
  const HParamEntry* WindowDayEntry(const HDate& date);
  void Graph(const char* color);
  void Chart(const char* color, const std::string& unit);
  // The figure of the window: the sum of its days' figures (days left
  // uncounted for want of time left out), or for counters that do not sum
  // days, OverDays of the window. Counts the window's due days first.
  long long WindowFigure();

  HTotalHit total_;
  HDate window_end_;
  HDate window_start_;
  HDate walk_;  // the next day of a walk over the window
  HUncounted window_uncounted_;
  long long window_sum_ = -1;  // WindowFigure's answer, -1 until asked
};

// Type "RootHit": counts only the requests for the site's top page, the
// "RootPath" setting ("/" when empty), compared ignoring case, whose status
// and client the page-request rule takes.
class HRootHit : public HHit {
 public:
  HRootHit(const char* name, IStatsSettings* log);

  std::unique_ptr<IDayCounter> DayCounter() override;
};

// Type "AllHit": counts every request of the day, every line in one of the
// log layouts, whatever its path, status or client (of the statistic's
// audience, when it has one).
class HAllHit : public HHit {
 public:
  HAllHit(const char* name, IStatsSettings* log);

  std::unique_ptr<IDayCounter> DayCounter() override;
};

#endif  // STATS_HIT_H_
