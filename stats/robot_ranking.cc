#include "stats/robot_ranking.h"

#include "stats/day_files.h"

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

void HRobotsHit::ReadWholeLine(const char* line, int format) {
  taken_ = false;
  if (ExtractUserAgent(line, format, agent_, sizeof agent_) <= 0) return;
  TakeRobot(HRobotList::Shared().Match(agent_));
}

void HRobotsHit::ReadWholeFacts(HLineFacts& facts) {
  taken_ = false;
  const char* agent = nullptr;
  if (facts.Agent(&agent) <= 0) return;
  TakeRobot(facts.Robot());
}

void HRobotsHit::TakeRobot(const HRobot* robot) {
  if (robot == nullptr) return;
  // Most lines of a robot come in runs: its item is made once a run.
  if (robot != item_robot_) {
    item_ = ItemOf(robot->name.c_str(), robot->kind.c_str());
    item_robot_ = robot;
  }
  taken_ = true;
}

bool HRobotsHit::CanCount() { return HRobotList::Shared().Count() > 0; }

const char* HRobotsHit::ItemKey(char*, int, const char* path, const char* filter) {
  if (!taken_) return nullptr;
  taken_ = false;
  if (filter == nullptr) return IsStorableItem(item_.c_str()) ? item_.c_str() : nullptr;
  return item_ == filter ? path : nullptr;
}

bool HRobotsHit::Load(HObjectStream& stream) {
  ReadItems(stream, true);
  return true;
}

HRobotsContainer::HRobotsContainer(const char* name, IStatsSettings* log)
    : HItemsContainer(name, log, "RobotsContainer", "Robots", MakeRobots) {}

std::string HRobotsHit::KindStamp() { return FileStamp(HRobotList::SharedPath()); }
