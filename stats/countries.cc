#include "stats/countries.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "core/text.h"
#include "logread/country.h"
#include "logread/log_line.h"
#include "stats/stats_settings.h"

namespace {

// The database of the process, opened at the first count that needs it.
const HCountryDatabase* Database(const std::string& path) {
  static std::unique_ptr<HCountryDatabase> database;
  static std::string opened;
  static bool tried = false;
  if (path.empty()) return nullptr;
  if (!tried || opened != path) {
    tried = true;
    opened = path;
    database.reset(new HCountryDatabase());
    if (!database->Open(path)) {
      fprintf(stderr, "vazivev: the country database %s cannot be read: %s\n", path.c_str(),
              database->Error().c_str());
      database.reset();
    }
  }
  return database.get();
}

HItemsHit* MakeCountries(const char* name, HItemsContainer* container) { return new HCountriesHit(name, container); }

}  // namespace

HCountriesHit::HCountriesHit(const char* name, HItemsContainer* container) : HItemsHit(name, container) {
  type_name_ = "Countries";
}

const char* HCountriesHit::ItemKey(char* line, int format, const char* path, const char* filter) {
  if (filter != nullptr && (path == nullptr || CompareNoCase(path, filter) != 0)) return nullptr;
  char client[256];
  if (!ReadClientAddress(line, format, client, sizeof client)) return nullptr;
  item_ = CountryOfHostName(client);
  if (item_.empty()) {
    const HCountryDatabase* database = Database(log_ == nullptr ? "" : log_->CountryDatabase());
    item_ = database == nullptr ? "" : database->Lookup(client);
    if (item_.empty()) {
      item_ = strchr(client, '.') != nullptr || strchr(client, ':') != nullptr ? "(address)" : "(unknown)";
    }
  }
  return item_.c_str();
}

HCountriesContainer::HCountriesContainer(const char* name, IStatsSettings* log)
    : HItemsContainer(name, log, "CountriesContainer", "Countries", MakeCountries) {}
