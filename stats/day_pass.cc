#include "stats/day_pass.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "logread/log_line.h"

namespace {

constexpr size_t kReadSize = 256 * 1024;
// The most of one line kept: far past what any counter takes of it (the
// first read of a line, or a JSON line of kLongestJsonLine bytes), so that
// a file of one endless line costs no more memory than this.
constexpr size_t kLongestKeptLine = 4 * kLongestJsonLine + 4 * kLogLineSize;

// Closes the file on every way out.
struct HReadFile {
  int fd = -1;
  ~HReadFile() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

void HDayPass::Add(std::unique_ptr<IDayCounter> counter, Finish finish) {
  if (!counter) return;
  const size_t piece = counter->Limit() > 1 ? static_cast<size_t>(counter->Limit() - 1) : 1;
  if (jobs_.empty() || piece < shortest_read_) shortest_read_ = piece;
  jobs_.push_back(HJob{std::move(counter), std::move(finish), tag_});
}

bool HDayPass::LineFor(const char* text, size_t size, int limit, std::string& out) const {
  // A read holds limit - 1 bytes; a line that fits comes whole, its line
  // feed included.
  const size_t piece = limit > 1 ? static_cast<size_t>(limit - 1) : 1;
  if (size <= piece) {
    out.assign(text, size);
    return true;
  }
  if (text[0] != '{') {
    out.assign(text, piece);  // the rest of the line is skipped
    return true;
  }
  // A JSON line cut at the longest kept line is far past the longest one.
  if (size >= kLongestKeptLine) return false;
  // A JSON line is gathered from its pieces, each as far as its first zero
  // byte, and skipped once the gathered text passes the longest one.
  out.assign(text, strnlen(text, piece));
  for (size_t at = piece; at < size; at += piece) {
    const size_t n = size - at < piece ? size - at : piece;
    out.append(text + at, strnlen(text + at, n));
    if (out.size() > kLongestJsonLine) return false;
  }
  return true;
}

HDayPass::HShown& HDayPass::ShownFor(const char* text, size_t size, int limit) {
  const size_t piece = limit > 1 ? static_cast<size_t>(limit - 1) : 1;
  const int key = size <= piece ? 0 : limit;
  for (size_t i = 0; i < shown_count_; ++i) {
    if (shown_[i]->limit == key) return *shown_[i];
  }
  if (shown_count_ == shown_.size()) shown_.emplace_back(new HShown);
  HShown& shown = *shown_[shown_count_++];
  shown.limit = key;
  shown.taken = LineFor(text, size, limit, shown.text);
  // Facts are read up to the first zero byte, as the counters read their
  // copies.
  if (shown.taken) shown.facts.Reset(shown.text.c_str());
  return shown;
}

void HDayPass::OfferLine(const char* text, size_t size) {
  shown_count_ = 0;
  if (jobs_.empty()) return;
  if (size <= shortest_read_ && text[0] != '{') {
    // The usual line: every read holds it whole, so one record of the
    // text in place serves all.
    whole_.Reset(text);
    for (HJob& job : jobs_) job.counter->TakeFacts(whole_);
    return;
  }
  for (HJob& job : jobs_) {
    HShown& shown = ShownFor(text, size, job.counter->Limit());
    if (!shown.taken) continue;
    if (shown.text[0] != '{') {
      job.counter->TakeFacts(shown.facts);
      continue;
    }
    own_.assign(shown.text);
    job.counter->Take(&own_[0]);
  }
}

bool HDayPass::Run(const char* file) {
  if (!Read(file)) return false;
  for (HJob& job : jobs_) {
    if (job.finish) job.finish(*job.counter);
  }
  return true;
}

void HDayPass::FinishLoaded(const std::vector<bool>& ready) {
  for (size_t i = 0; i < jobs_.size() && i < ready.size(); ++i) {
    if (ready[i] && jobs_[i].finish) jobs_[i].finish(*jobs_[i].counter);
  }
}

bool HDayPass::Read(const char* file) {
  HReadFile in;
  in.fd = open(file, O_RDONLY | O_CLOEXEC);
  if (in.fd < 0) return false;
  // One byte more than a read: the byte after a line is set to zero while
  // the line is offered, and restored after.
  std::unique_ptr<char[]> buffer(new char[kReadSize + 1]);
  std::string carry;  // the start of a line that runs past a read
  bool overlong = false;
  for (;;) {
    const ssize_t got = read(in.fd, buffer.get(), kReadSize);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    const char* p = buffer.get();
    const char* const end = p + got;
    while (p < end) {
      const char* feed = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
      const char* stop = feed == nullptr ? end : feed + 1;
      if (carry.empty() && !overlong && feed != nullptr) {
        char* after = buffer.get() + (stop - buffer.get());
        const char kept = *after;
        *after = 0;
        OfferLine(p, static_cast<size_t>(stop - p));
        *after = kept;
      } else {
        const size_t room = kLongestKeptLine - carry.size();
        const size_t n = static_cast<size_t>(stop - p);
        if (n > room) overlong = true;
        carry.append(p, n < room ? n : room);
        if (feed != nullptr) {
          OfferLine(carry.data(), carry.size());
          carry.clear();
          overlong = false;
        }
      }
      p = stop;
    }
  }
  if (!carry.empty()) OfferLine(carry.data(), carry.size());  // the last line, without a line feed
  return true;
}

int CountDayFileLines(const char* file, std::unique_ptr<IDayCounter> counter) {
  IDayCounter* counting = counter.get();
  HDayPass pass;
  pass.Add(std::move(counter), nullptr);
  return pass.Run(file) ? counting->Counted() : -1;
}

void PutResultNumber(std::string& out, long long n) {
  const auto u = static_cast<unsigned long long>(n);
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(u >> (8 * i) & 0xff));
}

bool GetResultNumber(const char*& p, const char* end, long long* n) {
  if (end - p < 8) return false;
  unsigned long long u = 0;
  for (int i = 7; i >= 0; --i) u = u << 8 | static_cast<unsigned char>(p[i]);
  p += 8;
  *n = static_cast<long long>(u);
  return true;
}

void PutResultText(std::string& out, const std::string& text) {
  PutResultNumber(out, static_cast<long long>(text.size()));
  out += text;
}

bool GetResultText(const char*& p, const char* end, std::string* text) {
  long long n = 0;
  if (!GetResultNumber(p, end, &n) || n < 0 || n > end - p) return false;
  text->assign(p, static_cast<size_t>(n));
  p += n;
  return true;
}
