#include "stats/day_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "core/text.h"
#include "logread/log_line.h"

namespace {

// Days since 1 March of year 0 in the Gregorian calendar, for differences.
long DayCount(const HDate& date) {
  const long y = date.month <= 2 ? date.year - 1 : date.year;
  const long m = date.month <= 2 ? date.month + 9 : date.month - 3;
  return 365 * y + y / 4 - y / 100 + y / 400 + (153 * m + 2) / 5 + date.day - 1;
}

// The size and the time of the last change: a site copied or restored with
// its times (cp -a, rsync -a, tar) keeps its stamps and counts nothing again.
// Appends the decimal text of `value`, at least `width` digits wide with
// leading zeros, as printf's "%0*lld" writes it.
char* AppendDecimal(char* out, long long value, int width = 1) {
  unsigned long long rest =
      value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  if (value < 0) *out++ = '-';
  for (; n < width; --width) *out++ = '0';
  while (n > 0) *out++ = digits[--n];
  return out;
}

// "size:seconds.nanoseconds" (nine digits), hashed: every day's file is
// stamped, so no printf.
std::string StatStamp(const struct stat& info) {
  char text[96];
  char* end = AppendDecimal(text, static_cast<long long>(info.st_size));
  *end++ = ':';
  end = AppendDecimal(end, static_cast<long long>(info.st_mtim.tv_sec));
  *end++ = '.';
  end = AppendDecimal(end, static_cast<long long>(info.st_mtim.tv_nsec), 9);
  HStampHash hash;
  hash.Add(text, static_cast<size_t>(end - text));
  std::string stamp;
  hash.AppendTo(stamp);
  return stamp;
}

// The places of "yy", "mm" and "dd" in the last component of `pattern`, as
// DateFileName finds them; false when one is missing.
bool DatePlaces(const std::string& pattern, size_t (&at)[3]) {
  const size_t slash = pattern.find_last_of("/\\");
  const size_t file = slash == std::string::npos ? 0 : slash + 1;
  const char* names[3] = {"yy", "mm", "dd"};
  for (int i = 0; i < 3; ++i) {
    at[i] = pattern.find(names[i], file);
    if (at[i] == std::string::npos) return false;
  }
  return true;
}

}  // namespace

std::string FileStamp(const std::string& path) {
  struct stat info;
  // As the listing reads its files (fstatat): a clock-shifting library
  // that moves what stat answers (the tests pin their clocks so) must not
  // make one file's stamp differ from run to run.
  return fstatat(AT_FDCWD, path.c_str(), &info, 0) == 0 ? StatStamp(info) : std::string();
}

void HStampHash::Add(const char* text, size_t length) {
  uint64_t hash = hash_;
  for (size_t i = 0; i < length; ++i) {
    hash ^= static_cast<unsigned char>(text[i]);
    hash *= 1099511628211ull;
  }
  hash_ = hash;
}

void HStampHash::AppendTo(std::string& out) const {
  static const char kHex[] = "0123456789abcdef";
  char hex[16];
  uint64_t hash = hash_;
  for (int i = 15; i >= 0; --i, hash >>= 4) hex[i] = kHex[hash & 15];
  out.append(hex, sizeof hex);
}

void AppendStampHash(const std::string& text, std::string& out) {
  HStampHash hash;
  hash.Add(text);
  hash.AppendTo(out);
}

void HDayFiles::Reset(const std::string& pattern, const HDate& today) {
  pattern_ = pattern;
  path_ = pattern;
  has_places_ = !pattern_.empty() && DatePlaces(pattern_, places_);
  today_ = today;
  listed_ = false;
  days_.clear();
  stamps_.clear();
}

HDate HDayFiles::DayOfName(const std::string& pattern, const std::string& path, const HDate& today) {
  HDate none;
  size_t at[3];
  if (path.size() != pattern.size() || !DatePlaces(pattern, at)) return none;
  int value[3];
  for (int i = 0; i < 3; ++i) {
    const char a = path[at[i]];
    const char b = path[at[i] + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return none;
    value[i] = (a - '0') * 10 + (b - '0');
  }
  int year = 2000 + value[0];
  if (year > today.year) year -= 100;
  HDate day;
  if (!day.Set(year, value[1], value[2])) return none;
  // Every other byte as the pattern has it: what DateFileName would write.
  std::string expected = pattern;
  const int digits[3] = {day.year % 100, day.month, day.day};
  for (int i = 0; i < 3; ++i) {
    expected[at[i]] = static_cast<char>('0' + digits[i] / 10);
    expected[at[i] + 1] = static_cast<char>('0' + digits[i] % 10);
  }
  return expected == path ? day : none;
}

namespace {

// Whether the file name `name` (of the pattern's last component
// `file_pattern`, whose "yy", "mm" and "dd" are at `at`) names a day, as
// DayOfName reads it, without making a path of it: set in `day`.
bool FileNameDay(const std::string& file_pattern, const size_t (&at)[3], const char* name, const HDate& today,
                 HDate* day) {
  char expected[256];
  const size_t length = file_pattern.size();
  if (length >= sizeof expected) return false;
  int value[3];
  for (int i = 0; i < 3; ++i) {
    const char a = name[at[i]];
    const char b = name[at[i] + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return false;
    value[i] = (a - '0') * 10 + (b - '0');
  }
  int year = 2000 + value[0];
  if (year > today.year) year -= 100;
  if (!day->Set(year, value[1], value[2])) return false;
  memcpy(expected, file_pattern.data(), length);
  const int digits[3] = {day->year % 100, day->month, day->day};
  for (int i = 0; i < 3; ++i) {
    expected[at[i]] = static_cast<char>('0' + digits[i] / 10);
    expected[at[i] + 1] = static_cast<char>('0' + digits[i] % 10);
  }
  return memcmp(expected, name, length) == 0;
}

}  // namespace

void HDayFiles::List() {
  listed_ = true;
  size_t at[3];
  if (pattern_.empty() || !DatePlaces(pattern_, at)) return;
  const size_t slash = pattern_.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "." : pattern_.substr(0, slash + 1);
  const std::string prefix = slash == std::string::npos ? "" : folder;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  const int fd = dirfd(dir);
  const std::string file_pattern = pattern_.substr(prefix.size());
  size_t file_at[3];
  for (int i = 0; i < 3; ++i) file_at[i] = at[i] - prefix.size();
  const size_t name_length = file_pattern.size();
  while (const struct dirent* entry = readdir(dir)) {
    if (strlen(entry->d_name) != name_length) continue;
    HDate day;
    if (name_length < 256) {
      if (!FileNameDay(file_pattern, file_at, entry->d_name, today_, &day)) continue;
    } else {
      day = DayOfName(pattern_, prefix + entry->d_name, today_);
    }
    if (!day.IsValid() || day.Compare(today_) >= 0) continue;
    // A regular file as the folder lists it needs no stat now: its stamp
    // is read when a statistic first asks for it.
    struct stat info;
    if (entry->d_type != DT_REG && (fstatat(fd, entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode))) continue;
    days_.push_back(day);
  }
  closedir(dir);
  std::sort(days_.begin(), days_.end(), [](const HDate& a, const HDate& b) { return a.Compare(b) < 0; });
}

const std::vector<HDate>& HDayFiles::Days() {
  if (!listed_) List();
  return days_;
}

bool HDayFiles::IsShortPeriod(const HDate& first, const HDate& last) {
  return first.IsValid() && last.IsValid() && DayCount(last) - DayCount(first) < kLookedUpDays;
}

std::vector<HDate> HDayFiles::DaysIn(const HDate& first, const HDate& last) {
  std::vector<HDate> days;
  if (!listed_ && IsShortPeriod(first, last)) {
    for (HDate day = first; day.Compare(last) <= 0 && day.Compare(today_) < 0;) {
      if (!Stamp(day).empty()) days.push_back(day);
      if (!day.NextDay()) break;
    }
    return days;
  }
  for (const HDate& day : Days()) {
    if (day.Compare(first) >= 0 && day.Compare(last) <= 0) days.push_back(day);
  }
  return days;
}

void HDayFiles::AppendStampsIn(const HDate& first, const HDate& last, std::string& text) {
  if (!first.IsValid() || !last.IsValid() || !has_places_) return;
  const auto append = [&](const HDate& day) {
    struct stat info;
    if (fstatat(AT_FDCWD, DayPath(day), &info, 0) != 0 || !S_ISREG(info.st_mode)) return;
    // As they lie in memory: the text is only ever hashed.
    const int64_t numbers[4] = {day.Number(), static_cast<int64_t>(info.st_size),
                                static_cast<int64_t>(info.st_mtim.tv_sec), static_cast<int64_t>(info.st_mtim.tv_nsec)};
    text.append(reinterpret_cast<const char*>(numbers), sizeof numbers);
  };
  if (!listed_ && IsShortPeriod(first, last)) {
    for (HDate day = first; day.Compare(last) <= 0 && day.Compare(today_) < 0;) {
      append(day);
      if (!day.NextDay()) break;
    }
    return;
  }
  for (const HDate& day : Days()) {
    if (day.Compare(first) >= 0 && day.Compare(last) <= 0) append(day);
  }
}

const char* HDayFiles::DayPath(const HDate& date) {
  // As DateFileName makes it: two digits each of the year, month and day.
  const int value[3] = {date.year % 100, date.month, date.day};
  for (int i = 0; i < 3; ++i) {
    path_[places_[i]] = static_cast<char>('0' + value[i] / 10);
    path_[places_[i] + 1] = static_cast<char>('0' + value[i] % 10);
  }
  return path_.c_str();
}

std::string HDayFiles::Stamp(const HDate& date) {
  const auto known = stamps_.find(date.Number());
  if (known != stamps_.end()) return known->second;
  if (listed_ && date.Compare(today_) < 0 &&
      !std::binary_search(days_.begin(), days_.end(), date,
                          [](const HDate& a, const HDate& b) { return a.Compare(b) < 0; })) {
    return "";  // the listing found no file
  }
  struct stat info;
  std::string stamp;
  // As the listing reads it (fstatat), so that both give the same times.
  if (has_places_ && date.IsValid() && fstatat(AT_FDCWD, DayPath(date), &info, 0) == 0 && S_ISREG(info.st_mode)) {
    stamp = StatStamp(info);
    stamps_[date.Number()] = stamp;  // a missing file is looked for again
  }
  return stamp;
}
