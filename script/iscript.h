// IScript, the template engine as the server driver sees it, and the line
// source that parsing reads from.
#ifndef SCRIPT_ISCRIPT_H_
#define SCRIPT_ISCRIPT_H_

#include <cstdio>
#include <cstring>

// Reads an open stream (opened and closed by the caller) line by line with
// fgets of 1023 bytes: a line arrives with at most 1022 bytes, its line
// feed kept; a longer line arrives in pieces. Or reads again, in the same
// pieces, lines kept earlier: texts of at most 1022 bytes, each followed by
// a zero byte, between `begin` and `end` (not owned). It also carries the
// nesting depth of the blocks being parsed from it: a template nested deeper
// than kMaxDepth is cut there, exactly as if the file ended at that line.
struct HScriptReader {
  static constexpr int kLineSize = 1023;
  static constexpr int kMaxDepth = 256;
  explicit HScriptReader(FILE* f) : file(f) {}
  HScriptReader(const char* begin, const char* end) : file(nullptr), kept(begin), kept_end(end) {}
  // Null at end of file, and for good once Stop has been called.
  char* ReadLine() {
    if (stopped) return nullptr;
    if (file != nullptr) return fgets(line, kLineSize, file);
    if (kept >= kept_end) return nullptr;
    const size_t n = strnlen(kept, kLineSize - 1);
    memcpy(line, kept, n);
    line[n] = 0;
    kept += n + 1;
    return line;
  }
  void Stop() { stopped = true; }
  FILE* file;
  const char* kept = nullptr;
  const char* kept_end = nullptr;
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
