// The rankings of browsers and of operating systems: HAgentsHit counts the
// page requests of each browser and major version ("Chrome 131"),
// HSystemsHit those of each system and major version ("Windows 10"), both
// read from the line's user agent by the shared HAgentCache
// (logread/ua_parser.h). The rules are read and compiled only when a day is
// counted, never when stored days are read back. A line of a layout without
// a user agent (the common log) is not counted; an empty agent or "-"
// counts as "Other". HAgentsContainer and HSystemsContainer own one day
// object each per day, as every HItemsContainer does.
#ifndef STATS_AGENTS_H_
#define STATS_AGENTS_H_

#include <string>

#include "logread/log_line.h"
#include "stats/item_container.h"
#include "stats/items.h"

struct HAgent;

struct HAgent;

// What the two kinds share: the agent of the line being counted.
class HUserAgentHit : public HItemsHit {
 public:
  // Keeps the line's user agent for ItemKey.
  void ReadWholeLine(const char* line, int format) override;
  void ReadWholeFacts(HLineFacts& facts) override;
  // ItemKey, with the agent parsed once for both kinds.
  const char* FactsKey(HLineFacts& facts, const char* filter) override;
  // The key of the line's agent (Key); with a filter, only for lines whose
  // other key (the system of a browser, the browser of a system) equals it,
  // ignoring case. Null for a line without an agent field and for a key
  // the stored format cannot hold.
  const char* ItemKey(char* line, int format, const char* path, const char* filter) override;
  // False when the rule list cannot be read.
  bool CanCount() override;
  // The rule list's file: a new uap-core counts the days again.
  std::string KindStamp() override;

 protected:
  HUserAgentHit(const char* name, HItemsContainer* container, bool systems);

 private:
  // The key of the parsed agent, with ItemKey's filter.
  const char* KeyOf(const HAgent& agent, const char* filter);

  bool systems_;
  int agent_length_ = -1;  // what ExtractUserAgent gave for the line
  char agent_[kLogLineSize];
  const char* agent_text_ = agent_;  // agent_, or the facts' agent
  std::string key_;
};

// Type "Agents": the browser and its major version.
class HAgentsHit : public HUserAgentHit {
 public:
  HAgentsHit(const char* name, HItemsContainer* container) : HUserAgentHit(name, container, false) {}
};

// Type "Systems": the operating system and its major version.
class HSystemsHit : public HUserAgentHit {
 public:
  HSystemsHit(const char* name, HItemsContainer* container) : HUserAgentHit(name, container, true) {}
};

// Type "AgentsContainer": days of type "Agents"; "Squeeze day system"
// ranks the browsers of one system.
class HAgentsContainer : public HItemsContainer {
 public:
  HAgentsContainer(const char* name, IStatsSettings* log);
};

// Type "SystemsContainer": days of type "Systems"; "Squeeze day browser"
// ranks the systems of one browser.
class HSystemsContainer : public HItemsContainer {
 public:
  HSystemsContainer(const char* name, IStatsSettings* log);
};

#endif  // STATS_AGENTS_H_
