// The countries of a day's page requests: HCountriesHit (type "Countries")
// ranks them by the client's country, HCountriesContainer (type
// "CountriesContainer") keeps one per day with the month and all-time sums
// of every ranking. A resolved host name gives its top-level label ("JP",
// "(.com)"); a numeric address gives the country of the database file the
// "GeoDatabase" setting names, or "(address)" when none is named or it has
// no country for it; anything else "(unknown)".
#ifndef STATS_COUNTRIES_H_
#define STATS_COUNTRIES_H_

#include <string>

#include "stats/item_container.h"
#include "stats/items.h"

class HCountriesHit : public HItemsHit {
 public:
  HCountriesHit(const char* name, HItemsContainer* container);

  // The country of the line's client; with a filter, only for lines whose
  // path equals it (ignoring case).
  const char* ItemKey(char* line, int format, const char* path, const char* filter) override;

 private:
  std::string item_;
};

class HCountriesContainer : public HItemsContainer {
 public:
  HCountriesContainer(const char* name, IStatsSettings* log);
};

#endif  // STATS_COUNTRIES_H_
