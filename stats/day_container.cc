#include "stats/day_container.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>

#include "stats/day_files.h"

void DayName(char (&text)[kDayNameSize], const HDate& day) { FormatDecimal(text, day.Number()); }

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

std::vector<HDate> HDayContainer::DaysWithData(const std::vector<HDate>& with_files, const HDate& first,
                                               const HDate& last) const {
  std::vector<HDate> days;
  const auto within = [&](const HDate& day) { return day.Compare(first) >= 0 && day.Compare(last) <= 0; };
  for (const HDate& day : with_files) {
    if (within(day)) days.push_back(day);
  }
  if (!directory_.IsEmpty()) {
    const HString folder = StoragePath("");
    if (DIR* dir = opendir(folder.CStr())) {
      while (const dirent* entry = readdir(dir)) {
        HDate day;
        if (HDate::Parse(entry->d_name, &day) && within(day)) days.push_back(day);
      }
      closedir(dir);
    }
  }
  std::sort(days.begin(), days.end(), [](const HDate& a, const HDate& b) { return a.Compare(b) < 0; });
  days.erase(std::unique(days.begin(), days.end(), [](const HDate& a, const HDate& b) { return a.Compare(b) == 0; }),
             days.end());
  return days;
}

std::vector<HDate> HDayContainer::DaysWithData(IStatsSettings& log, const HDate& first, const HDate& last) const {
  // Past a few hundred days both folders are listed instead.
  if (!HDayFiles::IsShortPeriod(first, last)) return DaysWithData(log.DaysWithFiles(), first, last);
  std::vector<HDate> days = log.DaysWithFilesIn(first, last);
  if (directory_.IsEmpty()) return days;
  std::vector<HDate> stored;
  struct stat info;
  for (HDate day = first; day.Compare(last) <= 0;) {
    char name[kDayNameSize];
    DayName(name, day);
    if (lstat(StoragePath(name).CStr(), &info) == 0) stored.push_back(day);
    if (!day.NextDay()) break;
  }
  std::vector<HDate> merged;
  const auto less = [](const HDate& a, const HDate& b) { return a.Compare(b) < 0; };
  std::set_union(days.begin(), days.end(), stored.begin(), stored.end(), std::back_inserter(merged), less);
  return merged;
}

bool HDayContainer::SaveDayAlone(const HDate& day) {
  char name[kDayNameSize];
  DayName(name, day);
  auto* node = FindChildNode(name);
  if (node == nullptr) return false;
  const bool saved = SaveChildAlone(ObjectOf(node));
  children_.Remove(node);
  return saved;
}

void HDayContainer::DropDay(const HDate& day) {
  char name[kDayNameSize];
  DayName(name, day);
  auto* node = FindChildNode(name);
  if (node != nullptr && !ObjectOf(node)->IsModified()) children_.Remove(node);
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
