#include "stats/audience.h"

#include <cstring>

#include "core/text.h"
#include "logread/robots.h"
#include "stats/day_files.h"

namespace {

bool EndsWithWord(const char* name, size_t length, const char* suffix) {
  const size_t size = strlen(suffix);
  return length > size && CompareNoCase(name + length - size, suffix) == 0;
}

}  // namespace

HAudience AudienceOfName(const char* name) {
  if (name == nullptr) return HAudience::kEveryone;
  const size_t length = strlen(name);
  if (EndsWithWord(name, length, "-humans")) return HAudience::kHumans;
  if (EndsWithWord(name, length, "-robots")) return HAudience::kRobots;
  return HAudience::kEveryone;
}

std::string AudienceName(const char* kind, HAudience audience) {
  std::string name = kind == nullptr ? "" : kind;
  if (audience != HAudience::kEveryone) name.append("-").append(AudienceWord(audience));
  return name;
}

HAudienceSettings::HAudienceSettings(IStatsSettings& base, HAudience audience) : base_(base), audience_(audience) {}

std::string HAudienceSettings::DayStamp(const HDate& date) {
  std::string stamp = base_.DayStamp(date);
  if (stamp.empty()) return stamp;
  // As long as the base's: some statistics keep stamps of a fixed size.
  std::string mixed;
  AppendStampHash(stamp + " " + AudienceWord(audience_) + " " + ListStamp(), mixed);
  return mixed;
}

std::string HAudienceSettings::RangeStamp(const HDate& first, const HDate& last) {
  return base_.RangeStamp(first, last).append(" ").append(AudienceWord(audience_)).append(" ").append(ListStamp());
}

const std::string& HAudienceSettings::ListStamp() {
  if (!list_read_) {
    list_stamp_ = FileStamp(HRobotList::SharedPath());
    list_read_ = true;
  }
  return list_stamp_;
}

const HPageRule& HAudienceSettings::PageRule() {
  const HPageRule& base = base_.PageRule();
  if (!rule_ || rule_made_from_ != base.Signature()) {
    rule_.reset(new HPageRule(base));
    rule_->SetAudience(audience_);
    rule_made_from_ = base.Signature();
  }
  return *rule_;
}
