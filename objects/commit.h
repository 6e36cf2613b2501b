// HCommitBatch, the all-or-nothing save of a request: while a batch is
// open, every file written for it (by HObjectStream, or an upload) is
// finished under its temporary name and noted here; only when all of them
// were written does Apply rename them into place, one after the other. A
// batch that is not applied removes the temporary files, so a failed save
// changes no stored file.
#ifndef OBJECTS_COMMIT_H_
#define OBJECTS_COMMIT_H_

#include <string>
#include <utility>
#include <vector>

#include "core/list.h"
#include "core/text.h"

class HCommitBatch {
 public:
  // Opens the batch, unless one is open already: this one then adds to it
  // and leaves the renaming to it.
  HCommitBatch();
  HCommitBatch(const HCommitBatch&) = delete;
  HCommitBatch& operator=(const HCommitBatch&) = delete;
  // Removes the temporary files of an open batch that was not applied.
  ~HCommitBatch();

  // The open batch, or null: writers hand it their finished files.
  static HCommitBatch* Open();
  // Notes a finished temporary file and the file it is to replace.
  void Add(const char* temp_path, const char* target_path);
  // Renames every noted file into place, then syncs the folders renamed
  // into; false when a rename failed (the ones before it stay renamed: a
  // file system renames one at a time; the temporary files after it are
  // removed) or a folder could not be synced. A joined batch returns true
  // and leaves it to the one that is open.
  bool Apply();
  // Whether a noted file has this temporary name: such a file is no
  // leftover of a killed save.
  bool Holds(const char* temp_path) const;
  // The noted files, each its temporary name and its target, for another
  // process to rename with its own: this batch forgets them, and neither
  // renames nor removes them.
  std::vector<std::pair<std::string, std::string>> HandOver();

 private:
  struct Rename {
    HString temp;
    HString target;
  };
  void Discard();

  bool owner_;
  bool applied_ = false;
  HOwnedList<Rename> renames_;
};

#endif  // OBJECTS_COMMIT_H_
