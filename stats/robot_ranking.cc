#include "stats/robot_ranking.h"

#include "logread/robots.h"

namespace {

HItemsHit* MakeRobots(const char* name, HItemsContainer* container) { return new HRobotsHit(name, container); }

}  // namespace

HRobotsHit::HRobotsHit(const char* name, HItemsContainer* container) : HItemsHit(name, container) {
  type_name_ = "Robots";
  names_hold_equals_ = true;
  agent_[0] = 0;
}

std::string HRobotsHit::ItemOf(const char* name, const char* kind) {
  std::string item(name);
  item.append(" (").append(kind).append(")");
  return item;
}

bool HRobotsHit::ReadLine(const char* line, int format) {
  if (ExtractUserAgent(line, format, agent_, sizeof agent_) <= 0) return false;
  const HRobot* robot = HRobotList::Shared().Match(agent_);
  if (robot == nullptr) return false;
  item_ = ItemOf(robot->name.c_str(), robot->kind.c_str());
  return true;
}

const char* HRobotsHit::ItemKey(char*, int, const char* path, const char* filter) {
  if (filter == nullptr) return IsStorableItem(item_.c_str()) ? item_.c_str() : nullptr;
  return item_ == filter ? path : nullptr;
}

bool HRobotsHit::Load(HObjectStream& stream) {
  ReadItems(stream, true);
  return true;
}

HRobotsContainer::HRobotsContainer(const char* name, IStatsSettings* log)
    : HItemsContainer(name, log, "RobotsContainer", "Robots", MakeRobots) {}
