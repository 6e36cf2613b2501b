#include "stats/day_container.h"

#include <cstdio>
#include <memory>


void DayName(char (&text)[kDayNameSize], const HDate& day) { snprintf(text, sizeof text, "%d", day.Number()); }

bool IsDayName(const char* name) {
  HDate day;
  return HDate::Parse(name, &day);
}

HDayContainer::HDayContainer(const char* name, const char* type_name, const char* child_type)
    : INContainer(name, 0), child_type_(child_type) {
  type_name_ = type_name;
}

IObject* HDayContainer::FindChild(const char* name) {
  IObject* found = INContainer::FindChild(name);
  if (found != nullptr || !IsDayName(name)) return found;
  std::unique_ptr<IObject, void (*)(IObject*)> day(MakeDay(name), ReleaseObject);
  if (!day || !AddChild(day.get())) return nullptr;
  return day.release();
}

IObject* HDayContainer::CreateObject(const char* name, const char* type_name) {
  HDate day;
  if (name != nullptr && day.SetNumber(ToInt(name))) {
    char text[kDayNameSize];
    DayName(text, day);
    return MakeDay(text);
  }
  if (type_name == nullptr || !IsWord(type_name, child_type_)) return INContainer::CreateObject(name, type_name);
  return MakeDay(name);
}
