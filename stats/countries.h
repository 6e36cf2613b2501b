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
#include <vector>

#include "stats/item_container.h"
#include "stats/items.h"

class HCountriesHit : public HItemsHit {
 public:
  HCountriesHit(const char* name, HItemsContainer* container);

  // The country of the line's client; with a filter, only for lines whose
  // path equals it (ignoring case).
  const char* ItemKey(char* line, int format, const char* path, const char* filter) override;
  // The same, from the client the facts read once for every counter.
  const char* FactsKey(HLineFacts& facts, const char* filter) override;
  // Takes the database the settings name for the count.
  void BeginCount() override;

 private:
  // The country of a client address, the last clients' countries kept:
  // a client sends many requests.
  const char* CountryOf(const char* client);
  // Names the database; the kept countries go when it changes.
  void UseDatabase(const std::string& path);

  struct HKept {
    std::string client;  // empty while the place is unused
    std::string country;
  };
  std::string database_;
  std::vector<HKept> kept_;
};

class HCountriesContainer : public HItemsContainer {
 public:
  HCountriesContainer(const char* name, IStatsSettings* log);
};

#endif  // STATS_COUNTRIES_H_
