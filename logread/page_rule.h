// HPageRule, which lines of a day file are page requests: the counters of
// page requests, of pages, domains and hours ask it about each line. It is
// built from four settings and keeps no pointer into them:
//   assets    file extensions that are not pages ("css js png", case ignored,
//             separated by blanks or commas); empty: .gif, .jpg and .jpeg
//   statuses  the response codes that count ("200 304") or classes of them
//             ("2xx"); empty: every line, also one without a status
//   exclude   client addresses and networks whose requests are left out
//             ("192.0.2.7 198.51.100.0/24 2001:db8::/32")
//   script    the program's own path (its SCRIPT_NAME): its requests and
//             those below it ("/a.cgi?x", "/a.cgi/x") never count
// and, for the statistics of one audience, whose requests count: people's
// or robots' (SetAudience).
// A word of a setting that means nothing (a status "2x", an address
// "host.example", a prefix "/33" on IPv4) is left out, as if not written.
#ifndef LOGREAD_PAGE_RULE_H_
#define LOGREAD_PAGE_RULE_H_

#include <bitset>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "logread/log_line.h"

class HLineFacts;

// Whose requests a statistic counts: everybody's, only people's (agents
// that no robot pattern matches, no agent at all included) or only
// robots'.
enum class HAudience { kEveryone, kHumans, kRobots };

// The audience a word names: "humans" or "robots", ignoring case; any other
// word, an empty or a null one is everybody.
HAudience AudienceOfWord(const char* word);
// "humans", "robots" or "" for everybody.
const char* AudienceWord(HAudience audience);

class HPageRule {
 public:
  // The rule of a site without settings: every line whose path is no
  // .gif, .jpg or .jpeg.
  HPageRule();
  // Null settings count as empty ones.
  HPageRule(const char* assets, const char* statuses, const char* exclude, const char* script);

  // Whether the line is a page request: LineCounts and PathCounts. `line`
  // must still be whole (see CountPageRequests); `path` is its page path of
  // `length` bytes, which may keep a query string.
  bool IsPage(const char* line, int format, const char* path, int length) const;
  // What the line says beside its path: its status is one that counts (a
  // line without a readable status fails once statuses are set), and its
  // client is no excluded address (a client that is no address never is).
  // Reads nothing when neither setting is set. With an audience, the line
  // must be one of its requests as well (InAudience).
  bool LineCounts(const char* line, int format) const;
  // Whether the line (still whole) is a request of the rule's audience:
  // always for everybody; else by its user agent against the installed
  // robot list (HRobotList::Shared), read when first needed.
  bool InAudience(const char* line, int format) const;
  // LineCounts and InAudience of the whole line whose facts are read
  // (logread/line_facts.h): the same answers, from facts found once for
  // every rule that asks.
  bool LineCounts(HLineFacts& facts) const;
  bool InAudience(HLineFacts& facts) const;
  // Counts the requests of `audience` only; the signature tells it.
  void SetAudience(HAudience audience);
  HAudience Audience() const { return audience_; }
  // What the path says: it is no asset and not the program's own.
  bool PathCounts(const char* path, int length) const;

  // Whether the path, without its query string, ends in an asset's
  // extension (with empty assets: IsImagePath).
  bool IsAsset(const char* path, int length) const;
  // Whether the status counts; every status, -1 too, when none are set.
  bool StatusCounts(int status) const;
  // Whether the client field text (an IPv4 or IPv6 address, also in
  // brackets, with a port or a zone) lies in an excluded network. An IPv4
  // address written as IPv6 ("::ffff:192.0.2.1") is taken as IPv4.
  bool IsExcluded(const char* client) const;
  // Whether the path is the program's own (equal to the script path, or it
  // followed by "?" or "/").
  bool IsScriptPath(const char* path, int length) const;

  // Sixteen hexadecimal digits that stay the same for rules that count the
  // same lines and change when a setting changes what is counted: the
  // order, the case, repeats and separators of the words do not matter,
  // nor host bits under a network's prefix, nor how a set of statuses is
  // written ("2xx" or the hundred codes).
  const std::string& Signature() const { return signature_; }

 private:
  struct HNetwork {
    bool v6 = false;
    unsigned char bytes[16] = {};
    int prefix = 0;
  };

  // An extension of at most kLongestExtension bytes, in lower case, as two
  // words.
  using HExtensionKey = std::pair<uint64_t, uint64_t>;
  static HExtensionKey ExtensionKey(const char* text, size_t size);

  void ParseAssets(const char* text);
  void ParseStatuses(const char* text);
  void ParseExclude(const char* text);
  void MakeSignature();

  std::vector<std::string> assets_;  // lower case, sorted, no repeats
  std::vector<HExtensionKey> asset_keys_;  // the same, sorted as keys
  std::bitset<1000> statuses_;       // by code, 100 to 999
  bool has_statuses_ = false;
  std::vector<HNetwork> exclude_;  // host bits cleared, sorted, no repeats
  std::string script_;
  HAudience audience_ = HAudience::kEveryone;
  std::string signature_;
};

// The rule of a site without settings (HPageRule()), for counters that
// have none to ask; made at the first call.
const HPageRule& DefaultPageRule();

// What CountPageRequests asks of one line: whether it is a page request
// that `accept` takes.
template <class Accept>
bool OfferPageRequest(char* line, const HPageRule& rule, Accept& accept) {
  const auto check = [&rule](const char* text, int format) { return rule.LineCounts(text, format); };
  const auto take = [&](char* text, int format, const char* path, int length) {
    return rule.PathCounts(path, length) && accept(text, format, path, length);
  };
  return OfferCheckedPath(line, check, take);
}

// CountCheckedPaths with the rule: how many page requests of the day file
// `accept(line, format, path, length)` takes (the line cut after its path,
// as CountPagePaths offers it), or -1 when the file cannot be opened.
template <class Accept>
int CountPageRequests(const char* file, int limit, const HPageRule& rule, Accept accept) {
  return CountLogLines(file, limit, [&](char* line) { return OfferPageRequest(line, rule, accept); });
}

#endif  // LOGREAD_PAGE_RULE_H_
