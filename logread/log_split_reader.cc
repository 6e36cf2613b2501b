#include "logread/log_split_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "logread/log_line.h"

void HStreamHash::Add(const char* data, size_t n) {
  length_ += n;
  if (pending_size_ > 0) {
    const size_t take = n < kBlock - pending_size_ ? n : kBlock - pending_size_;
    memcpy(pending_ + pending_size_, data, take);
    pending_size_ += take;
    data += take;
    n -= take;
    if (pending_size_ < kBlock) return;
    Block(pending_);
    pending_size_ = 0;
  }
  for (; n >= kBlock; data += kBlock, n -= kBlock) Block(data);
  memcpy(pending_, data, n);
  pending_size_ = n;
}

uint64_t HStreamHash::Value() const {
  HStreamHash last = *this;
  memset(last.pending_ + last.pending_size_, 0, kBlock - last.pending_size_);
  last.Block(last.pending_);
  uint64_t h = length_;
  for (const uint64_t lane : last.lanes_) {
    h = (h ^ lane) * kMultiplier;
    h ^= h >> 29;
  }
  return h;
}

void HStreamHash::Block(const char* p) {
  for (int i = 0; i < 4; ++i) {
    uint64_t word;
    memcpy(&word, p + 8 * i, 8);
    const uint64_t mixed = (lanes_[i] ^ word) * kMultiplier;
    lanes_[i] = mixed << 31 | mixed >> 33;
  }
}

bool HashRange(int fd, long long from, long long n, uint64_t* value) {
  HStreamHash hash;
  std::vector<char> chunk(kSplitChunkSize);
  for (long long at = 0; at < n;) {
    const size_t want =
        static_cast<size_t>(n - at < static_cast<long long>(kSplitChunkSize) ? n - at : kSplitChunkSize);
    const ssize_t got = pread(fd, chunk.data(), want, from + at);
    if (got <= 0) return false;
    hash.Add(chunk.data(), static_cast<size_t>(got));
    at += got;
  }
  *value = hash.Value();
  return true;
}

bool HLineReader::Next(char** line, size_t* length) {
  for (size_t scanned = begin_;;) {
    char* feed = end_ > scanned ? static_cast<char*>(memchr(buffer_.get() + scanned, '\n', end_ - scanned)) : nullptr;
    if (feed != nullptr) {
      const size_t n = static_cast<size_t>(feed - (buffer_.get() + begin_)) + 1;
      if (skipping_ || n > kMaxSplitLine) {  // the end of a line too long to keep
        if (!skipping_) ++overlong_;
        skipping_ = false;
        begin_ += n;
        scanned = begin_;
        continue;
      }
      *line = buffer_.get() + begin_;
      *length = n;
      begin_ += n;
      return true;
    }
    scanned = end_;
    if (skipping_ || end_ - begin_ > kMaxSplitLine) {
      if (!skipping_) ++overlong_;
      skipping_ = true;
      begin_ = end_;  // what is held of it goes
    }
    if (!Fill()) {
      if (begin_ == end_) return false;
      if (end_ - begin_ > kMaxSplitLine) {
        ++overlong_;
        begin_ = end_;
        return false;
      }
      *line = buffer_.get() + begin_;  // the last line, without a line feed
      *length = end_ - begin_;
      begin_ = end_;
      return true;
    }
    scanned -= begin_moved_;
  }
}

bool HLineReader::Fill() {
  begin_moved_ = begin_;
  if (begin_ > 0) {
    memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // One byte stays free behind the text, for a terminating zero. The
  // buffer is not cleared: only what was read is ever looked at.
  if (size_ < end_ + want_ / 2 + 1) {
    const size_t size = std::max(2 * size_, end_ + want_ + 1);
    std::unique_ptr<char[]> bigger(new char[size]);
    if (end_ > 0) memcpy(bigger.get(), buffer_.get(), end_);
    buffer_ = std::move(bigger);
    size_ = size;
  }
  const size_t room = std::min(size_ - 1 - end_, want_);
  const ssize_t got = source_ != nullptr ? source_->Read(buffer_.get() + end_, room) : read(fd_, buffer_.get() + end_, room);
  want_ = std::min(want_ * 4, kSplitChunkSize);
  if (got < 0) {
    failed_ = true;
    error_ = source_ != nullptr ? EIO : errno;
  }
  if (got <= 0) return false;
  if (hash_ != nullptr) hash_->Add(buffer_.get() + end_, static_cast<size_t>(got));
  end_ += static_cast<size_t>(got);
  read_ += got;
  return true;
}

bool HDateCache::Parse(const char* line, size_t length, int format, HDate& date, const char** found) {
  if (found != nullptr) *found = nullptr;
  if (format != kCommonLayout && format != kVirtualHostLayout) return ParseLogDate(line, format, date);
  // The parser reads the line up to its first zero byte, and so does
  // FindCommonDate: the key lies before any zero byte.
  const char* open = FindCommonDate(line);
  if (found != nullptr) *found = open;
  const bool standard = open != nullptr && static_cast<size_t>(open - line) + kKeyLength <= length &&
                        open[3] == '/' && open[7] == '/' && memchr(open, 0, kKeyLength) == nullptr;
  if (standard && valid_ && memcmp(open, key_, kKeyLength) == 0) {
    date = date_;
    return true;
  }
  const bool parsed = ParseLogDate(line, format, date);
  valid_ = standard && parsed;
  if (valid_) {
    memcpy(key_, open, kKeyLength);
    date_ = date;
  }
  return parsed;
}
