#include "stats/visitors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "core/answers.h"
#include "core/file.h"
#include "core/file_write.h"
#include "core/write_guard.h"
#include "logread/log_line.h"
#include "logread/page_rule.h"
#include "logread/short_address.h"
#include "stats/count_budget.h"
#include "stats/day_container.h"
#include "stats/day_files.h"
#include "stats/stats_settings.h"

namespace {

// The kept visitors of a day: this header, the stamp of the day file they
// were counted from, then the hashes, 8 bytes each, least significant byte
// first, ascending.
const char kMagic[8] = {'V', 'Z', 'V', 'I', 'S', '0', '1', '\n'};
constexpr size_t kStampSize = 16;
constexpr size_t kHeaderSize = sizeof kMagic + kStampSize;

// The hash of a pair is kept on disk, so its key is fixed: it only has to
// tell pairs apart, and 64 bits leave a collision among a million visitors
// of a month at about one chance in 36 million.
const unsigned char kPairKey[crypto_shorthash_KEYBYTES] = {'v', 'a', 'z', 'i', 'v', 'e', 'v', ' ',
                                                           'v', 'i', 's', 'i', 't', 'o', 'r', 's'};

uint64_t PairHash(const std::string& pair) {
  unsigned char out[crypto_shorthash_BYTES];
  crypto_shorthash(out, reinterpret_cast<const unsigned char*>(pair.data()), pair.size(), kPairKey);
  uint64_t hash = 0;
  for (int i = 7; i >= 0; --i) hash = hash << 8 | out[i];
  return hash;
}

// The hashes of the pairs seen last: a visitor sends many requests, and
// each would hash the same pair again. The places are chosen by a quick
// unkeyed mix of the pair and each holds its pair's text, so pairs that
// share a place only cost a hash again, never a wrong one.
class HPairHashes {
 public:
  // The hash of the pair; *seen tells whether this pair had the place last.
  uint64_t Of(const char* client, size_t client_length, const char* agent, size_t agent_length, bool* seen) {
    if (slots_.empty()) slots_.resize(kSlots);
    HSlot& slot = slots_[Mix(agent, agent_length, Mix(client, client_length, client_length + agent_length)) &
                         (kSlots - 1)];
    // The pair's text: the client, a zero byte, the agent.
    const std::string& pair = slot.pair;
    *seen = pair.size() == client_length + 1 + agent_length && memcmp(pair.data(), client, client_length + 1) == 0 &&
            memcmp(pair.data() + client_length + 1, agent, agent_length) == 0;
    if (!*seen) {
      slot.pair.assign(client, client_length + 1);
      slot.pair.append(agent, agent_length);
      slot.hash = PairHash(slot.pair);
    }
    return slot.hash;
  }

 private:
  static constexpr size_t kSlots = 1024;
  struct HSlot {
    std::string pair;  // never empty once used: a pair holds its zero byte
    uint64_t hash = 0;
  };

  static uint64_t Mix(const char* text, size_t size, uint64_t h) {
    size_t at = 0;
    for (; at + 8 <= size; at += 8) {
      uint64_t word;
      memcpy(&word, text + at, sizeof word);
      h = (h ^ word) * 0x9e3779b97f4a7c15ULL;
      h ^= h >> 29;
    }
    for (; at < size; ++at) h = (h ^ static_cast<unsigned char>(text[at])) * 0x100000001b3ULL;
    return h ^ h >> 32;
  }

  std::vector<HSlot> slots_;
};

}  // namespace

HVisitors::HVisitors(const char* name, IStatsSettings* log) : HHit(name, log) { type_name_ = "Visitors"; }

namespace {

// The hashes of the pairs of the lines of the audience, sorted and without
// repeats once Settle has run.
class HVisitorsCounter : public IDayCounter {
 public:
  HVisitorsCounter(const HPageRule& rule, bool shorten) : IDayCounter(kLogLineSize), rule_(rule), shorten_(shorten) {}
  bool Offer(char* line) override {
    const int format = DetectLogFormat(line);
    if (format < 0 || !ReadClientAddress(line, format, client_, sizeof client_)) return false;
    if (!rule_.InAudience(line, format)) return false;
    if (shorten_ && ShortenAddress(client_, network_, sizeof network_)) {
      memcpy(client_, network_, strlen(network_) + 1);
    }
    if (ExtractUserAgent(line, format, agent_, sizeof agent_) < 0) agent_[0] = 0;
    Take(client_, agent_, strlen(agent_));
    return true;
  }
  bool OfferFacts(HLineFacts& facts) override {
    if (facts.Format() < 0) return false;
    const char* client = facts.Client(sizeof client_);
    if (client == nullptr || !facts.InAudience(rule_)) return false;
    if (shorten_ && ShortenAddress(client, network_, sizeof network_)) client = network_;
    const char* agent = nullptr;
    facts.Agent(&agent);
    Take(client, agent, strlen(agent));  // up to a zero byte an escape may have made
    return true;
  }
  void SaveResult(std::string& out) const override {
    // Sorted and without repeats here, in the worker, so that the process
    // that stores the day only reads them.
    const std::vector<uint64_t>& settled = Settle();
    PutResultNumber(out, static_cast<long long>(settled.size()));
    for (uint64_t hash : settled) PutResultNumber(out, static_cast<long long>(hash));
  }
  bool LoadResult(const char*& p, const char* end) override {
    long long n = 0;
    if (!GetResultNumber(p, end, &n) || n < 0 || n > (end - p) / 8) return false;
    const bool was_empty = visitors_.empty();
    visitors_.reserve(visitors_.size() + static_cast<size_t>(n));
    for (long long i = 0; i < n; ++i) {
      long long hash = 0;
      GetResultNumber(p, end, &hash);
      visitors_.push_back(static_cast<uint64_t>(hash));
    }
    // Loaded into an empty counter, a settled list stays settled.
    settled_ = was_empty && std::is_sorted(visitors_.begin(), visitors_.end()) &&
               std::adjacent_find(visitors_.begin(), visitors_.end()) == visitors_.end();
    return true;
  }
  // The pair's hash joins the visitors unless it is there already: a pair
  // that had its place last came just before.
  void Take(const char* client, const char* agent, size_t agent_length) {
    bool seen = false;
    const uint64_t hash = hashes_.Of(client, strlen(client), agent, agent_length, &seen);
    if (!seen) visitors_.push_back(hash);
  }
  std::vector<uint64_t>& Settle() const {
    if (!settled_) {
      std::sort(visitors_.begin(), visitors_.end());
      visitors_.erase(std::unique(visitors_.begin(), visitors_.end()), visitors_.end());
      settled_ = true;
    }
    return visitors_;
  }

 private:
  const HPageRule& rule_;
  const bool shorten_;
  char client_[256];
  char agent_[1024];
  char network_[64];
  HPairHashes hashes_;
  // Settled when first asked for, also by SaveResult.
  mutable std::vector<uint64_t> visitors_;
  mutable bool settled_ = false;
};

}  // namespace

std::unique_ptr<IDayCounter> HVisitors::DayCounter() {
  const bool shorten = log_ != nullptr && log_->ShortensAddresses();
  return std::unique_ptr<IDayCounter>(new HVisitorsCounter(Rule(), shorten));
}

long long HVisitors::DayFigure(IDayCounter& counter) {
  return static_cast<long long>(static_cast<HVisitorsCounter&>(counter).Settle().size());
}

bool HVisitors::DayVisitors(const char* file, std::vector<uint64_t>* visitors) {
  visitors->clear();
  std::unique_ptr<IDayCounter> counter = DayCounter();
  auto* counting = static_cast<HVisitorsCounter*>(counter.get());
  HDayPass pass;
  pass.Add(std::move(counter), nullptr);
  if (!pass.Run(file)) return false;
  visitors->swap(counting->Settle());
  return true;
}

int HVisitors::CountHits(const char* file) {
  const long long figure = CountDay(file);
  return figure < 0 ? -1 : static_cast<int>(figure);
}

long long HVisitors::FinishDay(const HDate& date, IDayCounter& counter, const std::string& stamp) {
  const std::vector<uint64_t>& visitors = static_cast<HVisitorsCounter&>(counter).Settle();
  // Written at once: a count stored without its visitors would only be
  // counted again, visitors kept without their count are found by stamp.
  if (!WriteDay(date, stamp, visitors)) {
    fprintf(stderr, "vazivev: cannot keep the visitors of %d in %s: %s\n", date.Number(), DayPath(date).c_str(),
            strerror(errno));
  }
  return static_cast<long long>(visitors.size());
}

std::string HVisitors::DayPath(const HDate& date) const {
  char day[kDayNameSize];
  DayName(day, date);
  return log_ == nullptr ? std::string() : log_->DataPath((std::string(name_.CStr()) + ".days/" + day).c_str());
}

bool HVisitors::WriteDay(const HDate& date, const std::string& stamp, const std::vector<uint64_t>& visitors) const {
  const std::string path = DayPath(date);
  if (path.empty() || stamp.size() != kStampSize) return false;
  const std::string folder = path.substr(0, path.rfind('/'));
  WillWrite();
  if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
  std::string bytes(kMagic, sizeof kMagic);
  bytes += stamp;
  bytes.reserve(kHeaderSize + visitors.size() * 8);
  for (uint64_t hash : visitors) {
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<char>(hash >> (8 * i) & 0xff));
  }
  return WriteFileWhole(path.c_str(), bytes.data(), bytes.size());
}

bool HVisitors::ReadDay(const HDate& date, const std::string& stamp, std::vector<uint64_t>* visitors) const {
  visitors->clear();
  const int fd = open(DayPath(date).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // The hashes go from the file straight into the vector: a day holds tens
  // of thousands, and a period's page reads every day of it.
  struct stat info;
  char header[kHeaderSize];
  bool read =
      fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= static_cast<off_t>(kHeaderSize) &&
      (static_cast<size_t>(info.st_size) - kHeaderSize) % 8 == 0 && ReadFully(fd, header, kHeaderSize) &&
      memcmp(header, kMagic, sizeof kMagic) == 0 &&
      (stamp.empty() || (stamp.size() == kStampSize && memcmp(header + sizeof kMagic, stamp.data(), kStampSize) == 0));
  if (read) {
    visitors->resize((static_cast<size_t>(info.st_size) - kHeaderSize) / 8);
    read = ReadFully(fd, visitors->data(), visitors->size() * 8);
  }
  close(fd);
  if (!read) {
    visitors->clear();
    return false;
  }
#if __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
  for (uint64_t& hash : *visitors) hash = __builtin_bswap64(hash);
#endif
  return true;
}

long long HVisitors::OverDays(const HDate& first, const HDate& last, const HUncounted& left) {
  if (log_ == nullptr) return 0;
  // A whole month's union is kept as a property "Myyyymm" = "count stamp",
  // the stamp covering the stamps of its days: the months table then reads
  // no visitors' file until a day of the month changes.
  const bool month = first.day == 1 && last.year == first.year && last.month == first.month &&
                     last.day == last.DaysInMonth() && left.days.empty();
  std::string key;
  std::string stamp;
  if (month) {
    char name[16];
    snprintf(name, sizeof name, "M%04d%02d", first.year, first.month);
    key = name;
    AppendStampHash(log_->RangeStamp(first, last), stamp);
    const char* kept = properties_.GetValue(key.c_str());
    const char* blank = kept == nullptr ? nullptr : strchr(kept, ' ');
    if (blank != nullptr && stamp == blank + 1) return atoll(kept);
  }
  const size_t left_before = range_left_.days.size();
  const long long count = Union(first, last, left);
  if (month && range_left_.days.size() == left_before) {
    SetProperty(key.c_str(), (std::to_string(count) + " " + stamp).c_str());
    SetModified(true);
  }
  return count;
}

long long HVisitors::Union(const HDate& first, const HDate& last, const HUncounted& left) {
  std::vector<uint64_t> all;
  std::vector<uint64_t> day_visitors;
  std::vector<HDate> days = log_->DaysWithFilesIn(first, last);
  if (log_->MayCount(log_->Today())) days.push_back(log_->Today());
  // Days whose day files are gone keep their visitors as they were kept:
  // looked for by name over a few hundred days, else by the folder's list.
  const std::string kept = DayPath(first);
  const bool look_up = !kept.empty() && HDayFiles::IsShortPeriod(first, last);
  for (HDate day = first; look_up && day.Compare(last) <= 0;) {
    struct stat info;
    if (lstat(DayPath(day).c_str(), &info) == 0 && log_->DayStamp(day).empty()) days.push_back(day);
    if (!day.NextDay()) break;
  }
  if (DIR* dir = kept.empty() || look_up ? nullptr : opendir(kept.substr(0, kept.rfind('/')).c_str())) {
    while (const dirent* entry = readdir(dir)) {
      HDate day;
      // Only the period's: a stamp costs a stat and a hash, and years of
      // kept days lie outside a page's period.
      if (HDate::Parse(entry->d_name, &day) && day.Compare(first) >= 0 && day.Compare(last) <= 0 &&
          log_->DayStamp(day).empty()) {
        days.push_back(day);
      }
    }
    closedir(dir);
  }
  for (const HDate& day : days) {
    if (day.Compare(first) < 0 || day.Compare(last) > 0 || left.Holds(day.Number())) continue;
    const std::string stamp = log_->DayStamp(day);
    if (!ReadDay(day, stamp, &day_visitors)) {
      if (stamp.empty()) continue;  // no day file to count it from
      // Counted before its visitors were kept, or changed since: counted
      // again now if the budget allows.
      if (!MayCountAnotherDay()) {
        range_left_.Add(day);
        continue;
      }
      HString file;
      if (!log_->FindDayFile(file, day) || !DayVisitors(file.CStr(), &day_visitors)) continue;
      WriteDay(day, stamp, day_visitors);
    }
    all.insert(all.end(), day_visitors.begin(), day_visitors.end());
  }
  // Each day's visitors are kept ascending: a period of one day needs no
  // sort.
  if (!std::is_sorted(all.begin(), all.end())) std::sort(all.begin(), all.end());
  return static_cast<long long>(std::unique(all.begin(), all.end()) - all.begin());
}
