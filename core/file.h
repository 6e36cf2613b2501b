// HFile, the owning wrapper of one stdio stream; the writers to standard
// output that all HTML goes through; and the file-system tests.
#ifndef CORE_FILE_H_
#define CORE_FILE_H_

#include <cstddef>
#include <cstdio>
#include <string>

// Owns at most one open stdio stream and closes it on destruction.
// Calls on a closed file do nothing and return 0, null or false.
class HFile {
 public:
  HFile() = default;
  HFile(const HFile&) = delete;
  HFile& operator=(const HFile&) = delete;
  ~HFile() { Close(); }

  // Refuses (false) while a stream is already open.
  bool Open(const char* path, const char* mode);
  // Reads a line without its line feed and returns its length. An empty
  // line returns 0 just like end of file; RawGets tells the two apart. A
  // longer line than size - 1 bytes comes back in pieces.
  int Gets(char* buf, int size);
  // Plain fgets: the line feed stays; null at end of file.
  char* RawGets(char* buf, int size);
  int Puts(const char* text);
  int PutChar(char c);
  int Close();
  bool IsOpen() const { return stream_ != nullptr; }
  FILE* Stream() const { return stream_; }

 private:
  FILE* stream_ = nullptr;
};

// The shorthand writers to standard output.
inline void WriteChar(char c) { putchar(c); }
inline void WriteText(const char* text) { fputs(text, stdout); }

// -1 when stat fails, 1 for a directory, 0 for anything else.
int PathKind(const char* path);

// Exactly `size` bytes from fd into `into`; false at an error or an early
// end.
bool ReadFully(int fd, void* into, size_t size);
// The whole content of a small file, zero bytes and all: "" when it is
// missing or unreadable.
std::string ReadWholeFile(const char* path);
bool IsDirectory(const char* path);
bool Exists(const char* path);
// mkdir with mode 0755.
bool MakeDirectory(const char* path);
bool EnsureDirectory(const char* path);

#endif  // CORE_FILE_H_
