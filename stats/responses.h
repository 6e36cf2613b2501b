// The rankings of every response of a day, not only the page requests:
// HStatusesHit counts each status code, HNotFoundHit each path answered
// 404, with the referring pages of one path as its cross-tabulation. Their
// containers, HStatusContainer and HNotFoundContainer, store and sum the
// days as every HItemsContainer does (stats/item_container.h). Neither
// applies the page-request rule: assets, every status and excluded clients
// count too.
#ifndef STATS_RESPONSES_H_
#define STATS_RESPONSES_H_

#include <string>

#include "logread/log_line.h"
#include "stats/item_container.h"
#include "stats/items.h"

// The mark before a 404 path whose referring page is on the site's own
// host (IStatsSettings::IsOwnHost): a broken link of the site itself.
extern const char kSiteLinkMark[];
// The referrer item of a 404 without a referring page ("-", empty or no
// such field in the layout).
extern const char kNoReferrer[];

// Type "Statuses": the item of a line is its status code as three digits,
// or "-" for a line without a readable status, so that a day's statuses
// add up to every line in one of the log layouts. A filter is ignored.
class HStatusesHit : public HItemsHit {
 public:
  HStatusesHit(const char* name, HItemsContainer* container);

  // A status ("404", or "-") gives the count of that item, 0 when the day
  // has none, counting the day first when it needs counting; other names as
  // HItemsHit.
  const char* GetProperty(const char* name) override;

  const char* ItemKey(char* line, int format, const char* path, const char* filter) override;
  const char* FactsKey(HLineFacts& facts, const char* filter) override;
  bool CountsEveryResponse() const override { return true; }

 private:
  const char* KeyOf(int status);

  char key_[16];
};

// Type "NotFound": the item of a line answered 404 is its path ("-" when
// the line has none), behind kSiteLinkMark when the referring page is on
// the site's own host; those items rank ahead of the rest. With a filter
// (an item of the ranking, mark included) the item is instead the
// referring page of each 404 of that item, kNoReferrer when there is none.
class HNotFoundHit : public HItemsHit {
 public:
  HNotFoundHit(const char* name, HItemsContainer* container);

  const char* ItemKey(char* line, int format, const char* path, const char* filter) override;
  const char* FactsKey(HLineFacts& facts, const char* filter) override;
  bool CountsEveryResponse() const override { return true; }
  bool RanksFirst(const HItemEntry& entry) const override;
  // The site's own hosts, which mark the broken links.
  std::string KindStamp() override;
  // As HItemsHit, with names that hold "=" rejoined.
  bool Load(HObjectStream& stream) override;

 private:
  // The item of a 404 line of that referrer (`length` bytes, -1 for none)
  // and path.
  const char* KeyOf(const char* referrer, int length, const char* path, int path_length, const char* filter);

  std::string key_;
  char referrer_[kLogLineSize];
};

// Type "StatusContainer": days of type "Statuses".
class HStatusContainer : public HItemsContainer {
 public:
  HStatusContainer(const char* name, IStatsSettings* log);

  // A status ("404", or "-") gives its count in the last sum made
  // ("Range", "Accumulate"), 0 when it holds none; other names as any
  // ranking container.
  const char* GetProperty(const char* name) override;
};

// Type "NotFoundContainer": days of type "NotFound"; "Squeeze day item"
// lists the referring pages of that item's 404s.
class HNotFoundContainer : public HItemsContainer {
 public:
  HNotFoundContainer(const char* name, IStatsSettings* log);
};

#endif  // STATS_RESPONSES_H_
