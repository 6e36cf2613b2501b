// HHeldOutput: the response of a POST, held back until the request's data
// is safely stored. While it holds, everything written to standard output
// goes to memory, and cookie lines are kept apart; Release then sends the
// cookies, the header (the default one first when the page wrote text
// before any header) and the page; Discard drops all of it, so that a
// failed save answers with the error page alone, and no cookie is sent for
// a change that was not stored.
#ifndef SERVER_HELD_OUTPUT_H_
#define SERVER_HELD_OUTPUT_H_

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
  // Keeps a header line (a cookie) for the header block.
  void AddHeaderLine(const std::string& line) { header_lines_ += line; }
  // The default header goes before the page's text when it is released.
  void PutDefaultHeaderFirst() { default_header_ = true; }
  // Sends what was held to the real standard output and stops holding.
  void Release();
  // Drops what was held and stops holding.
  void Discard();

 private:
  // Stops holding; the held text is left in text_/size_.
  void Stop();

  FILE* real_stdout_ = nullptr;
  FILE* memory_ = nullptr;
  char* text_ = nullptr;
  size_t size_ = 0;
  std::string header_lines_;
  bool default_header_ = false;
};

#endif  // SERVER_HELD_OUTPUT_H_
