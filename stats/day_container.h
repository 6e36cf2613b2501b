// HDayContainer, the numbered container of per-day statistics: its children
// are named with the eight digits yyyymmdd of their day and stored as files
// of that name. It makes a day whatever type it is asked for, and gives a
// page the day it names even before it was ever counted.
#ifndef STATS_DAY_CONTAINER_H_
#define STATS_DAY_CONTAINER_H_

#include <vector>

#include "core/date.h"
#include "objects/ncontainer.h"
#include "stats/stats_settings.h"

class HDayContainer : public INContainer {
 public:
  // A loaded or stored child; for a name that is exactly the eight digits
  // of a valid day and neither, a fresh day (MakeDay), which its first use
  // counts. A fresh day changes nothing stored until it is counted.
  IObject* FindChild(const char* name) override;
  // A name that reads (ToInt) as a valid day makes a day named with its
  // eight digits ("19990105xyz" gives "19990105"); otherwise the child
  // type makes a day of that name, and other types go to the factory. The
  // caller owns the result.
  IObject* CreateObject(const char* name, const char* type_name) override;

  // For a day counted by another process of the same update: writes the
  // loaded day's file (within a batch: under its temporary name) and
  // forgets the day. False when it could not be written.
  bool SaveDayAlone(const HDate& day);
  // Forgets a loaded day that has nothing to save: its file was written by
  // another process.
  void DropDay(const HDate& day);

 protected:
  // `type_name` and `child_type` are static texts.
  HDayContainer(const char* name, const char* type_name, const char* child_type);
  // A new day object of the container's kind, owned by the caller.
  virtual IObject* MakeDay(const char* name) = 0;
  // The days from `first` to `last` that have data, oldest first: those of
  // `with_files` (the days with a day file) and those stored in the
  // container's folder (a day whose file is gone keeps its figures). Work
  // in proportion to those days, however far apart `first` and `last` lie.
  std::vector<HDate> DaysWithData(const std::vector<HDate>& with_files, const HDate& first, const HDate& last) const;
  // The same for the days with a day file that `log` finds: a period of a
  // few hundred days looks for each day's files by name, so that it costs
  // the same however long the history is.
  std::vector<HDate> DaysWithData(IStatsSettings& log, const HDate& first, const HDate& last) const;

  const char* child_type_;
};

// Whether `name` is exactly the eight digits of a valid day.
bool IsDayName(const char* name);

// Room for a day's name, and the name (its yyyymmdd) written into it.
constexpr int kDayNameSize = kDecimalSize;
void DayName(char (&text)[kDayNameSize], const HDate& day);

#endif  // STATS_DAY_CONTAINER_H_
