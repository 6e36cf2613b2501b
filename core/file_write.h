// The one way the program writes a file: a write loop that resumes after a
// short write and says how much it wrote, and HFileWriter, a file written
// whole under a temporary name beside its target, synced and renamed into
// place, so that a reader sees the old file or the new one and never a
// part. Every writer of the program goes through here, and so the fault
// hooks at the end reach every write, sync and rename it makes.
#ifndef CORE_FILE_WRITE_H_
#define CORE_FILE_WRITE_H_

#include <sys/types.h>

#include <cstddef>

#include "core/text.h"

// Writes `size` bytes to `fd`, resuming exactly where a short write stopped
// and retrying after a signal. Returns how many bytes were written: fewer
// than `size` means a failure, whose reason is left in errno.
size_t WriteFully(int fd, const void* data, size_t size);
// fsync; a file system that cannot sync at all (EINVAL, ENOTSUP) counts as
// synced, as refusing every save there would help nobody.
bool SyncFile(int fd);
// Syncs the folder holding `path`, so that a rename or a new name in it
// survives a crash.
bool SyncFolderOf(const char* path);
// rename(2), through the fault hooks.
bool RenameFile(const char* from, const char* to);

// A file written under a temporary name and put in place whole.
class HFileWriter {
 public:
  // The mode argument of Open: the target's permission bits, or those of a
  // new file (0666 less the umask) when there is no target yet.
  static constexpr int kKeepMode = -1;
  // The temporary name's default ending, never a name the program stores.
  static const char kTempSuffix[];

  HFileWriter() = default;
  HFileWriter(const HFileWriter&) = delete;
  HFileWriter& operator=(const HFileWriter&) = delete;
  // An unfinished file is discarded.
  ~HFileWriter();

  // Creates the temporary file `temp_path` (by default the target's name
  // and kTempSuffix), emptying one that is there, with `mode`. False when
  // it cannot be made or a file is open already.
  bool Open(const char* target, int mode = kKeepMode, const char* temp_path = nullptr);
  // Buffered; false from the first failed write on (the rest is dropped).
  bool Write(const void* data, size_t size);
  bool Write(const char* text);
  // Writes out the buffer, syncs (unless `sync` is false, for a caller that
  // syncs many files itself) and closes. The file keeps its temporary name,
  // for a caller that renames it later (a batch of files put in place
  // together). False, with the temporary file removed, on any failure.
  bool Finish(bool sync = true);
  // Finish, then the rename into place, then the folder's sync when
  // `sync_folder` asks for it. False, with the target untouched, on any
  // failure.
  bool Commit(bool sync_folder = false);
  // Closes and removes the temporary file; the target stays as it was.
  void Discard();

  bool IsOpen() const { return fd_ >= 0; }
  bool Failed() const { return error_ != 0; }
  // errno of the first failure; 0 while none.
  int Error() const { return error_; }
  const HString& Target() const { return target_; }
  const HString& TempPath() const { return temp_; }

 private:
  bool Flush();
  void Fail(int error);

  int fd_ = -1;
  int error_ = 0;
  HString target_;
  HString temp_;
  char* buffer_ = nullptr;
  size_t used_ = 0;
};

// Writes `size` bytes as the whole new content of `target` through an
// HFileWriter. On failure errno holds the reason and the target is as it
// was.
bool WriteFileWhole(const char* target, const void* data, size_t size, int mode = HFileWriter::kKeepMode,
                    bool sync_folder = false);

// Fault hooks for tests, in the manner of a fault-injecting file system:
// the Nth write, sync or rename from now on fails, and what was written but
// never synced can be dropped as a crash would drop it. Off, they cost one
// test of a counter per call.
namespace file_faults {

enum Op { kWrite, kSync, kRename, kOpCount };

// Counts the calls of every kind from zero again and clears every fault.
void Reset();
// Makes the `n`th call of `op` from now on (1 is the next one) and every
// later one fail with `error`. A failing write first writes half of what it
// was given, as a disk that fills up in the middle of a write does. With
// `once` only that one call fails.
void FailNth(Op op, long n, int error, bool once = false);
// The calls of `op` since the last Reset.
long Count(Op op);
// From now on, remembers for every file written how much of it was synced.
void TrackUnsynced();
// Cuts every file written since TrackUnsynced back to what was synced of
// it (what it held before its first write since then counts as synced), as
// a crash of the machine would leave it, and stops tracking. A file renamed
// since is cut under its new name.
void DropUnsynced();

}  // namespace file_faults

#endif  // CORE_FILE_WRITE_H_
