#include "app/log_import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "core/file.h"
#include "core/file_write.h"
#include "logread/byte_source.h"
#include "logread/log_follow.h"
#include "logread/log_split.h"

namespace {

const char kImporting[] = "logs/importing";
// One piece under the lock: visitors wait at most about this long.
constexpr long long kPieceBytes = 64LL * 1024 * 1024;
constexpr double kPieceSeconds = 1.0;

// Where a compressed file's content goes while it is imported.
const char kExpanded[] = "vazivev.import.content";

bool IsPlainFile(const std::string& path) {
  HByteSource source;
  return source.Open(path.c_str()) && source.kind() == HByteSource::kPlain;
}

// Writes the whole content of `path` to `to`; false (said on stderr) when
// it cannot be read or written.
bool Expand(const std::string& path, const std::string& to) {
  HByteSource source;
  HFileWriter out;
  if (!source.Open(path.c_str())) {
    fprintf(stderr, "vazivev-import: %s: cannot be read: %s\n", path.c_str(), source.Error().c_str());
    return false;
  }
  if (!out.Open(to.c_str(), 0600)) {
    fprintf(stderr, "vazivev-import: cannot write %s: %s\n", to.c_str(), strerror(out.Error()));
    return false;
  }
  std::vector<char> chunk(256 * 1024);
  for (;;) {
    const ssize_t got = source.Read(chunk.data(), chunk.size());
    if (got < 0) {
      fprintf(stderr, "vazivev-import: %s: %s\n", path.c_str(), source.Error().c_str());
      return false;
    }
    if (got == 0) break;
    out.Write(chunk.data(), static_cast<size_t>(got));
  }
  // Not synced: after a crash the next import writes it out again.
  if (!out.Commit(false)) {
    fprintf(stderr, "vazivev-import: cannot write %s: %s\n", to.c_str(), strerror(out.Error()));
    return false;
  }
  return true;
}

// The site's lock, as every request takes it.
class HSiteLock {
 public:
  explicit HSiteLock(const std::string& home) : fd_(open((home + "vazivev.txt").c_str(), O_RDWR | O_CLOEXEC)) {
    // Byte 1 first, the turnstile: page views that only read hold byte 0
    // shared and pass byte 1 on their way in, so that this waits for
    // those inside to finish while no new one comes in.
    struct flock turnstile = {};
    turnstile.l_type = F_WRLCK;
    turnstile.l_whence = SEEK_SET;
    turnstile.l_start = 1;
    turnstile.l_len = 1;
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    locked_ = fd_ >= 0 && fcntl(fd_, F_SETLKW, &turnstile) == 0 && fcntl(fd_, F_SETLKW, &whole) == 0;
  }
  ~HSiteLock() {
    if (fd_ >= 0) close(fd_);
  }
  bool Locked() const { return locked_; }

 private:
  int fd_;
  bool locked_ = false;
};

struct Totals {
  int files = 0;
  int skipped = 0;
  long long added = 0;
  long long waiting = 0;
  long long present = 0;
  long long rejected = 0;
  std::set<std::string> days;
};

// Imports one file; false (said on stderr) when it could not be read.
bool ImportFile(const std::string& home, const std::string& path, Totals& totals, FILE* out, bool progress) {
  HFileFingerprint print;
  if (!ContentHead(path.c_str(), kFollowHeadBytes, &print.hash, &print.length)) {
    fprintf(stderr, "vazivev-import: %s: cannot be read: %s\n", path.c_str(), strerror(errno));
    return false;
  }
  const long long recorded = ImportedLines(home.c_str(), print);
  HFollowPlace followed;
  if (recorded >= 0) {
    fprintf(out, "%s: imported before (%lld lines), skipped\n", path.c_str(), recorded);
    ++totals.skipped;
    totals.present += recorded;
    return true;
  }
  if (ReadFollowPlace((home + "vazivev.follow").c_str(), &followed) && IsFollowPlaceOf(path.c_str(), followed)) {
    fprintf(out, "%s: the file the statistics follow, skipped\n", path.c_str());
    ++totals.skipped;
    return true;
  }
  // A compressed file is first written out whole beside the day files, so
  // that each piece can go on from its place at once instead of
  // decompressing everything before it again.
  std::string content = path;
  if (!IsPlainFile(path)) {
    content = home + kExpanded;
    if (!Expand(path, content)) return false;
  }
  const std::string marker = path + "\n";
  if (!WriteFileWhole((home + kImporting).c_str(), marker.data(), marker.size())) {
    fprintf(stderr, "vazivev-import: cannot write %s%s: %s\n", home.c_str(), kImporting, strerror(errno));
    return false;
  }
  const auto start = std::chrono::steady_clock::now();
  long long lines = 0;
  for (bool done = false; !done;) {
    HSiteLock lock(home);
    if (!lock.Locked()) {
      fprintf(stderr, "vazivev-import: cannot lock %svazivev.txt: %s\n", home.c_str(), strerror(errno));
      return false;
    }
    if (!ImportLogPiece(home.c_str(), content.c_str(), time(nullptr), &done)) {
      fprintf(stderr, "vazivev-import: %s: %s\n", path.c_str(), LastSplitFailure());
      return false;
    }
    const HSplitCounts& counts = LastSplitCounts();
    lines += counts.to_days + counts.waiting + LastSplitDropped();
    totals.added += counts.to_days;
    totals.waiting += counts.waiting;
    totals.rejected += LastSplitDropped();
    totals.days.insert(counts.day_files.begin(), counts.day_files.end());
    if (done) {
      // Recorded under the lock, before the place goes: a stop in between
      // leaves a place at the end, which the next import reads as done.
      if (!RecordImported(home.c_str(), print, lines, path)) {
        fprintf(stderr, "vazivev-import: cannot write %slogs/imported: %s\n", home.c_str(), strerror(errno));
        return false;
      }
      unlink((home + "vazivev.import").c_str());
      unlink((home + kImporting).c_str());
      if (content != path) unlink(content.c_str());
    }
    if (progress) {
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() + 1e-9;
      fprintf(out, "\r%s: %lld lines, %.0f lines/s", path.c_str(), lines, static_cast<double>(lines) / seconds);
      fflush(out);
    }
  }
  if (progress) fputc('\n', out);
  ++totals.files;
  return true;
}

}  // namespace

int RunImport(const std::string& home, std::vector<std::string> files, FILE* out, bool progress) {
  // An import stopped before goes first, so that its place is its own.
  std::string stopped = ReadWholeFile((home + kImporting).c_str());
  if (!stopped.empty() && stopped.back() == '\n') stopped.pop_back();
  if (!stopped.empty()) {
    fprintf(out, "finishing the import of %s first\n", stopped.c_str());
    files.insert(files.begin(), stopped);
  }
  SetSplitBudget(kPieceBytes, kPieceSeconds);
  Totals totals;
  bool all = true;
  std::set<std::string> seen;
  for (const std::string& file : files) {
    char* real = realpath(file.c_str(), nullptr);
    const std::string path = real != nullptr ? real : file;
    free(real);
    if (!seen.insert(path).second) continue;
    if (!ImportFile(home, path, totals, out, progress)) all = false;
  }
  fprintf(out,
          "files read %d (skipped %d), lines added %lld (%lld of them waiting for their day to end), "
          "lines already present %lld, lines rejected %lld, days touched %zu\n",
          totals.files, totals.skipped, totals.added + totals.waiting, totals.waiting, totals.present, totals.rejected,
          totals.days.size());
  return all ? 0 : 1;
}
