#include "objects/commit.h"

#include <unistd.h>

#include <cstring>

#include <set>
#include <string>

#include "core/file_write.h"

namespace {

HCommitBatch* open_batch = nullptr;

}  // namespace

HCommitBatch::HCommitBatch() : owner_(open_batch == nullptr) {
  if (owner_) open_batch = this;
}

HCommitBatch::~HCommitBatch() {
  if (!owner_) return;
  if (!applied_) Discard();
  open_batch = nullptr;
}

HCommitBatch* HCommitBatch::Open() { return open_batch; }

void HCommitBatch::Add(const char* temp_path, const char* target_path) {
  renames_.PushBack(new Rename{HString(temp_path), HString(target_path)});
}

bool HCommitBatch::Apply() {
  if (!owner_) return true;
  applied_ = true;
  open_batch = nullptr;
  bool ok = true;
  std::set<std::string> folders;
  for (const Rename* rename : renames_) {
    if (ok && !RenameFile(rename->temp.CStr(), rename->target.CStr())) ok = false;
    if (!ok) {
      unlink(rename->temp.CStr());  // after a failed rename the rest is given up
      continue;
    }
    const std::string target = rename->target.CStr();
    folders.insert(target.substr(0, target.rfind('/') + 1));
  }
  // Each folder renamed into is synced once, after the last rename: what the
  // request reports as saved then survives a crash of the machine.
  for (const std::string& folder : folders) {
    if (!SyncFolderOf((folder + ".").c_str())) ok = false;
  }
  renames_.Clear();
  return ok;
}

bool HCommitBatch::Holds(const char* temp_path) const {
  for (const Rename* rename : renames_) {
    if (strcmp(rename->temp.CStr(), temp_path) == 0) return true;
  }
  return false;
}

std::vector<std::pair<std::string, std::string>> HCommitBatch::HandOver() {
  std::vector<std::pair<std::string, std::string>> files;
  for (const Rename* rename : renames_) files.emplace_back(rename->temp.CStr(), rename->target.CStr());
  renames_.Clear();
  return files;
}

void HCommitBatch::Discard() {
  for (const Rename* rename : renames_) unlink(rename->temp.CStr());
  renames_.Clear();
}
