// HVaziVev, the settings of the analysis and the parent of every statistics
// object: the system object's child "vazivev", a numbered container stored
// under data/vazivev/. It knows today's date (read once per request), where
// the day file of a date is, and which statistics class a type name makes;
// the statistics reach it only through IStatsSettings.
#ifndef STATS_VAZIVEV_H_
#define STATS_VAZIVEV_H_

#include <memory>
#include <string>
#include <unordered_map>

#include "core/date.h"
#include "core/text.h"
#include "logread/page_rule.h"
#include "objects/ncontainer.h"
#include "stats/audience.h"
#include "stats/day_files.h"
#include "stats/rejected.h"
#include "stats/stats_settings.h"

// The settings, stored as properties: "Loging" ("Daily", "Unique" or empty
// while undecided), "LogFile", "DateFile", "SetDate", "Unit", "URL",
// "RootPath", "lines", and those of the page-request rule: "Assets",
// "Statuses", "Exclude" and "ScriptPath" (the program's own path, which
// every web request notes, see NoteScriptPath), and "Audience", whose
// requests the shipped pages show when they ask for none ("humans",
// "robots"; empty or anything else: everybody's).
//
// A statistic whose name ends in "-humans" or "-robots" counts the
// requests of that audience only (stats/audience.h); the method For makes
// such a twin of a statistic when a page first asks for it.
class HVaziVev : public INContainer, public IStatsSettings {
 public:
  // Type name "VaziVev"; today is the local date now.
  explicit HVaziVev(const char* name);
  // The statistics go first: they borrow the audiences' settings.
  ~HVaziVev() override;

  // "URL" is stored as its scheme ("https://", else "http://") and the
  // host part only (an empty one stays empty), "Unit" as at least 3; other
  // names as any object.
  void SetProperty(const char* name, const char* value) override;
  // "SplitError" (why this request's split failed, empty when it did not)
  // and "SplitDropped" (the lines the splits dropped so far, for want of a
  // date or a layout): the update step's report, never stored;
  // "PageRuleSignature": the page-request rule's Signature; "SiteName": the
  // host of "URL" (empty when unset). Other names as any container.
  const char* GetProperty(const char* name) override;
  // As any container; the page-request rule is built again afterwards.
  void RemoveProperty(const char* name) override;
  void SetSplitReport(const char* error, long long dropped);
  // The statistics types ("Hit", "RootHit", "AllHit", ...), ignoring case; any other
  // type goes to the container's factory. The caller owns the result.
  IObject* CreateObject(const char* name, const char* type_name) override;
  // "rejected" is the lines the split could not take (stats/rejected.h),
  // made when first asked for and never stored; other names as any
  // container.
  IObject* FindChild(const char* name) override;
  // "For KIND [WHO]": the name of the statistic that counts KIND's figures
  // for the audience WHO ("humans", "robots", "all"; when empty or missing
  // the "Audience" setting): KIND itself for everybody, for robots' robot
  // ranking, and when there is no statistic KIND; else its twin, made now
  // (of KIND's type) when there is none. Other methods as any container.
  //
  // "CountToday" as the function below, its time the answer.
  // "CanExport REPORT" gives "1" when REPORT names a statistic whose report
  // can be exported (stats/export.h); "Export REPORT FROM TO FORMAT [WHO]"
  // writes it for the days FROM to TO as "csv" or "json", for the audience
  // WHO as For chooses it, and gives "1", or null (writing nothing) when
  // it cannot.
  const char* Call(const char* method, int argc, const char* const* argv) override;

  // The day file of `date`: the "DateFile" pattern in "Daily" mode, else
  // the program directory's logs/QLyymmdd.log.
  bool FindDayFile(HString& name, const HDate& date) const override;
  // "SetDate", read strictly (HDate::Parse).
  void MoveFirstDayBack(const HDate& date) override;
  HDate FirstDay() const override;
  // "RootPath", or "/" when it is empty.
  const char* RootPath() const override;
  // ToInt of "Unit" (0 when unset).
  int Unit() const override;
  // The "lines" setting, read once.
  int Lines() override;
  // From a listing of the day files' folder, made on first use.
  const std::vector<HDate>& DaysWithFiles() override;
  std::vector<HDate> DaysWithFilesIn(const HDate& first, const HDate& last) override;
  std::string DayStamp(const HDate& date) override;
  std::string RangeStamp(const HDate& first, const HDate& last) override;
  std::string DataPath(const char* name) const override;
  std::string CountryDatabase() const override { return Setting("GeoDatabase"); }
  // Built once per process, when a statistic first counts, and again only
  // after one of its settings changed.
  const HPageRule& PageRule() override;
  // The host of "URL", or a "Name" of the child "aliases" (type Aliases).
  bool IsOwnHost(const char* host) override;
  // Read once per process: the settings page that changes them is a
  // request of its own.
  const std::vector<std::string>& OwnHosts() override;
  // "ShortAddresses" is set to anything but empty or "0".
  bool ShortensAddresses() override;
  // Stores `script` (a request's SCRIPT_NAME) as "ScriptPath" when it is a
  // path ("/...") other than the stored one, so that counts made outside a
  // web request leave out the program's own requests as well.
  void NoteScriptPath(const char* script);
  // Whether the web server writes its own day files ("Loging" is "Daily").
  bool IsDaily() const;
  // The setting's text, never null ("" when unset); for the code, not for
  // pages (no answer is kept).
  const char* Setting(const char* name) const;
  // The local date when the object was made.
  const HDate& Today() const override { return today_; }
  bool MayCount(const HDate& date) const override;
  // Makes today countable for this request from a snapshot of its lines so
  // far (logs/today-yyyymmdd.log: the carry-over file's lines, or the web
  // server's own day file of today), taken again when the one there is a
  // minute old; an older day's snapshot is removed. Returns the snapshot's
  // time as "hh:mm", or empty when there is none.
  std::string CountToday();
  // Removes yesterday's snapshot of today so far, if one is left: one
  // unlink, cheap enough for every request.
  void RemoveOldSnapshot();
  void SetToday(const HDate& today) {
    today_ = today;
    day_files_ready_ = false;
  }

 private:
  // The day file name pattern: "DateFile" in "Daily" mode, else the
  // program directory's logs/QLyymmdd.log.
  HString DayFilePattern() const;
  // The statistics type `type_name` makes, counting by `settings`; null
  // for a type that is none.
  IObject* CreateStatistic(const char* name, const char* type_name, IStatsSettings* settings);
  // CanExport (write false) and Export (write true).
  const char* Export(bool write, int argc, const char* const* argv);
  // The day files, listed when a statistic first asks.
  HDayFiles& DayFiles();

  HDate today_;
  int lines_ = -1;
  HDayFiles day_files_;
  bool day_files_ready_ = false;
  std::unordered_map<int, std::string> day_stamps_;  // DayStamp's answers, by yyyymmdd
  // What every day's stamp holds after its file's: the page rule, the
  // country database, shortened addresses. Forgotten with day_stamps_.
  const std::string& StampSuffix();
  std::string stamp_suffix_;
  bool stamp_suffix_ready_ = false;
  std::unique_ptr<HPageRule> page_rule_;
  std::vector<std::string> own_hosts_;
  bool own_hosts_ready_ = false;
  HString split_error_;
  long long split_dropped_ = 0;
  std::unique_ptr<HRejectedLines> rejected_;
  std::string today_file_;
  int short_addresses_ = -1;  // ShortensAddresses' answer, -1 until asked  // the snapshot of today, once CountToday made it
  HAudienceSettings humans_;
  HAudienceSettings robots_;
};

#endif  // STATS_VAZIVEV_H_
