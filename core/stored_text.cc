#include "core/stored_text.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

// The file's pages, then one page of zeros: a text that fills its last
// page still has its zero byte after it.
struct HStoredText::Mapping {
  Mapping(void* at, size_t length) : at(at), length(length) {}
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  ~Mapping() { munmap(at, length); }
  void* at;
  size_t length;
};

HStoredText& HStoredText::operator=(const HStoredText& other) {
  if (this == &other) return *this;
  mapping_ = other.mapping_;
  if (mapping_ != nullptr) {
    owned_.clear();
    data_ = other.data_;
  } else {
    owned_ = other.owned_;
    data_ = owned_.c_str();
  }
  size_ = other.size_;
  return *this;
}

bool HStoredText::Map(int fd, size_t from, size_t size) {
  clear();
  if (from > size) return false;
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t length = (size + page - 1) / page * page + page;
  // The zero page first, then the file over all but the last of it.
  void* at = mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (at == MAP_FAILED) return false;
  auto mapping = std::make_shared<const Mapping>(at, length);
  if (size > 0 && mmap(at, size, PROT_READ, MAP_PRIVATE | MAP_FIXED, fd, 0) == MAP_FAILED) return false;
  mapping_ = std::move(mapping);
  data_ = static_cast<const char*>(at) + from;
  size_ = size - from;
  return true;
}

void HStoredText::Assign(std::string&& text) {
  mapping_.reset();
  owned_ = std::move(text);
  data_ = owned_.c_str();
  size_ = owned_.size();
}

void HStoredText::clear() { Assign(std::string()); }

void HStoredText::Own() {
  if (mapping_ == nullptr) return;
  Assign(std::string(data_, size_));
}

HStoredText& HStoredText::append(const char* text) {
  Own();
  owned_.append(text);
  data_ = owned_.c_str();
  size_ = owned_.size();
  return *this;
}

int HStoredText::compare(size_t at, size_t n, const char* text) const {
  if (at > size_) return 1;
  const size_t length = n < size_ - at ? n : size_ - at;
  const size_t text_length = strlen(text);
  const int order = memcmp(data_ + at, text, length < text_length ? length : text_length);
  if (order != 0) return order;
  return length < text_length ? -1 : length > text_length ? 1 : 0;
}

HStoredText HStoredText::Tail(size_t at) const {
  if (at > size_) at = size_;
  HStoredText tail;
  if (mapping_ != nullptr) {
    tail.mapping_ = mapping_;
    tail.data_ = data_ + at;
    tail.size_ = size_ - at;
  } else {
    tail.Assign(std::string(data_ + at, size_ - at));
  }
  return tail;
}

std::string HStoredText::substr(size_t at, size_t n) const {
  if (at > size_) return std::string();
  return std::string(data_ + at, n < size_ - at ? n : size_ - at);
}

size_t HStoredText::find(const char* text, size_t at) const {
  const size_t length = strlen(text);
  if (at > size_ || length > size_ - at) return std::string::npos;
  if (length == 0) return at;
  const void* found = memmem(data_ + at, size_ - at, text, length);
  return found == nullptr ? std::string::npos : static_cast<size_t>(static_cast<const char*>(found) - data_);
}

size_t HStoredText::find(char c, size_t at) const {
  if (at >= size_) return std::string::npos;
  const void* found = memchr(data_ + at, c, size_ - at);
  return found == nullptr ? std::string::npos : static_cast<size_t>(static_cast<const char*>(found) - data_);
}
