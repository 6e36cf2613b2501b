// The ranking of robots: HRobotsHit counts one day's requests by the robot
// that sent them (logread/robots.h), every request with a path, assets
// included: robots fetch everything, and what they cost the site is all of
// it. An item reads "Name (kind)". Its cross-tabulation lists the paths one
// robot requested. HRobotsContainer owns the days, as any HItemsContainer.
#ifndef STATS_ROBOT_RANKING_H_
#define STATS_ROBOT_RANKING_H_

#include <string>

#include "logread/log_line.h"
#include "stats/item_container.h"
#include "stats/items.h"

// Type "Robots".
class HRobotsHit : public HItemsHit {
 public:
  HRobotsHit(const char* name, HItemsContainer* container);

  // Takes the line's robot, if its user agent is one.
  void ReadWholeLine(const char* line, int format) override;
  void ReadWholeFacts(HLineFacts& facts) override;
  // ItemKey, which reads only the path of the line.
  const char* FactsKey(HLineFacts& facts, const char* filter) override {
    return ItemKey(nullptr, facts.Format(), facts.Path(), filter);
  }
  // Only with a robot list (HRobotList::Shared, read here on first use): a
  // day counted without one would be stored as having no robots.
  bool CanCount() override;
  // The robot list's file: a new list classifies the days again.
  std::string KindStamp() override;
  // "Name (kind)" of the robot ReadWholeLine took, null when it took none;
  // with a filter, the path of lines whose robot's item equals it.
  const char* ItemKey(char* line, int format, const char* path, const char* filter) override;
  bool IgnoresPageRule() const override { return true; }
  // As HItemsHit, with paths that hold "=" rejoined.
  bool Load(HObjectStream& stream) override;

  // The ranking item of a robot: "Name (kind)".
  static std::string ItemOf(const char* name, const char* kind);

 private:
  // Takes the robot as the line's item; null takes none.
  void TakeRobot(const HRobot* robot);

  char agent_[kLogLineSize];
  std::string item_;
  const HRobot* item_robot_ = nullptr;  // the robot item_ names
  bool taken_ = false;
};

// Type "RobotsContainer": days of type "Robots".
class HRobotsContainer : public HItemsContainer {
 public:
  HRobotsContainer(const char* name, IStatsSettings* log);
};

#endif  // STATS_ROBOT_RANKING_H_
