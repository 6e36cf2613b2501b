// HAudienceSettings, the settings of the analysis as the statistics of one
// audience (people or robots, logread/page_rule.h) see them: everything as
// the analysis has it, but the page-request rule counts that audience's
// requests only, and every day's stamp adds the audience and the robot
// list it is told by, so that a new list counts those days again.
//
// A statistic belongs to an audience by its name: "pages-humans" and
// "pages-robots" are the rankings of "pages" for people and for robots.
#ifndef STATS_AUDIENCE_H_
#define STATS_AUDIENCE_H_

#include <memory>
#include <string>
#include <vector>

#include "logread/page_rule.h"
#include "stats/stats_settings.h"

// The audience a statistic's name gives: a name ending in "-humans" or
// "-robots" (ignoring case) is of that audience, every other everybody's.
HAudience AudienceOfName(const char* name);
// The name of the statistic `kind` for `audience`: kind itself for
// everybody, else kind, "-" and the audience's word.
std::string AudienceName(const char* kind, HAudience audience);

class HAudienceSettings : public IStatsSettings {
 public:
  // `base` outlives this object.
  HAudienceSettings(IStatsSettings& base, HAudience audience);

  const HDate& Today() const override { return base_.Today(); }
  bool MayCount(const HDate& date) const override { return base_.MayCount(date); }
  bool FindDayFile(HString& name, const HDate& date) const override { return base_.FindDayFile(name, date); }
  void MoveFirstDayBack(const HDate& date) override { base_.MoveFirstDayBack(date); }
  HDate FirstDay() const override { return base_.FirstDay(); }
  const char* RootPath() const override { return base_.RootPath(); }
  int Unit() const override { return base_.Unit(); }
  int Lines() override { return base_.Lines(); }
  const std::vector<HDate>& DaysWithFiles() override { return base_.DaysWithFiles(); }
  std::vector<HDate> DaysWithFilesIn(const HDate& first, const HDate& last) override {
    return base_.DaysWithFilesIn(first, last);
  }
  // The base's stamp hashed with the audience and the robot list's file
  // stamp, as long as the base's; empty when the base's is.
  std::string DayStamp(const HDate& date) override;
  std::string RangeStamp(const HDate& first, const HDate& last) override;
  std::string DataPath(const char* name) const override { return base_.DataPath(name); }
  std::string CountryDatabase() const override { return base_.CountryDatabase(); }
  // The base's rule with this audience, made again when the base's changes.
  const HPageRule& PageRule() override;
  bool IsOwnHost(const char* host) override { return base_.IsOwnHost(host); }
  const std::vector<std::string>& OwnHosts() override { return base_.OwnHosts(); }
  bool ShortensAddresses() override { return base_.ShortensAddresses(); }

  HAudience Audience() const { return audience_; }

 private:
  IStatsSettings& base_;
  HAudience audience_;
  std::unique_ptr<HPageRule> rule_;
  std::string rule_made_from_;  // the base rule's signature when rule_ was made
  const std::string& ListStamp();
  std::string list_stamp_;  // the robot list's, read once
  bool list_read_ = false;
};

#endif  // STATS_AUDIENCE_H_
