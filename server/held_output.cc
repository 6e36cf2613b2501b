#include "server/held_output.h"

#include <cstdlib>
#include <cstring>

namespace {

const char kDefaultHeader[] = "Content-type: text/html\n";
constexpr size_t kFirstCapacity = 64 * 1024;

}  // namespace

ssize_t HHeldOutput::Keep(void* cookie, const char* data, size_t size) {
  HHeldOutput* held = static_cast<HHeldOutput*>(cookie);
  if (held->failed_) return -1;
  if (size == 0) return 0;
  if (size > held->capacity_ - held->size_) {
    size_t capacity = held->capacity_ == 0 ? kFirstCapacity : held->capacity_;
    while (capacity - held->size_ < size) capacity *= 2;
    char* text = static_cast<char*>(realloc(held->text_, capacity));
    if (text == nullptr) {
      // The page goes on, but what is held is no longer all of it.
      held->failed_ = true;
      return -1;
    }
    held->text_ = text;
    held->capacity_ = capacity;
  }
  memcpy(held->text_ + held->size_, data, size);
  held->size_ += size;
  return static_cast<ssize_t>(size);
}

bool HHeldOutput::Start() {
  if (memory_ != nullptr) return true;
  fflush(stdout);
  // A memory stream of the C library's own loses a write for which no
  // memory is left without a word: this one remembers it.
  cookie_io_functions_t functions = {};
  functions.write = &HHeldOutput::Keep;
  failed_ = false;
  memory_ = fopencookie(this, "w", functions);
  if (memory_ == nullptr) return false;
  real_stdout_ = stdout;
  stdout = memory_;
  return true;
}

bool HHeldOutput::HasText() {
  if (memory_ == nullptr) return false;
  fflush(memory_);
  return size_ > 0;
}

bool HHeldOutput::Failed() {
  if (memory_ == nullptr) return false;
  return fflush(memory_) != 0 || ferror(memory_) != 0 || failed_;
}

void HHeldOutput::Stop() {
  if (memory_ == nullptr) return;
  stdout = real_stdout_;
  fclose(memory_);  // text_ and size_ now hold everything written
  memory_ = nullptr;
}

void HHeldOutput::SetHeader(const char* text) {
  if (has_header_) return;
  has_header_ = true;
  header_ = text == nullptr ? kDefaultHeader : text;
}

void HHeldOutput::Release(const std::string& status_lines) {
  if (memory_ == nullptr) return;
  Stop();
  fputs(status_lines.c_str(), stdout);
  fputs(header_lines_.c_str(), stdout);
  if (has_header_) {
    fputs(header_.c_str(), stdout);
    fputs("\n", stdout);
  }
  if (size_ > 0) fwrite(text_, 1, size_, stdout);
  Discard();
}

void HHeldOutput::Discard() {
  Stop();
  free(text_);
  text_ = nullptr;
  size_ = 0;
  capacity_ = 0;
  failed_ = false;
  header_lines_.clear();
  header_.clear();
  has_header_ = false;
}
