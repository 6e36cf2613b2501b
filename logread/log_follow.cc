#include "logread/log_follow.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/file.h"
#include "core/file_write.h"

namespace {

const char* const kCompressedEndings[] = {"", ".gz", ".bz2", ".xz", ".zst"};

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Whether `path` holds the file of `place`: the same first bytes.
bool IsPlaceFile(const std::string& path, const HFollowPlace& place) {
  uint64_t hash = 0;
  long long got = 0;
  return ContentHead(path.c_str(), place.head_length, &hash, &got) && got == place.head_length &&
         hash == place.head_hash;
}

// A dateext suffix: "-" and 8 or 10 digits, then a compressed ending.
bool IsDateName(const std::string& name, const std::string& base) {
  if (name.size() <= base.size() + 1 || name.compare(0, base.size(), base) != 0 || name[base.size()] != '-') {
    return false;
  }
  size_t digits = 0;
  size_t at = base.size() + 1;
  while (at < name.size() && name[at] >= '0' && name[at] <= '9') ++at, ++digits;
  if (digits != 8 && digits != 10) return false;
  const std::string rest = name.substr(at);
  for (const char* ending : kCompressedEndings) {
    if (rest == ending) return true;
  }
  return false;
}

bool AddSource(const std::string& path, long long start, HFollowPlan* plan, std::string* problem) {
  auto source = std::make_unique<HFollowSource>();
  source->path = path;
  source->start = start;
  if (!source->bytes.Open(path.c_str()) || (start > 0 && !source->bytes.Skip(start))) {
    if (problem->empty()) *problem = "cannot read " + path + ": " + source->bytes.Error();
    return false;
  }
  source->reader = std::make_unique<HLineReader>(&source->bytes);
  plan->sources.push_back(std::move(source));
  return true;
}

}  // namespace

namespace {

const char kRegistry[] = "logs/imported";

std::string RegistryKey(const HFileFingerprint& print) {
  char text[48];
  snprintf(text, sizeof text, "%016" PRIx64 " %lld ", print.hash, print.length);
  return text;
}

}  // namespace

long long ImportedLines(const char* home, const HFileFingerprint& print) {
  const std::string key = RegistryKey(print);
  const std::string registry = ReadWholeFile((std::string(home) + kRegistry).c_str());
  for (size_t at = 0; at < registry.size();) {
    const size_t end = registry.find('\n', at);
    if (registry.compare(at, key.size(), key) == 0) return atoll(registry.c_str() + at + key.size());
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return -1;
}

bool RecordImported(const char* home, const HFileFingerprint& print, long long lines, const std::string& path) {
  const std::string file = std::string(home) + kRegistry;
  std::string registry = ReadWholeFile(file.c_str());
  registry += RegistryKey(print) + std::to_string(lines) + " " + path + "\n";
  return WriteFileWhole(file.c_str(), registry.data(), registry.size());
}

std::string FollowPlaceText(const HFollowPlace& place) {
  char text[80];
  snprintf(text, sizeof text, "%lld %lld %016" PRIx64, place.offset, place.head_length, place.head_hash);
  return text;
}

bool ParseFollowPlace(const char* text, HFollowPlace* place) {
  char hex[24];
  HFollowPlace read;
  if (sscanf(text, "%lld %lld %20s", &read.offset, &read.head_length, hex) != 3) return false;
  if (read.offset < 0 || read.head_length < 0 || read.head_length > kFollowHeadBytes) return false;
  read.head_hash = strtoull(hex, nullptr, 16);
  *place = read;
  return true;
}

bool ReadFollowPlace(const char* path, HFollowPlace* place) {
  HFile in;
  if (!in.Open(path, "r")) return false;
  char text[96] = {};
  return in.RawGets(text, sizeof text) != nullptr && ParseFollowPlace(text, place);
}

bool ContentHead(const char* path, long long length, uint64_t* hash, long long* got) {
  HByteSource source;
  if (!source.Open(path)) return false;
  HStreamHash head;
  char chunk[4096];
  long long taken = 0;
  while (taken < length) {
    const size_t want = static_cast<size_t>(std::min<long long>(length - taken, sizeof chunk));
    const ssize_t n = source.Read(chunk, want);
    if (n < 0) return false;
    if (n == 0) break;
    head.Add(chunk, static_cast<size_t>(n));
    taken += n;
  }
  *hash = head.Value();
  *got = taken;
  return true;
}

std::vector<std::string> RotatedLogs(const std::string& log) {
  std::vector<std::string> found;
  for (int n = 1;; ++n) {
    bool any = false;
    for (const char* ending : kCompressedEndings) {
      const std::string path = log + "." + std::to_string(n) + ending;
      if (Exists(path)) {
        found.push_back(path);
        any = true;
        break;
      }
    }
    if (!any) break;
  }
  const size_t slash = log.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : log.substr(0, slash);
  const std::string base = slash == std::string::npos ? log : log.substr(slash + 1);
  std::vector<std::string> dated;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (IsDateName(entry->d_name, base)) dated.push_back(folder + "/" + entry->d_name);
    }
    closedir(dir);
  }
  // The date sorts the names; newest first.
  std::sort(dated.begin(), dated.end(), [](const std::string& a, const std::string& b) { return a > b; });
  for (const std::string& path : dated) {
    if (Exists(path)) found.push_back(path);
  }
  return found;
}

bool IsFollowPlaceOf(const char* path, const HFollowPlace& place) { return IsPlaceFile(path, place); }

void PlanImport(const std::string& path, long long from, HFollowPlan* plan, std::string* problem) {
  AddSource(path, from, plan, problem);
}

void PlanFollow(const std::string& log, const HFollowPlace* place, HFollowPlan* plan, std::string* problem) {
  const bool log_exists = Exists(log);
  if (place == nullptr) {
    if (log_exists) AddSource(log, 0, plan, problem);
    return;
  }
  if (log_exists && IsPlaceFile(log, *place)) {
    AddSource(log, place->offset, plan, problem);
    return;
  }
  // Rotated since (or truncated in place, its copy rotated): the file read
  // last under its new name, then every newer one, then the log.
  const std::vector<std::string> rotated = RotatedLogs(log);
  size_t found = rotated.size();
  for (size_t i = 0; i < rotated.size() && found == rotated.size(); ++i) {
    if (IsPlaceFile(rotated[i], *place)) found = i;
  }
  if (found == rotated.size()) {
    plan->lost_place = true;
  } else {
    AddSource(rotated[found], place->offset, plan, problem);
    for (size_t i = found; i-- > 0;) AddSource(rotated[i], 0, plan, problem);
  }
  if (log_exists) AddSource(log, 0, plan, problem);
}
