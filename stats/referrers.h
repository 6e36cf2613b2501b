// The ranking of referring sites: HReferrersHit counts one day's page
// requests by the site of their referrer (logread/referrer_site.h), leaving
// out requests without one ("-") and those referred by the site's own
// hosts (IStatsSettings::OwnHosts). Its cross-tabulation lists the whole
// referring addresses of one site. HReferrersContainer owns the days, as
// any HItemsContainer.
#ifndef STATS_REFERRERS_H_
#define STATS_REFERRERS_H_

#include <string>

#include "logread/log_line.h"
#include "stats/item_container.h"
#include "stats/items.h"

// Type "Referrers".
class HReferrersHit : public HItemsHit {
 public:
  HReferrersHit(const char* name, HItemsContainer* container);

  // Takes the line's referrer when it has one from another host.
  void ReadWholeLine(const char* line, int format) override;
  void ReadWholeFacts(HLineFacts& facts) override;
  // ItemKey, which reads nothing of the line itself.
  const char* FactsKey(HLineFacts& facts, const char* filter) override {
    return ItemKey(nullptr, facts.Format(), nullptr, filter);
  }
  // Only with the Public Suffix List: a day grouped without it would be
  // stored as counted.
  bool CanCount() override;
  // The site's own hosts, which are left out.
  std::string KindStamp() override;
  // The site of the referrer ReadWholeLine took, null when it took none;
  // with a filter, the whole referrer of lines whose site equals it.
  const char* ItemKey(char* line, int format, const char* path, const char* filter) override;
  // As HItemsHit, with names that hold "=" (a query string) rejoined.
  bool Load(HObjectStream& stream) override;

 private:
  // Takes the referrer of `length` bytes (-1 for none) unless it is none
  // or from one of the site's own hosts.
  void TakeReferrer(const char* referrer, int length);

  char referrer_[kLogLineSize];
  const char* referrer_text_ = referrer_;  // referrer_, or the facts' referrer
  bool taken_ = false;
  std::string host_;
  std::string site_;
};

// Type "ReferrersContainer": days of type "Referrers".
class HReferrersContainer : public HItemsContainer {
 public:
  HReferrersContainer(const char* name, IStatsSettings* log);
};

#endif  // STATS_REFERRERS_H_
