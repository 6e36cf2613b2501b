#include "server/held_output.h"

#include <cstdlib>

namespace {

const char kDefaultHeader[] = "Content-type: text/html\n";

}  // namespace

bool HHeldOutput::Start() {
  if (memory_ != nullptr) return true;
  fflush(stdout);
  memory_ = open_memstream(&text_, &size_);
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
  fwrite(text_, 1, size_, stdout);
  Discard();
}

void HHeldOutput::Discard() {
  Stop();
  free(text_);
  text_ = nullptr;
  size_ = 0;
  header_lines_.clear();
  header_.clear();
  has_header_ = false;
}
