#include "objects/commit.h"

#include <unistd.h>

#include <cstdio>

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
  for (const Rename* rename : renames_) {
    if (ok && ::rename(rename->temp.CStr(), rename->target.CStr()) != 0) ok = false;
    if (!ok) unlink(rename->temp.CStr());  // after a failed rename the rest is given up
  }
  renames_.Clear();
  return ok;
}

void HCommitBatch::Discard() {
  for (const Rename* rename : renames_) unlink(rename->temp.CStr());
  renames_.Clear();
}
