#include "logread/referrer_site.h"

#include <arpa/inet.h>
#include <libpsl.h>
#include <strings.h>

#include <cstring>
#include <unordered_map>

#include "core/keyed_hash.h"

const char kOtherReferrers[] = "(no web address)";

namespace {

const char kListFile[] = "/usr/share/publicsuffix/public_suffix_list.dafsa";

// The Public Suffix List, read on first use: a request that groups no
// referrer never reads it.
class HSuffixList {
 public:
  HSuffixList() {
    // The system's maintained file; the library's own choice only when it
    // is missing.
    context_ = psl_load_file(kListFile);
    if (context_ == nullptr) context_ = psl_latest(nullptr);
  }
  // The process keeps the list to its end: it is read once.
  HSuffixList(const HSuffixList&) = delete;
  HSuffixList& operator=(const HSuffixList&) = delete;

  bool Ready() const { return context_ != nullptr; }
  bool IsIcannSuffix(const char* name) const { return psl_is_public_suffix2(context_, name, PSL_TYPE_ICANN) != 0; }

 private:
  psl_ctx_t* context_ = nullptr;
};

const HSuffixList& SuffixList() {
  static const HSuffixList* list = new HSuffixList;
  return *list;
}

bool IsAddress(const std::string& host) {
  unsigned char bytes[16];
  if (inet_pton(AF_INET, host.c_str(), bytes) == 1) return true;
  return host.size() > 2 && host.front() == '[' && host.back() == ']' &&
         inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), bytes) == 1;
}

}  // namespace

bool ReferrerHost(const char* referrer, std::string& host) {
  if (referrer == nullptr) return false;
  const char* rest;
  if (strncasecmp(referrer, "http://", 7) == 0) {
    rest = referrer + 7;
  } else if (strncasecmp(referrer, "https://", 8) == 0) {
    rest = referrer + 8;
  } else {
    return false;
  }
  // Found in place and copied once: `host` keeps its room from call to call.
  const char* begin = rest;
  const char* end = rest + strcspn(rest, "/?#\\");
  for (const char* p = end; p > begin; --p) {
    if (p[-1] == '@') {
      begin = p;  // after the last "@": the user goes
      break;
    }
  }
  if (begin < end && *begin == '[') {
    const char* close = static_cast<const char*>(memchr(begin, ']', static_cast<size_t>(end - begin)));
    if (close == nullptr) return false;
    end = close + 1;
  } else {
    const char* port = static_cast<const char*>(memchr(begin, ':', static_cast<size_t>(end - begin)));
    if (port != nullptr) end = port;
    while (end > begin && end[-1] == '.') --end;
  }
  if (begin == end) return false;
  host.assign(begin, static_cast<size_t>(end - begin));
  for (char& c : host) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return true;
}

bool SuffixListReady() { return SuffixList().Ready(); }

bool RegistrableDomain(const std::string& host, std::string& domain) {
  if (host.empty() || host.find('.') == std::string::npos) return false;
  const HSuffixList& list = SuffixList();
  if (!list.Ready()) return false;
  // The longest ICANN suffix decides: the registrable domain is it and the
  // label before it. Empty labels ("a..b") make no domain.
  size_t label = 0;  // where the label before `at` begins
  for (size_t at = 0;;) {
    if (list.IsIcannSuffix(host.c_str() + at)) {
      if (at == 0) return false;
      domain = host.substr(label);
      return true;
    }
    const size_t dot = host.find('.', at);
    if (dot == std::string::npos || dot == at) return false;
    label = at;
    at = dot + 1;
  }
}

void ReferrerSite(const char* referrer, std::string& site) {
  // A day's referrers come from few hosts: each is asked of the list once,
  // and a log of endless hosts costs at most this many kept.
  constexpr size_t kMostKeptSites = 4096;
  static std::unordered_map<std::string, std::string, HKeyedTextHash> sites;
  static std::string host;
  if (!ReferrerHost(referrer, host)) {
    site = kOtherReferrers;
    return;
  }
  const auto kept = sites.find(host);
  if (kept != sites.end()) {
    site = kept->second;
    return;
  }
  if (IsAddress(host) || !RegistrableDomain(host, site)) site = host;
  if (sites.size() >= kMostKeptSites) sites.clear();
  sites.emplace(host, site);
}
