// The bytes sent each day: HBytesHit sums the bytes field of every response
// of a day file, in 64 bits, and keeps the days and months as every hit
// counter does (stats/hit.h). HReadableBytes is a view that answers the
// same figures in a unit a reader takes in at a glance ("1.2 GB").
#ifndef STATS_BYTES_H_
#define STATS_BYTES_H_

#include "objects/object.h"
#include "stats/hit.h"

// Writes `bytes` into out (size bytes) in the largest decimal unit it
// reaches, B, kB, MB, GB, TB, PB or EB, with one decimal from kB on
// ("999 B", "1.2 GB"), rounded half up. Negative values are written as 0 B.
void FormatByteSize(long long bytes, char* out, int size);

// A read-only view of another object's figures: each property is the
// source's property of that name written by FormatByteSize, null where the
// source has none. The source owns the view or outlives it.
class HReadableBytes : public IObject {
 public:
  explicit HReadableBytes(IObject* source);

  const char* GetProperty(const char* name) override;

 private:
  IObject* source_;
};

// Type "Bytes": the bytes sent per day, over every line in one of the log
// layouts whatever its path, status or client; "-" and a layout without
// the field count 0. Days, months and graphs as "Hit", exact up to the
// largest long long (a month's sum stays there); the graphs draw megabytes.
// Children "Readable" and "TotalReadable" answer the days and the months
// in a readable unit.
class HBytesHit : public HHit {
 public:
  HBytesHit(const char* name, IStatsSettings* log);

  // Counts the lines of the statistic's audience and sums their bytes.
  std::unique_ptr<IDayCounter> DayCounter() override;
  // The bytes the counter summed.
  long long DayFigure(IDayCounter& counter) override;
  const char* FigureAnswer(long long figure) const override;
  long long LargestSum() const override;
  int GraphValue(long long figure) const override;
  // Readable, with the exact figure: "42.6 MB, 42612345".
  std::string ChartText(long long figure) const override;
  IObject* FindChild(const char* name) override;

 private:
  HReadableBytes readable_;
  HReadableBytes total_readable_;
};

#endif  // STATS_BYTES_H_
