// HLoginFailures: the wrong administrator passwords sent from each client
// address, kept in a small file of the site's data (data/AdminFailures,
// readable by its owner only), so that guessing from one address slows
// down while the right password still works from every other one. After
// kFreeFailures failures an address must wait before it may try again
// (LoginDelay), and its tries are refused unseen until then; what an
// address did is forgotten a day after its last failure, and at a login
// that succeeds.
//
// A request reads the file before it takes the site's lock, to skip the
// slow password check of a refused try, and changes it only under the
// lock, which makes its reading, counting and writing one step.
#ifndef SYSTEM_LOGIN_FAILURES_H_
#define SYSTEM_LOGIN_FAILURES_H_

#include <map>
#include <string>

// Failures an address may make before it must wait.
constexpr int kFreeFailures = 5;
// A record older than this (seconds since its last failure) is forgotten.
constexpr long long kFailureMemory = 24 * 60 * 60;
// The most addresses kept; the oldest records give way.
constexpr size_t kMostAddresses = 1000;

// The wait in seconds after `failures` wrong passwords in a row: none up to
// kFreeFailures - 1, then 10 seconds, doubling with each further failure,
// at most an hour.
long LoginDelay(int failures);

// The client's address as the file keeps it: REMOTE_ADDR when it looks
// like an IPv4 or IPv6 address, else "unknown".
std::string ClientAddress(const char* remote_addr);

class HLoginFailures {
 public:
  // The file's text: one line per address, "address failures last" (last
  // in seconds since the epoch). Lines that do not read so are left out.
  void Parse(const std::string& text);
  std::string Text() const;
  // Reads the file at `path`; a missing or unreadable one is empty.
  void Load(const char* path);
  // Writes it whole; false (errno set) when it cannot be written.
  bool Save(const char* path) const;

  // The seconds `address` must still wait at `now`, 0 when it may try.
  long WaitFor(const std::string& address, long long now) const;
  // Counts a failure at `now` and returns the wait it brings (0 for none).
  long AddFailure(const std::string& address, long long now);
  // Forgets the address; true when there was something to forget.
  bool Forget(const std::string& address);

 private:
  struct Record {
    int failures = 0;
    long long last = 0;
  };
  void DropOld(long long now);

  std::map<std::string, Record> records_;
};

#endif  // SYSTEM_LOGIN_FAILURES_H_
