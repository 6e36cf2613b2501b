#include "logread/country.h"

#include <arpa/inet.h>
#include <maxminddb.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cctype>
#include <cstring>

namespace {

// A numeric address as the database reader takes it; false for anything
// else. The reader's own lookup of a text would go through the resolver.
bool ToSocketAddress(const char* text, sockaddr_storage& address) {
  memset(&address, 0, sizeof address);
  auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
  if (inet_pton(AF_INET, text, &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    return true;
  }
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
  if (inet_pton(AF_INET6, text, &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    return true;
  }
  return false;
}

bool IsNumericAddress(const char* text) {
  sockaddr_storage address;
  return ToSocketAddress(text, address);
}

}  // namespace

std::string CountryOfHostName(const char* host) {
  if (host == nullptr || *host == 0 || IsNumericAddress(host)) return "";
  std::string name(host);
  while (!name.empty() && name.back() == '.') name.pop_back();  // a fully qualified name
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot + 1 >= name.size()) return "";
  std::string label = name.substr(dot + 1);
  for (char& c : label) {
    if (!isalnum(static_cast<unsigned char>(c)) && c != '-') return "";
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  }
  if (label.size() == 2 && isalpha(static_cast<unsigned char>(label[0])) &&
      isalpha(static_cast<unsigned char>(label[1]))) {
    for (char& c : label) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return label;
  }
  if (label == "arpa") return "";  // a reverse name that was not resolved
  return "(." + label + ")";
}

struct HCountryDatabase::HState {
  MMDB_s db;
};

HCountryDatabase::HCountryDatabase() = default;

HCountryDatabase::~HCountryDatabase() {
  if (state_) MMDB_close(&state_->db);
}

bool HCountryDatabase::Open(const std::string& path) {
  if (state_) {
    MMDB_close(&state_->db);
    state_.reset();
  }
  std::unique_ptr<HState> state(new HState());
  const int status = MMDB_open(path.c_str(), MMDB_MODE_MMAP, &state->db);
  if (status != MMDB_SUCCESS) {
    error_ = MMDB_strerror(status);
    if (status == MMDB_IO_ERROR) error_ += std::string(": ") + strerror(errno);
    return false;
  }
  state_ = std::move(state);
  error_.clear();
  return true;
}

bool HCountryDatabase::IsOpen() const { return state_ != nullptr; }

std::string HCountryDatabase::Lookup(const char* address) const {
  sockaddr_storage socket_address;
  if (!state_ || address == nullptr || !ToSocketAddress(address, socket_address)) return "";
  int mmdb_error = 0;
  MMDB_lookup_result_s result =
      MMDB_lookup_sockaddr(&state_->db, reinterpret_cast<const sockaddr*>(&socket_address), &mmdb_error);
  if (mmdb_error != MMDB_SUCCESS || !result.found_entry) return "";
  MMDB_entry_data_s data;
  if (MMDB_get_value(&result.entry, &data, "country", "iso_code", nullptr) != MMDB_SUCCESS || !data.has_data ||
      data.type != MMDB_DATA_TYPE_UTF8_STRING || data.data_size == 0 || data.data_size > 8) {
    return "";
  }
  std::string code(data.utf8_string, data.data_size);
  for (const char c : code) {
    if (!isalpha(static_cast<unsigned char>(c))) return "";
  }
  return code;
}

// The database reader's lookup of an address given as text asks the
// resolver. This program gives it parsed addresses alone, and its
// statically linked CGI program sends the reader's calls here
// (--wrap=getaddrinfo), so that the resolver, and the shared libraries of
// name services it loads, stay out of it.
extern "C" int __wrap_getaddrinfo(const char*, const char*, const struct addrinfo*, struct addrinfo** result) {
  *result = nullptr;
  return EAI_NONAME;
}

extern "C" void __wrap_freeaddrinfo(struct addrinfo*) {}
