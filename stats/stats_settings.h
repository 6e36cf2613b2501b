// IStatsSettings, what the statistics objects (the hit counters, the day
// rankings and their containers, the hourly counts) ask of the analysis
// that makes and owns them: today, the day file of a date, the first day
// with a day file, and the settings they count by, the page-request rule
// among them. HVaziVev implements it;
// the statistics know nothing else of it.
#ifndef STATS_STATS_SETTINGS_H_
#define STATS_STATS_SETTINGS_H_

#include <string>
#include <vector>

#include "core/date.h"
#include "core/text.h"

class HPageRule;

class IStatsSettings {
 public:
  // The local date when the request began; a day earlier than it is
  // complete.
  virtual const HDate& Today() const = 0;
  // Whether the figures of `date` may be counted now: every complete day,
  // and today once a page asked for today so far (its lines up to a
  // snapshot at most a minute old, HVaziVev::CountToday).
  virtual bool MayCount(const HDate& date) const { return date.Compare(Today()) < 0; }
  // Sets `name` to the day file of `date` and returns whether it exists.
  // Changes nothing else.
  virtual bool FindDayFile(HString& name, const HDate& date) const = 0;
  // Notes that `date` has a day file: the first day with one ("SetDate")
  // moves back to `date` when that is earlier, or when none is known yet.
  // Marks the settings modified when it moves.
  virtual void MoveFirstDayBack(const HDate& date) = 0;
  // The first day known to have a day file; invalid when none is known.
  virtual HDate FirstDay() const = 0;
  // The path of the site's top page ("/" when unset).
  virtual const char* RootPath() const = 0;
  // The number of trailing labels of a host name that form its domain.
  virtual int Unit() const = 0;
  // The most rows a ranking lists.
  virtual int Lines() = 0;
  // The complete days (before Today) that have a day file, oldest first.
  // The reference stays valid until Today changes.
  virtual const std::vector<HDate>& DaysWithFiles() = 0;
  // Those of DaysWithFiles from `first` to `last`, oldest first. A period
  // of a few hundred days may look for each day's file instead of listing
  // the folder, so that it costs the same however long the history is.
  virtual std::vector<HDate> DaysWithFilesIn(const HDate& first, const HDate& last) {
    std::vector<HDate> days;
    for (const HDate& day : DaysWithFiles()) {
      if (day.Compare(first) >= 0 && day.Compare(last) <= 0) days.push_back(day);
    }
    return days;
  }
  // What the figures of `date` are counted from, as a short text that
  // changes whenever they would: the stamp of its day file (stats/day_files.h)
  // and the rule that decides what counts. Empty when the day has no day
  // file: what was counted of it is then kept as it is.
  virtual std::string DayStamp(const HDate& date) = 0;
  // A text that changes whenever the DayStamp of a day from `first` to
  // `last` would, or which of those days have a day file: what a sum over
  // the days is kept under. Not the days' stamps themselves, so that it
  // can be made without one hash a day.
  virtual std::string RangeStamp(const HDate& first, const HDate& last) {
    std::string text;
    for (const HDate& day : DaysWithFilesIn(first, last)) {
      text.append(" ").append(std::to_string(day.Number())).append(":").append(DayStamp(day));
    }
    return text;
  }
  // Where a statistic keeps files of its own: the analysis's data folder
  // (absolute, ending in "/") and `name` after it.
  virtual std::string DataPath(const char* name) const = 0;
  // The IP country database file the administrator named ("GeoDatabase"),
  // or empty.
  virtual std::string CountryDatabase() const = 0;
  // Which lines are page requests, built from the settings when first
  // asked for; it stays valid until a setting it is built from changes.
  virtual const HPageRule& PageRule() = 0;
  // Whether `host` (a name or an address without its port) is the site's
  // own: the host of the "URL" setting or a name of the site's aliases,
  // ignoring case. Without settings no host is.
  virtual bool IsOwnHost(const char* /*host*/) { return false; }
  // The site's own host names, lower case, without port: that of "URL"
  // and the "Name" of each child of "Aliases" (a host or an address).
  // Built when first asked for.
  virtual const std::vector<std::string>& OwnHosts() = 0;
  // Whether statistics keep client addresses shortened (logread/
  // short_address.h): the "ShortAddresses" setting.
  virtual bool ShortensAddresses() { return false; }

 protected:
  ~IStatsSettings() = default;
};

#endif  // STATS_STATS_SETTINGS_H_
