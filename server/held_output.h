// HHeldOutput: the response, held back until the request is done, so that
// its status is known before anything is sent, and a POST's answer goes out
// only once its data is safely stored. While it holds, everything written
// to standard output goes to memory, and the header and cookie lines are
// kept apart; Release then sends the status lines, the cookies, the header
// (the default one when the page wrote text before any header) and the
// page; Discard drops all of it, so that a failed save answers with the
// error page alone, and no cookie is sent for a change that was not stored.
#ifndef SERVER_HELD_OUTPUT_H_
#define SERVER_HELD_OUTPUT_H_

#include <sys/types.h>

#include <cstdio>
#include <string>

class HHeldOutput {
 public:
  HHeldOutput() = default;
  HHeldOutput(const HHeldOutput&) = delete;
  HHeldOutput& operator=(const HHeldOutput&) = delete;
  ~HHeldOutput() { Discard(); }

  // Starts holding: standard output writes to memory from here on. False
  // (nothing held) when no memory stream can be made.
  bool Start();
  bool IsHolding() const { return memory_ != nullptr; }
  // Whether the page has written anything yet.
  bool HasText();
  // Whether a write to the held text failed (the memory ran out): what is
  // held is then not the whole page.
  bool Failed();
  // Keeps a header line (a cookie) for the header block.
  void AddHeaderLine(const std::string& line) { header_lines_ += line; }
  // The header block (without its blank line) sent with the page; null
  // for the default one. The first one given stays.
  void SetHeader(const char* text);
  bool HasHeader() const { return has_header_; }
  // Sends `status_lines`, then what was held, to the real standard output
  // and stops holding.
  void Release(const std::string& status_lines);
  // Drops what was held and stops holding.
  void Discard();

 private:
  // Stops holding; the held text is left in text_/size_.
  void Stop();

  // The stream's writes: appended to text_, growing it; -1 (and failed_
  // set for good) when it cannot grow.
  static ssize_t Keep(void* cookie, const char* data, size_t size);

  FILE* real_stdout_ = nullptr;
  FILE* memory_ = nullptr;
  char* text_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  bool failed_ = false;
  std::string header_lines_;
  std::string header_;
  bool has_header_ = false;
};

#endif  // SERVER_HELD_OUTPUT_H_
