// The hourly statistics: HTimesHit holds the requests of one day by the
// hour of their time, as 24 properties "0" to "23", and draws them as a bar
// graph; HTimesContainer, the HVaziVev's child of type "TimesContainer",
// keeps one HTimesHit per day, each in its own file in the container's
// directory. A day is counted from its day file the first time a page
// reads it, and again when its day file changed since (its stamp, kept as
// the property "Stamp", is no longer the file's). The
// container owns its days; both borrow the settings (IStatsSettings) of the
// analysis that made the container.
#ifndef STATS_TIMES_H_
#define STATS_TIMES_H_

#include <memory>
#include <string>
#include <vector>

#include "core/date.h"
#include "objects/container.h"
#include "stats/count_budget.h"
#include "stats/day_container.h"

class HDayPass;
class HPageRule;
class IDayCounter;
class IStatsSettings;

// Type "Times". Named with its day as yyyymmdd; a name that does not begin
// with a digit, or is no valid date, leaves it without a day.
class HTimesHit : public IContainer {
 public:
  static constexpr int kHours = 24;

  // `log` outlives this object; it may be null (nothing is ever counted).
  HTimesHit(const char* name, IStatsSettings* log);

  // ComputeHours, then the container's answer: "0" to "23" give the count
  // of that hour, or null while the day has no counts.
  const char* GetProperty(const char* name) override;
  // "Graph" with a bar colour writes the 24 hours as a bar graph to
  // standard output (hours without a count as 0) and returns null; without
  // an argument it writes nothing; "Chart COLOR [UNIT...]" the same with
  // the chart writer (stats/chart.h). Other methods go to the container.
  // May raise ErrorMemory before any output.
  const char* Call(const char* method, int argc, const char* const* argv) override;

  // Counts the day file into the 24 properties, zeros included, with the
  // file's stamp, and marks the object modified; does nothing when it holds
  // the counts of the file as it is now (or of a file gone since), when the
  // day is invalid or later than the log's today, or when the day file is
  // missing or cannot be opened. Today is accepted: its file may still grow
  // when the web server writes its own day files, and what was counted
  // then is kept.
  void ComputeHours();
  // ComputeHours through `pass`: when the day needs counting, adds its
  // count to the pass, which sets the hours once it has run, and returns
  // true.
  bool AddDueDay(HDayPass& pass);
  // Whether the counts are those of the day file as it is now, or there is
  // nothing to count them from.
  bool IsCurrent();
  // Stored only once ComputeHours has counted its day.
  bool IsStoredWhenAdded() override { return false; }

  // Adds every line of `file` that `rule` takes for a page request to the
  // count of its hour; lines without a readable hour are left out. False
  // when the file cannot be opened.
  static bool CountHours(const char* file, const HPageRule& rule, int (&hours)[kHours]);
  // The counter of CountHours for a day pass (stats/day_pass.h), adding to
  // `hours`, which must outlive it.
  static std::unique_ptr<IDayCounter> HoursCounter(const HPageRule& rule, int* hours);

  // The day of the name; invalid when there is none.
  const HDate& Day() const { return day_; }

 private:
  void Graph(const char* color);
  void Chart(const char* color, const std::string& unit);
  const char* Setting(const char* name) const;

  static constexpr const char* kStampName = "Stamp";

  IStatsSettings* log_;
  HDate day_;
};

// Type "TimesContainer": a numbered container of HTimesHit days.
class HTimesContainer : public HDayContainer {
 public:
  // `log` outlives this object and every day it makes.
  HTimesContainer(const char* name, IStatsSettings* log);

  // Counts each of `days` whose hours are missing or older than its day
  // file, newest first, while the count budget lasts; the days it could not
  // count go to `left`. Returns how many it counted.
  int CountDue(const std::vector<HDate>& days, HUncounted* left);
  // When the day `day` is due, adds its count to `pass` and returns true;
  // the day stays loaded until saved.
  bool AddDueDay(const HDate& day, HDayPass& pass);
  // "Range" with two yyyymmdd days sums the hours of every day from the
  // first to the second (yesterday at the latest) into the child "Hours",
  // counting the due days within the count budget; "Hours" then answers
  // "0" to "23", "Uncounted" (the days left out for want of time) and
  // "Graph" as a day does. A sum of complete days that left none out is
  // kept in the folder "sums" (stats/kept_sums.h) under the stamp of its
  // days, and read back while that holds. Returns null; other methods as
  // any container.
  const char* Call(const char* method, int argc, const char* const* argv) override;
  IObject* FindChild(const char* name) override;

 private:
  IObject* MakeDay(const char* name) override;
  void SumRange(const HDate& first, const HDate& last);
  bool ReadKept(const std::string& name, const std::string& stamp, long long (&sums)[HTimesHit::kHours]);
  void WriteKept(const std::string& name, const std::string& stamp, const long long (&sums)[HTimesHit::kHours]);

  IStatsSettings* log_;
  HTimesHit hours_;  // no day of its own: it never counts
};

#endif  // STATS_TIMES_H_
