// The country of a client: by the top-level label of a resolved host name
// ("host.example.co.jp" -> "JP"), or, for a numeric address, by an IP
// geolocation database in the MaxMind DB format when the administrator
// names one (none is shipped; GeoLite2 Country and its like are free to
// download under their own terms). HCountryDatabase reads such a file with
// libmaxminddb, opened once per process, only when a count asks.
#ifndef LOGREAD_COUNTRY_H_
#define LOGREAD_COUNTRY_H_

#include <memory>
#include <string>

// The country code of a host name's top-level label, upper case ("JP",
// "DE", "UK" as the domain names write it), "(.com)" and the like for a
// generic label, or empty for a numeric address (IPv4 or IPv6) or a name
// without a dot.
std::string CountryOfHostName(const char* host);

class HCountryDatabase {
 public:
  HCountryDatabase();
  ~HCountryDatabase();
  HCountryDatabase(const HCountryDatabase&) = delete;
  HCountryDatabase& operator=(const HCountryDatabase&) = delete;

  // Opens the database file; false with Error() set when it cannot be
  // read as one.
  bool Open(const std::string& path);
  bool IsOpen() const;
  const std::string& Error() const { return error_; }
  // The ISO country code of a numeric address ("JP"), or empty when the
  // database has none for it or the text is no address.
  std::string Lookup(const char* address) const;

 private:
  struct HState;
  std::unique_ptr<HState> state_;
  std::string error_;
};

#endif  // LOGREAD_COUNTRY_H_
