#include "stats/rejected.h"

#include "core/answers.h"
#include "logread/rejected_lines.h"

HRejectedLines::HRejectedLines(const char* name, const char* home)
    : IContainer(name, 0), home_(home), current_("Current", 0) {
  type_name_ = "Rejected";
}

void HRejectedLines::Read() {
  if (read_) return;
  read_ = true;
  for (const auto& [day, reasons] : ReadRejected(home_.c_str())) {
    for (const auto& [reason, entry] : reasons) rows_.push_back({day, reason, entry.count, entry.samples});
  }
}

const char* HRejectedLines::GetProperty(const char* name) {
  if (CompareNoCase(name, "Count") != 0) return IContainer::GetProperty(name);
  Read();
  return NumberAnswer(static_cast<int>(rows_.size()));
}

bool HRejectedLines::First() {
  Read();
  next_ = 0;
  return !rows_.empty();
}

const char* HRejectedLines::NextName() {
  if (next_ >= rows_.size()) return nullptr;
  const Row& row = rows_[next_++];
  HParams& current = current_.Properties();
  current.SetValue("Day", NumberAnswer(row.day));
  current.SetValue("Reason", row.reason.c_str());
  current.SetValue("Count", DecimalAnswer(row.count));
  for (int i = 0; i < kRejectedSamples; ++i) {
    const std::string name = "Sample" + std::to_string(i + 1);
    current.SetValue(name.c_str(), i < static_cast<int>(row.samples.size()) ? row.samples[i].c_str() : "");
  }
  return NumberAnswer(row.day);
}

IObject* HRejectedLines::FindChild(const char* name) {
  if (CompareNoCase(name, "Current") == 0) return &current_;
  return IContainer::FindChild(name);
}
