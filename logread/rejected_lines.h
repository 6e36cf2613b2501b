// The lines a split could not take, by the day they arrived and the reason
// (logs/rejected below the site): how many, and the first few of each as
// they came (control bytes shown as "?", cut at kRejectedSampleBytes), for
// the administrator's page of lines that could not be read. The last
// kRejectedDays days of arrival are kept.
#ifndef LOGREAD_REJECTED_LINES_H_
#define LOGREAD_REJECTED_LINES_H_

#include <cstddef>
#include <map>
#include <string>
#include <vector>

// Why a line was rejected; the words are those of the file.
enum RejectReason { kRejectUndated, kRejectAhead, kRejectLong, kRejectReasons };
const char* RejectReasonWord(RejectReason reason);

constexpr int kRejectedSamples = 3;
constexpr size_t kRejectedSampleBytes = 300;
constexpr int kRejectedDays = 60;

// The rejections of one arrival day and reason.
struct HRejected {
  long long count = 0;
  std::vector<std::string> samples;
};

// Every kept day (yyyymmdd) and reason, newest day first.
using HRejectedDays = std::map<int, std::map<std::string, HRejected>, std::greater<int>>;

// What logs/rejected below `home` holds (nothing when it is missing).
HRejectedDays ReadRejected(const char* home);

// Rejections of one split, to be added to the file.
class HRejectedNote {
 public:
  // Counts a rejected line of `length` bytes (a sample is kept of the
  // first few).
  void Add(RejectReason reason, const char* line, size_t length);
  // Counts lines rejected unseen (those too long to be kept).
  void AddUnseen(RejectReason reason, long long n) { counts_[reason] += n; }
  bool Empty() const;
  // Adds them to the file under the arrival day `day`; false when the file
  // cannot be written.
  bool Save(const char* home, int day) const;

 private:
  long long counts_[kRejectReasons] = {};
  std::vector<std::string> samples_[kRejectReasons];
};

#endif  // LOGREAD_REJECTED_LINES_H_
