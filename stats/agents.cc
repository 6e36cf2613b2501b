#include "stats/agents.h"

#include "stats/day_files.h"

#include "core/text.h"
#include "logread/ua_parser.h"

namespace {

HItemsHit* MakeAgents(const char* name, HItemsContainer* container) { return new HAgentsHit(name, container); }
HItemsHit* MakeSystems(const char* name, HItemsContainer* container) { return new HSystemsHit(name, container); }

}  // namespace

HUserAgentHit::HUserAgentHit(const char* name, HItemsContainer* container, bool systems)
    : HItemsHit(name, container), systems_(systems) {
  type_name_ = systems ? "Systems" : "Agents";
  agent_[0] = 0;
}

void HUserAgentHit::ReadWholeLine(const char* line, int format) {
  agent_length_ = ExtractUserAgent(line, format, agent_, sizeof agent_);
  agent_text_ = agent_;
}

void HUserAgentHit::ReadWholeFacts(HLineFacts& facts) { agent_length_ = facts.Agent(&agent_text_); }

bool HUserAgentHit::CanCount() { return SharedAgentCache().Ready(); }

const char* HUserAgentHit::ItemKey(char*, int, const char*, const char* filter) {
  if (agent_length_ < 0) return nullptr;
  return KeyOf(SharedAgentCache().Parse(agent_length_ == 0 ? "" : agent_text_), filter);
}

const char* HUserAgentHit::FactsKey(HLineFacts& facts, const char* filter) {
  if (agent_length_ < 0) return nullptr;
  return KeyOf(facts.ParsedAgent(), filter);
}

const char* HUserAgentHit::KeyOf(const HAgent& agent, const char* filter) {
  if (filter != nullptr && CompareNoCase((systems_ ? agent.Browser() : agent.System()).c_str(), filter) != 0) {
    return nullptr;
  }
  // The cache's own text lives until its next parse, past the line's count.
  const std::string& kept = systems_ ? agent.system_text : agent.browser_text;
  if (!kept.empty()) return IsStorableItem(kept.c_str()) ? kept.c_str() : nullptr;
  key_ = systems_ ? agent.System() : agent.Browser();
  return IsStorableItem(key_.c_str()) ? key_.c_str() : nullptr;
}

HAgentsContainer::HAgentsContainer(const char* name, IStatsSettings* log)
    : HItemsContainer(name, log, "AgentsContainer", "Agents", MakeAgents) {}

HSystemsContainer::HSystemsContainer(const char* name, IStatsSettings* log)
    : HItemsContainer(name, log, "SystemsContainer", "Systems", MakeSystems) {}

std::string HUserAgentHit::KindStamp() { return FileStamp(kAgentRegexesFile); }
