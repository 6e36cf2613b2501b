#include "stats/responses.h"

#include <cstdio>
#include <cstring>

#include "core/answers.h"
#include "stats/stats_settings.h"

const char kSiteLinkMark[] = "(site) ";
const char kNoReferrer[] = "(none)";

namespace {

constexpr int kNotFound = 404;
constexpr size_t kSiteLinkMarkLength = sizeof kSiteLinkMark - 1;

HItemsHit* MakeStatuses(const char* name, HItemsContainer* container) { return new HStatusesHit(name, container); }
HItemsHit* MakeNotFound(const char* name, HItemsContainer* container) { return new HNotFoundHit(name, container); }

}  // namespace

HStatusesHit::HStatusesHit(const char* name, HItemsContainer* container) : HItemsHit(name, container) {
  type_name_ = "Statuses";
}

const char* HStatusesHit::GetProperty(const char* name) {
  const bool status =
      name != nullptr && ((strlen(name) == 3 && strspn(name, "0123456789") == 3) || strcmp(name, "-") == 0);
  if (!status) return HItemsHit::GetProperty(name);
  ComputeDay(true);
  const HItemEntry* entry = Table().Find(name);
  return NumberAnswer(entry == nullptr ? 0 : entry->count);
}

const char* HStatusContainer::GetProperty(const char* name) {
  const bool status =
      name != nullptr && ((strlen(name) == 3 && strspn(name, "0123456789") == 3) || strcmp(name, "-") == 0);
  if (!status) return HItemsContainer::GetProperty(name);
  const HItemEntry* entry = Result().Table().Find(name);
  return NumberAnswer(entry == nullptr ? 0 : entry->count);
}

const char* HStatusesHit::ItemKey(char* line, int format, const char*, const char*) {
  return KeyOf(ExtractStatus(line, format));
}

const char* HStatusesHit::FactsKey(HLineFacts& facts, const char*) { return KeyOf(facts.Status()); }

const char* HStatusesHit::KeyOf(int status) {
  if (status < 0) return "-";
  if (status >= 100 && status <= 999) {  // every status a line gives: no printf a line
    key_[0] = static_cast<char>('0' + status / 100);
    key_[1] = static_cast<char>('0' + status / 10 % 10);
    key_[2] = static_cast<char>('0' + status % 10);
    key_[3] = 0;
    return key_;
  }
  snprintf(key_, sizeof key_, "%d", status);
  return key_;
}

HNotFoundHit::HNotFoundHit(const char* name, HItemsContainer* container) : HItemsHit(name, container) {
  type_name_ = "NotFound";
  names_hold_equals_ = true;
  referrer_[0] = 0;
}

const char* HNotFoundHit::ItemKey(char* line, int format, const char*, const char* filter) {
  if (ExtractStatus(line, format) != kNotFound) return nullptr;
  // Both are read before the path is cut out of the line.
  const int referrer = ExtractReferrer(line, format, referrer_, sizeof referrer_);
  int length = 0;
  const char* path = ExtractPagePath(line, format, length);
  return KeyOf(referrer_, referrer, path, length, filter);
}

const char* HNotFoundHit::FactsKey(HLineFacts& facts, const char* filter) {
  if (facts.Status() != kNotFound) return nullptr;
  const char* referrer = nullptr;
  const int referrer_length = facts.Referrer(&referrer);
  int length = 0;
  const char* path = facts.Path(&length);
  return KeyOf(referrer, referrer_length, path, length, filter);
}

const char* HNotFoundHit::KeyOf(const char* referrer, int length, const char* path, int path_length,
                                const char* filter) {
  char host[kLogLineSize];
  const bool from_site =
      length > 0 && log_ != nullptr && ReferrerHost(referrer, host, sizeof host) > 0 && log_->IsOwnHost(host);
  key_.assign(from_site ? kSiteLinkMark : "");
  key_.append(path == nullptr || path_length == 0 ? "-" : path);
  if (filter == nullptr) return key_.c_str();
  if (key_ != filter) return nullptr;
  return length > 0 ? referrer : kNoReferrer;
}

bool HNotFoundHit::RanksFirst(const HItemEntry& entry) const {
  return strncmp(entry.name.CStr(), kSiteLinkMark, kSiteLinkMarkLength) == 0;
}

bool HNotFoundHit::Load(HObjectStream& stream) {
  ReadItems(stream, true);
  return true;
}

HStatusContainer::HStatusContainer(const char* name, IStatsSettings* log)
    : HItemsContainer(name, log, "StatusContainer", "Statuses", MakeStatuses) {}

HNotFoundContainer::HNotFoundContainer(const char* name, IStatsSettings* log)
    : HItemsContainer(name, log, "NotFoundContainer", "NotFound", MakeNotFound) {}

std::string HNotFoundHit::KindStamp() { return OwnHostsText(); }
