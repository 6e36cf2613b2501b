#include "core/file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "core/write_guard.h"

namespace {

constexpr size_t kBufferSize = 64 * 1024;
constexpr mode_t kPermissionBits = 07777;

struct HFault {
  long calls = 0;
  long fail_at = 0;  // 0: never
  int error = 0;
  bool once = false;
};

HFault faults[file_faults::kOpCount];
bool tracking = false;
// The files written since tracking began: how much of each is synced.
std::map<std::string, off_t>* synced_sizes = nullptr;

// Counts a call of `op`; true when it is to fail (errno is set).
bool Faulted(file_faults::Op op) {
  HFault& fault = faults[op];
  ++fault.calls;
  if (fault.fail_at == 0 || fault.calls < fault.fail_at) return false;
  if (fault.once && fault.calls > fault.fail_at) return false;
  errno = fault.error;
  return true;
}

std::string PathOf(int fd) {
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char path[PATH_MAX];
  const ssize_t length = readlink(link, path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

off_t SizeOf(int fd) {
  struct stat info;
  return fstat(fd, &info) == 0 ? info.st_size : 0;
}

void NoteWrite(int fd) {
  const std::string path = PathOf(fd);
  if (!path.empty() && synced_sizes->count(path) == 0) (*synced_sizes)[path] = SizeOf(fd);
}

}  // namespace

size_t WriteFully(int fd, const void* data, size_t size) {
  const char* at = static_cast<const char*>(data);
  size_t done = 0;
  if (tracking && size > 0) NoteWrite(fd);
  while (done < size) {
    size_t want = size - done;
    bool fail = false;
    if (faults[file_faults::kWrite].fail_at != 0) {
      const int saved = errno;
      fail = Faulted(file_faults::kWrite);
      if (fail) {
        const int error = errno;
        errno = saved;
        // Half of it reaches the file, as on a disk that fills up midway.
        want /= 2;
        if (want > 0) {
          const ssize_t part = write(fd, at + done, want);
          if (part > 0) done += static_cast<size_t>(part);
        }
        errno = error;
        return done;
      }
    }
    const ssize_t wrote = write(fd, at + done, want);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) return done;
    if (wrote == 0) {
      errno = ENOSPC;
      return done;
    }
    done += static_cast<size_t>(wrote);
  }
  return done;
}

bool SyncFile(int fd) {
  if (Faulted(file_faults::kSync)) return false;
  if (fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP) return false;
  if (tracking) {
    const std::string path = PathOf(fd);
    if (!path.empty()) (*synced_sizes)[path] = SizeOf(fd);
  }
  return true;
}

bool SyncFolderOf(const char* path) {
  std::string folder(path);
  const size_t slash = folder.rfind('/');
  folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = SyncFile(fd);
  close(fd);
  return ok;
}

bool RenameFile(const char* from, const char* to) {
  WillWrite();
  if (Faulted(file_faults::kRename)) return false;
  std::string source;
  if (tracking) {
    char* real = realpath(from, nullptr);
    if (real != nullptr) source = real;
    free(real);
  }
  if (rename(from, to) != 0) return false;
  if (tracking) {
    // What is known of the renamed file goes with it to its new name.
    char* real = realpath(to, nullptr);
    const auto entry = synced_sizes->find(source);
    if (real != nullptr && entry != synced_sizes->end()) {
      const off_t size = entry->second;
      synced_sizes->erase(entry);
      (*synced_sizes)[real] = size;
    }
    free(real);
  }
  return true;
}

const char HFileWriter::kTempSuffix[] = ".Tmp";

HFileWriter::~HFileWriter() {
  Discard();
  delete[] buffer_;
}

bool HFileWriter::Open(const char* target, int mode, const char* temp_path) {
  WillWrite();
  if (fd_ >= 0 || target == nullptr) return false;
  target_ = target;
  if (temp_path != nullptr) {
    temp_ = temp_path;
  } else {
    temp_ = target;
    temp_.Append(kTempSuffix);
  }
  error_ = 0;
  used_ = 0;
  struct stat info;
  const bool keep = mode == kKeepMode && stat(target, &info) == 0;
  fd_ = open(temp_.CStr(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode == kKeepMode ? 0666 : mode);
  if (fd_ < 0) {
    error_ = errno;
    return false;
  }
  // A replaced file keeps its permissions, as a file rewritten in place
  // would; a mode given is exact, whatever the umask.
  if (keep) {
    fchmod(fd_, info.st_mode & kPermissionBits);
  } else if (mode != kKeepMode) {
    fchmod(fd_, static_cast<mode_t>(mode));
  }
  return true;
}

bool HFileWriter::Write(const void* data, size_t size) {
  if (fd_ < 0 || error_ != 0) return false;
  if (buffer_ == nullptr) buffer_ = new char[kBufferSize];
  if (used_ + size > kBufferSize) {
    if (!Flush()) return false;
    if (size >= kBufferSize) {
      if (WriteFully(fd_, data, size) != size) Fail(errno);
      return error_ == 0;
    }
  }
  memcpy(buffer_ + used_, data, size);
  used_ += size;
  return true;
}

bool HFileWriter::Write(const char* text) { return Write(text, strlen(text)); }

bool HFileWriter::Flush() {
  if (used_ > 0 && WriteFully(fd_, buffer_, used_) != used_) Fail(errno);
  used_ = 0;
  return error_ == 0;
}

void HFileWriter::Fail(int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO;
}

bool HFileWriter::Finish(bool sync) {
  if (fd_ < 0) return false;
  Flush();
  if (error_ == 0 && sync && !SyncFile(fd_)) Fail(errno);
  if (close(fd_) != 0) Fail(errno);
  fd_ = -1;
  if (error_ != 0) {
    unlink(temp_.CStr());
    errno = error_;
    return false;
  }
  return true;
}

bool HFileWriter::Commit(bool sync_folder) {
  if (!Finish()) return false;
  if (!RenameFile(temp_.CStr(), target_.CStr())) {
    Fail(errno);
    unlink(temp_.CStr());
    errno = error_;
    return false;
  }
  if (sync_folder && !SyncFolderOf(target_.CStr())) {
    // The new file is in place; only its survival of a crash is in doubt.
    Fail(errno);
    errno = error_;
    return false;
  }
  return true;
}

void HFileWriter::Discard() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
  used_ = 0;
  unlink(temp_.CStr());
}

bool WriteFileWhole(const char* target, const void* data, size_t size, int mode, bool sync_folder) {
  HFileWriter file;
  if (!file.Open(target, mode)) return false;
  file.Write(data, size);
  return file.Commit(sync_folder);
}

namespace file_faults {

void Reset() {
  for (HFault& fault : faults) fault = HFault();
}

void FailNth(Op op, long n, int error, bool once) {
  HFault& fault = faults[op];
  fault.fail_at = n <= 0 ? 0 : fault.calls + n;
  fault.error = error;
  fault.once = once;
}

long Count(Op op) { return faults[op].calls; }

void TrackUnsynced() {
  if (synced_sizes == nullptr) synced_sizes = new std::map<std::string, off_t>();
  synced_sizes->clear();
  tracking = true;
}

void DropUnsynced() {
  if (synced_sizes == nullptr) return;
  for (const auto& [path, size] : *synced_sizes) {
    if (truncate(path.c_str(), size) != 0) continue;  // a file removed since has nothing to drop
  }
  synced_sizes->clear();
  tracking = false;
}

}  // namespace file_faults
