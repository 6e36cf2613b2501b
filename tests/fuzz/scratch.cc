#include "tests/fuzz/scratch.h"

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

namespace {

std::string* made_folder = nullptr;

// Goes on past an entry it cannot remove.
int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}

void RemoveFolder() {
  if (made_folder != nullptr) nftw(made_folder->c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string TryMake(const std::string& base, const char* prefix) {
  std::string pattern = base + "/" + prefix + "-XXXXXX";
  const char* made = mkdtemp(&pattern[0]);
  return made != nullptr ? std::string(made) : std::string();
}

}  // namespace

const std::string& ScratchFolder(const char* prefix) {
  if (made_folder != nullptr) return *made_folder;
  const char* tmp = getenv("TMPDIR");
  std::string folder;
  if (tmp != nullptr && *tmp != '\0') folder = TryMake(tmp, prefix);
  if (folder.empty()) folder = TryMake("/dev/shm", prefix);
  if (folder.empty()) folder = TryMake("/tmp", prefix);
  if (folder.empty()) abort();
  made_folder = new std::string(folder);
  atexit(RemoveFolder);
  return *made_folder;
}
