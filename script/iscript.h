// IScript, the template engine as the server driver sees it, and the line
// source that parsing reads from.
#ifndef SCRIPT_ISCRIPT_H_
#define SCRIPT_ISCRIPT_H_

#include <cstdio>
#include <cstring>
#include <string>

// Reads an open stream (opened and closed by the caller) whole, then gives
// it line by line as fgets of 1023 bytes would: a line arrives with at most
// 1022 bytes, its line feed kept; a longer line arrives in pieces. Or reads
// again, in the same pieces, lines kept earlier: texts of at most 1022
// bytes, each followed by a zero byte, between `begin` and `end` (not
// owned). It also carries the nesting depth of the blocks being parsed from
// it: a template nested deeper than kMaxDepth is cut there, exactly as if
// the file ended at that line.
struct HScriptReader {
  static constexpr int kLineSize = 1023;
  static constexpr int kMaxDepth = 256;
  explicit HScriptReader(FILE* f) {
    // One read of the whole page: a call of the stream per line costs more
    // than the line's parse. A read error ends the text there, as it would
    // end fgets.
    char chunk[8192];
    for (size_t got; f != nullptr && (got = fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, got);
    kept = text.data();
    kept_end = kept + text.size();
    whole_lines = true;
  }
  HScriptReader(const char* begin, const char* end) : kept(begin), kept_end(end) {}
  // Null at end of file, and for good once Stop has been called.
  char* ReadLine() {
    if (stopped || kept >= kept_end) return nullptr;
    const size_t left = static_cast<size_t>(kept_end - kept);
    size_t n = left < static_cast<size_t>(kLineSize - 1) ? left : static_cast<size_t>(kLineSize - 1);
    if (whole_lines) {
      // Up to and with the line feed, zero bytes and all, as fgets takes it.
      if (const void* feed = memchr(kept, '\n', n)) n = static_cast<size_t>(static_cast<const char*>(feed) - kept) + 1;
      memcpy(line, kept, n);
      line[n] = 0;
      kept += n;
      return line;
    }
    n = strnlen(kept, n);
    memcpy(line, kept, n);
    line[n] = 0;
    kept += n + 1;
    return line;
  }
  void Stop() { stopped = true; }
  std::string text;  // the stream's bytes
  const char* kept = nullptr;
  const char* kept_end = nullptr;
  bool whole_lines = false;  // `kept` is the stream's text, not lines kept with their zero bytes
  char line[kLineSize] = {};
  int depth = 0;  // blocks open around the line being parsed
  bool stopped = false;
};

class IScript {
 public:
  virtual ~IScript() = default;
  // Renders the loaded template; nonzero means the page asked to stop.
  virtual int Run() = 0;
  // Parses a template; 0 when the file was read to its end.
  virtual int Load(HScriptReader& reader) = 0;
};

#endif  // SCRIPT_ISCRIPT_H_
