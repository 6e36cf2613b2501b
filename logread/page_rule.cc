#include "logread/page_rule.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "core/text.h"
#include "logread/line_facts.h"
#include "logread/robots.h"
#include "logread/short_address.h"

namespace {

const char kWordStops[] = " ,\t\r\n";
// Longer words are neither extensions nor addresses: they are left out
// before any copy is made.
constexpr size_t kLongestExtension = 15;
constexpr size_t kLongestAddress = 63;  // a full IPv6 text with a zone and a port fits

// Calls `word(text, length)` for each word of text, between blanks and commas.
template <class Word>
void ForEachWord(const char* text, Word word) {
  if (text == nullptr) return;
  for (const char* p = text; *p != 0;) {
    p += strspn(p, kWordStops);
    const size_t length = strcspn(p, kWordStops);
    if (length > 0) word(p, length);
    p += length;
  }
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c; }

// Whether the first `prefix` bits of a and b agree.
bool SamePrefix(const unsigned char* a, const unsigned char* b, int prefix) {
  const int whole = prefix / 8;
  if (memcmp(a, b, static_cast<size_t>(whole)) != 0) return false;
  const int rest = prefix % 8;
  if (rest == 0) return true;
  const auto mask = static_cast<unsigned char>(0xff << (8 - rest));
  return (a[whole] & mask) == (b[whole] & mask);
}

// FNV-1a, 64 bits: fixed here for good, since signatures are stored.
uint64_t HashText(const std::string& text) {
  uint64_t h = 14695981039346656037ULL;
  for (const char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ULL;
  }
  return h;
}

}  // namespace

HPageRule::HPageRule() { MakeSignature(); }

HPageRule::HPageRule(const char* assets, const char* statuses, const char* exclude, const char* script) {
  ParseAssets(assets);
  ParseStatuses(statuses);
  ParseExclude(exclude);
  if (script != nullptr) script_ = script;
  MakeSignature();
}

void HPageRule::ParseAssets(const char* text) {
  ForEachWord(text, [this](const char* word, size_t length) {
    if (*word == '.') {  // ".css" means css
      ++word;
      --length;
    }
    if (length == 0 || length > kLongestExtension) return;
    std::string extension(word, length);
    for (char& c : extension) c = Lower(c);
    assets_.push_back(extension);
  });
  std::sort(assets_.begin(), assets_.end());
  assets_.erase(std::unique(assets_.begin(), assets_.end()), assets_.end());
  for (const std::string& extension : assets_) asset_keys_.push_back(ExtensionKey(extension.data(), extension.size()));
  std::sort(asset_keys_.begin(), asset_keys_.end());
}

HPageRule::HExtensionKey HPageRule::ExtensionKey(const char* text, size_t size) {
  // An extension holds no zero byte, so the padding tells lengths apart.
  unsigned char bytes[16] = {};
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(Lower(text[i]));
  HExtensionKey key;
  memcpy(&key.first, bytes, 8);
  memcpy(&key.second, bytes + 8, 8);
  return key;
}

void HPageRule::ParseStatuses(const char* text) {
  ForEachWord(text, [this](const char* word, size_t length) {
    if (length != 3) return;
    // Each place is a digit or "x", any digit; the first no 0.
    for (size_t i = 0; i < 3; ++i) {
      const char c = Lower(word[i]);
      if (c != 'x' && (!IsDigit(static_cast<unsigned char>(c)) || (i == 0 && c == '0'))) return;
    }
    // The digits each place allows: one, or every one ("x").
    int low[3], high[3];
    for (int i = 0; i < 3; ++i) {
      const bool any = Lower(word[i]) == 'x';
      low[i] = any ? (i == 0 ? 1 : 0) : word[i] - '0';
      high[i] = any ? 9 : word[i] - '0';
    }
    for (int a = low[0]; a <= high[0]; ++a) {
      for (int b = low[1]; b <= high[1]; ++b) {
        for (int c = low[2]; c <= high[2]; ++c) statuses_.set(static_cast<size_t>(a * 100 + b * 10 + c));
      }
    }
    has_statuses_ = true;
  });
}

void HPageRule::ParseExclude(const char* text) {
  ForEachWord(text, [this](const char* word, size_t length) {
    if (length > kLongestAddress) return;
    char address[kLongestAddress + 1];
    memcpy(address, word, length);
    address[length] = 0;
    int prefix = -1;
    if (char* slash = strchr(address, '/')) {
      *slash = 0;
      const char* digits = slash + 1;
      const size_t count = strlen(digits);
      if (count == 0 || count > 3 || strspn(digits, "0123456789") != count) return;
      prefix = ToInt(digits);
    }
    char* start = address;
    const size_t end = strlen(address);
    if (end >= 2 && address[0] == '[' && address[end - 1] == ']') {
      address[end - 1] = 0;
      ++start;
    }
    HNetwork net;
    unsigned char bytes[16];
    if (inet_pton(AF_INET, start, bytes) == 1) {
      net.v6 = false;
    } else if (inet_pton(AF_INET6, start, bytes) == 1) {
      net.v6 = true;
    } else {
      return;  // a name, or garbage: it could never match
    }
    const int bits = net.v6 ? 128 : 32;
    if (prefix < 0) prefix = bits;
    if (prefix > bits) return;
    if (net.v6 && IsV4Mapped(bytes) && prefix >= 96) {
      // "::ffff:192.0.2.0/120" is the IPv4 network it writes.
      net.v6 = false;
      prefix -= 96;
      memmove(bytes, bytes + 12, 4);
    }
    net.prefix = prefix;
    // The host bits are cleared, so that networks written with them
    // compare equal.
    for (int i = 0; i < (net.v6 ? 16 : 4); ++i) {
      const int keep = std::min(8, std::max(0, prefix - i * 8));
      net.bytes[i] = static_cast<unsigned char>(bytes[i] & (0xff00 >> keep));
    }
    exclude_.push_back(net);
  });
  const auto less = [](const HNetwork& a, const HNetwork& b) {
    if (a.v6 != b.v6) return b.v6;
    const int order = memcmp(a.bytes, b.bytes, sizeof a.bytes);
    return order != 0 ? order < 0 : a.prefix < b.prefix;
  };
  const auto same = [](const HNetwork& a, const HNetwork& b) {
    return a.v6 == b.v6 && a.prefix == b.prefix && memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
  };
  std::sort(exclude_.begin(), exclude_.end(), less);
  exclude_.erase(std::unique(exclude_.begin(), exclude_.end(), same), exclude_.end());
}

void HPageRule::MakeSignature() {
  // The rule in one text that only what it counts shapes.
  std::string text = "assets=";
  if (assets_.empty()) text += "(images)";
  for (const std::string& extension : assets_) text += extension + ",";
  text += ";statuses=";
  if (!has_statuses_) text += "(all)";
  // From one code that counts to the next (codes below 100 never count).
  for (size_t code = statuses_._Find_first(); code < statuses_.size(); code = statuses_._Find_next(code)) {
    size_t last = code;
    while (last + 1 < statuses_.size() && statuses_.test(last + 1)) ++last;
    char range[16];
    snprintf(range, sizeof range, last == code ? "%d," : "%d-%d,", static_cast<int>(code), static_cast<int>(last));
    text += range;
    code = last;
  }
  text += ";exclude=";
  for (const HNetwork& net : exclude_) {
    char address[INET6_ADDRSTRLEN];
    inet_ntop(net.v6 ? AF_INET6 : AF_INET, net.bytes, address, sizeof address);
    text += address;
    text += "/" + std::to_string(net.prefix) + ",";
  }
  text += ";script=" + script_;
  // Rules of everybody keep the signatures they had before audiences.
  if (audience_ != HAudience::kEveryone) text += std::string(";audience=") + AudienceWord(audience_);
  char hex[17];
  snprintf(hex, sizeof hex, "%016" PRIx64, HashText(text));
  signature_ = hex;
}

const HPageRule& DefaultPageRule() {
  static const HPageRule rule;
  return rule;
}

bool HPageRule::IsPage(const char* line, int format, const char* path, int length) const {
  return LineCounts(line, format) && PathCounts(path, length);
}

HAudience AudienceOfWord(const char* word) {
  if (word == nullptr) return HAudience::kEveryone;
  if (CompareNoCase(word, "humans") == 0) return HAudience::kHumans;
  if (CompareNoCase(word, "robots") == 0) return HAudience::kRobots;
  return HAudience::kEveryone;
}

const char* AudienceWord(HAudience audience) {
  switch (audience) {
    case HAudience::kHumans:
      return "humans";
    case HAudience::kRobots:
      return "robots";
    case HAudience::kEveryone:
      break;
  }
  return "";
}

void HPageRule::SetAudience(HAudience audience) {
  audience_ = audience;
  MakeSignature();
}

bool HPageRule::InAudience(const char* line, int format) const {
  if (audience_ == HAudience::kEveryone) return true;
  char agent[kLogLineSize];
  if (ExtractUserAgent(line, format, agent, sizeof agent) < 0) agent[0] = 0;
  const bool robot = HRobotList::Shared().Match(agent) != nullptr;
  return robot == (audience_ == HAudience::kRobots);
}

bool HPageRule::LineCounts(const char* line, int format) const {
  if (audience_ != HAudience::kEveryone && !InAudience(line, format)) return false;
  if (has_statuses_ && !StatusCounts(ExtractStatus(line, format))) return false;
  if (exclude_.empty()) return true;
  char client[kLongestAddress + 1];
  return !ReadClientAddress(line, format, client, sizeof client) || !IsExcluded(client);
}

bool HPageRule::InAudience(HLineFacts& facts) const {
  if (audience_ == HAudience::kEveryone) return true;
  return (facts.Robot() != nullptr) == (audience_ == HAudience::kRobots);
}

bool HPageRule::LineCounts(HLineFacts& facts) const {
  if (audience_ != HAudience::kEveryone && !facts.InAudience(*this)) return false;
  if (has_statuses_ && !StatusCounts(facts.Status())) return false;
  if (exclude_.empty()) return true;
  const char* client = facts.Client(kLongestAddress + 1);
  return client == nullptr || !IsExcluded(client);
}

bool HPageRule::PathCounts(const char* path, int length) const {
  return path != nullptr && !IsAsset(path, length) && !IsScriptPath(path, length);
}

bool HPageRule::IsAsset(const char* path, int length) const {
  if (path == nullptr || length <= 0) return false;
  const char* query = static_cast<const char*>(memchr(path, '?', static_cast<size_t>(length)));
  if (query != nullptr) length = static_cast<int>(query - path);
  if (assets_.empty()) return IsImagePath(path, length);
  // The extension of the last segment: after its last dot.
  const char* end = path + length;
  const char* p = end;
  while (p > path && p[-1] != '.' && p[-1] != '/') --p;
  if (p == path || p[-1] != '.') return false;
  const auto size = static_cast<size_t>(end - p);
  if (size == 0 || size > kLongestExtension) return false;
  // Compared as two words: no string made for each path.
  return std::binary_search(asset_keys_.begin(), asset_keys_.end(), ExtensionKey(p, size));
}

bool HPageRule::StatusCounts(int status) const {
  if (!has_statuses_) return true;
  return status >= 100 && status <= 999 && statuses_.test(static_cast<size_t>(status));
}

bool HPageRule::IsExcluded(const char* client) const {
  if (exclude_.empty() || client == nullptr) return false;
  const size_t length = strlen(client);
  if (length == 0 || length > kLongestAddress) return false;
  char text[kLongestAddress + 1];
  memcpy(text, client, length + 1);
  char* start = text;
  if (*start == '[') {
    // "[address]" or "[address]:port".
    char* close = strchr(start, ']');
    if (close == nullptr) return false;
    *close = 0;
    ++start;
  } else if (char* colon = strchr(start, ':'); colon != nullptr && strchr(colon + 1, ':') == nullptr) {
    *colon = 0;  // one colon: an IPv4 address and its port
  }
  if (char* zone = strchr(start, '%')) *zone = 0;
  bool v6 = false;
  unsigned char bytes[16];
  if (!ReadAddress(start, v6, bytes)) return false;
  for (const HNetwork& net : exclude_) {
    if (net.v6 == v6 && SamePrefix(bytes, net.bytes, net.prefix)) return true;
  }
  return false;
}

bool HPageRule::IsScriptPath(const char* path, int length) const {
  if (script_.empty() || path == nullptr) return false;
  const auto size = script_.size();
  if (static_cast<size_t>(length) < size || memcmp(path, script_.data(), size) != 0) return false;
  return static_cast<size_t>(length) == size || path[size] == '?' || path[size] == '/';
}
