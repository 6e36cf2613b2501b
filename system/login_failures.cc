#include "system/login_failures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "core/file.h"
#include "core/file_write.h"

namespace {

constexpr long kFirstDelay = 10;
constexpr long kLongestDelay = 60 * 60;
constexpr size_t kLongestAddress = 64;

}  // namespace

long LoginDelay(int failures) {
  if (failures < kFreeFailures) return 0;
  long delay = kFirstDelay;
  for (int n = kFreeFailures; n < failures && delay < kLongestDelay; ++n) delay *= 2;
  return delay < kLongestDelay ? delay : kLongestDelay;
}

std::string ClientAddress(const char* remote_addr) {
  if (remote_addr == nullptr || *remote_addr == 0 || strlen(remote_addr) > kLongestAddress ||
      strspn(remote_addr, "0123456789abcdefABCDEF.:") != strlen(remote_addr)) {
    return "unknown";
  }
  return remote_addr;
}

void HLoginFailures::Parse(const std::string& text) {
  records_.clear();
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string address;
    Record record;
    if (fields >> address >> record.failures >> record.last && record.failures > 0) records_[address] = record;
  }
}

std::string HLoginFailures::Text() const {
  std::string text;
  for (const auto& entry : records_) {
    text += entry.first + " " + std::to_string(entry.second.failures) + " " + std::to_string(entry.second.last) + "\n";
  }
  return text;
}

void HLoginFailures::Load(const char* path) { Parse(ReadWholeFile(path)); }

bool HLoginFailures::Save(const char* path) const {
  const std::string text = Text();
  return WriteFileWhole(path, text.data(), text.size(), 0600);
}

long HLoginFailures::WaitFor(const std::string& address, long long now) const {
  const auto found = records_.find(address);
  if (found == records_.end() || now - found->second.last >= kFailureMemory) return 0;
  const long long until = found->second.last + LoginDelay(found->second.failures);
  // A clock set back must not make the wait longer than the delay itself.
  if (until <= now) return 0;
  const long long wait = until - now;
  return wait > LoginDelay(found->second.failures) ? LoginDelay(found->second.failures) : static_cast<long>(wait);
}

long HLoginFailures::AddFailure(const std::string& address, long long now) {
  DropOld(now);
  Record& record = records_[address];
  ++record.failures;
  record.last = now;
  if (records_.size() > kMostAddresses) {
    auto oldest = records_.begin();
    for (auto it = records_.begin(); it != records_.end(); ++it) {
      if (it->second.last < oldest->second.last) oldest = it;
    }
    if (oldest->first != address) records_.erase(oldest);
  }
  return LoginDelay(record.failures);
}

bool HLoginFailures::Forget(const std::string& address) { return records_.erase(address) > 0; }

void HLoginFailures::DropOld(long long now) {
  for (auto it = records_.begin(); it != records_.end();) {
    if (now - it->second.last >= kFailureMemory) {
      it = records_.erase(it);
    } else {
      ++it;
    }
  }
}
