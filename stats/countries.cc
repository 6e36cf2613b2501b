#include "stats/countries.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>

#include "core/keyed_hash.h"
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

// The database's country of a numeric address ("" for none), each
// address asked once while the same database is named: a client sends
// many requests. A log of endless clients keeps at most this many.
constexpr size_t kMostKeptClients = 16384;

std::string DatabaseCountry(const std::string& path, const char* client) {
  if (path.empty()) return "";
  static std::unordered_map<std::string, std::string, HKeyedTextHash> kept;
  static std::string kept_path;
  if (path != kept_path) {
    kept.clear();
    kept_path = path;
  }
  const auto found = kept.find(client);
  if (found != kept.end()) return found->second;
  const HCountryDatabase* database = Database(path);
  std::string country = database == nullptr ? "" : database->Lookup(client);
  if (kept.size() >= kMostKeptClients) kept.clear();
  kept.emplace(client, country);
  return country;
}

// The longest client address a country is found for.
constexpr size_t kLongestClient = 255;
// The places of the kept countries of clients, a power of two.
constexpr size_t kKeptPlaces = 4096;

HItemsHit* MakeCountries(const char* name, HItemsContainer* container) { return new HCountriesHit(name, container); }

}  // namespace

HCountriesHit::HCountriesHit(const char* name, HItemsContainer* container) : HItemsHit(name, container) {
  type_name_ = "Countries";
}

const char* HCountriesHit::ItemKey(char* line, int format, const char* path, const char* filter) {
  if (filter != nullptr && (path == nullptr || CompareNoCase(path, filter) != 0)) return nullptr;
  char client[kLongestClient + 1];
  if (!ReadClientAddress(line, format, client, sizeof client)) return nullptr;
  UseDatabase(log_ == nullptr ? "" : log_->CountryDatabase());
  return CountryOf(client);
}

const char* HCountriesHit::FactsKey(HLineFacts& facts, const char* filter) {
  if (filter != nullptr) return HItemsHit::FactsKey(facts, filter);
  // The client lies before the path: the whole line and the cut one give
  // the same.
  const char* client = facts.Client(kLongestClient + 1);
  return client == nullptr ? nullptr : CountryOf(client);
}

void HCountriesHit::BeginCount() { UseDatabase(log_ == nullptr ? "" : log_->CountryDatabase()); }

void HCountriesHit::UseDatabase(const std::string& path) {
  if (path == database_) return;
  database_ = path;
  kept_.clear();
}

const char* HCountriesHit::CountryOf(const char* client) {
  if (kept_.empty()) kept_.resize(kKeptPlaces);
  // The place by a quick unkeyed mix: clients that share one only cost a
  // lookup again, never a wrong country.
  uint32_t mix = 2166136261u;
  for (const char* p = client; *p != 0; ++p) mix = (mix ^ static_cast<unsigned char>(*p)) * 16777619u;
  HKept& kept = kept_[(mix ^ mix >> 16) & (kKeptPlaces - 1)];
  if (!kept.client.empty() && kept.client == client) return kept.country.c_str();
  std::string country = CountryOfHostName(client);
  if (country.empty()) {
    country = DatabaseCountry(database_, client);
    if (country.empty()) {
      country = strchr(client, '.') != nullptr || strchr(client, ':') != nullptr ? "(address)" : "(unknown)";
    }
  }
  kept.client = client;
  kept.country = country;
  return kept.country.c_str();
}

HCountriesContainer::HCountriesContainer(const char* name, IStatsSettings* log)
    : HItemsContainer(name, log, "CountriesContainer", "Countries", MakeCountries) {}
