#include "stats/kept_sums.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <unistd.h>

#include "core/file.h"
#include "core/write_guard.h"

bool HKeptSums::MakeFolder() const { return IsDirectory(folder_.c_str()) || MakeDirectory(folder_.c_str()); }

std::vector<HKeptSums::Kept> HKeptSums::List(char kind) const {
  std::vector<Kept> files;
  DIR* dir = opendir(folder_.c_str());
  if (dir == nullptr) return files;
  static const char kTemp[] = ".Tmp";
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != kind) continue;
    const size_t length = strlen(entry->d_name);
    if (length >= sizeof kTemp && strcmp(entry->d_name + length - (sizeof kTemp - 1), kTemp) == 0) continue;
    struct stat info;
    if (stat(Path(entry->d_name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      files.push_back({info.st_mtim, entry->d_name});
    }
  }
  closedir(dir);
  // Last use first; two files of the same time go in a fixed order.
  std::sort(files.begin(), files.end(), [](const Kept& a, const Kept& b) {
    if (a.used.tv_sec != b.used.tv_sec) return a.used.tv_sec > b.used.tv_sec;
    if (a.used.tv_nsec != b.used.tv_nsec) return a.used.tv_nsec > b.used.tv_nsec;
    return a.name < b.name;
  });
  return files;
}

void HKeptSums::Touch(const std::string& name) const {
  // The order of use is the order of the files' times: the file used now
  // becomes one nanosecond newer than the newest, whatever the clock says
  // (a pinned or a coarse clock would give many uses the same time).
  const std::vector<Kept> files = List(name[0]);
  if (files.empty() || files.front().name == name) return;
  struct timespec used = files.front().used;
  if (++used.tv_nsec == 1000000000) {
    used.tv_nsec = 0;
    ++used.tv_sec;
  }
  const struct timespec times[2] = {used, used};
  // A folder the request may not write keeps its times: the sum still
  // serves, and is only removed sooner. Only the order the sums go in
  // depends on the times, so a request that only reads sets them too.
  utimensat(AT_FDCWD, Path(name).c_str(), times, 0);
}

void HKeptSums::Prune(char kind, int most) const {
  const std::vector<Kept> files = List(kind);
  for (size_t i = static_cast<size_t>(most); i < files.size(); ++i) {
    WillWrite();
    unlink(Path(files[i].name).c_str());
  }
}
