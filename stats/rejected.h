// Type "Rejected", the child "rejected" of the analysis: the lines the
// split could not take (logread/rejected_lines.h), read from logs/rejected
// when a page first asks, never stored. A walk lists one row per day of
// arrival and reason, the newest day first, each described by the child
// "Current": "Day" (yyyymmdd), "Reason" ("undated", "ahead" or "long"),
// "Count" and "Sample1" to "Sample3" (empty when there are fewer). "Count"
// of the object itself is the number of rows.
#ifndef STATS_REJECTED_H_
#define STATS_REJECTED_H_

#include <string>
#include <vector>

#include "objects/container.h"

class HRejectedLines : public IContainer {
 public:
  // `home` is the program directory (ending in "/").
  HRejectedLines(const char* name, const char* home);

  const char* GetProperty(const char* name) override;
  bool First() override;
  // Fills "Current" with the next row and returns its day; null at the end.
  const char* NextName() override;
  IObject* FindChild(const char* name) override;
  bool IsModified() override { return false; }

 private:
  struct Row {
    int day;
    std::string reason;
    long long count;
    std::vector<std::string> samples;
  };
  void Read();

  std::string home_;
  bool read_ = false;
  std::vector<Row> rows_;
  size_t next_ = 0;
  IObject current_;
};

#endif  // STATS_REJECTED_H_
