#include "core/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/write_guard.h"

bool HFile::Open(const char* path, const char* mode) {
  if (stream_ != nullptr) return false;
  if (strpbrk(mode, "wa+") != nullptr) WillWrite();
  stream_ = fopen(path, mode);
  return stream_ != nullptr;
}

int HFile::Gets(char* buf, int size) {
  if (stream_ == nullptr || fgets(buf, size, stream_) == nullptr) return 0;
  int length = static_cast<int>(strlen(buf));
  if (length > 0 && buf[length - 1] == '\n') buf[--length] = 0;
  return length;
}

char* HFile::RawGets(char* buf, int size) {
  if (stream_ == nullptr) return nullptr;
  return fgets(buf, size, stream_);
}

int HFile::Puts(const char* text) { return stream_ == nullptr ? 0 : fputs(text, stream_); }

int HFile::PutChar(char c) { return stream_ == nullptr ? 0 : putc(c, stream_); }

int HFile::Close() {
  if (stream_ == nullptr) return 0;
  const int result = fclose(stream_);
  stream_ = nullptr;
  return result;
}

int PathKind(const char* path) {
  struct stat info;
  if (stat(path, &info) != 0) return -1;
  return S_ISDIR(info.st_mode) ? 1 : 0;
}

bool IsDirectory(const char* path) { return PathKind(path) == 1; }

bool Exists(const char* path) { return PathKind(path) >= 0; }

bool MakeDirectory(const char* path) {
  WillWrite();
  return mkdir(path, 0755) == 0;
}

bool EnsureDirectory(const char* path) { return IsDirectory(path) || MakeDirectory(path); }

bool ReadFully(int fd, void* into, size_t size) {
  char* at = static_cast<char*>(into);
  while (size > 0) {
    const ssize_t got = read(fd, at, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    at += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

std::string ReadWholeFile(const char* path) {
  std::string text;
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  // Room for the size the file has now and one byte more, so that the read
  // that finds its end needs no second buffer.
  struct stat info;
  size_t room = fstat(fd, &info) == 0 && info.st_size > 0 ? static_cast<size_t>(info.st_size) + 1 : 4096;
  size_t used = 0;
  text.resize(room);
  for (;;) {
    if (used == room) text.resize(room *= 2);
    const ssize_t got = read(fd, &text[used], room - used);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // the end, or an error: what was read stays
    used += static_cast<size_t>(got);
  }
  close(fd);
  text.resize(used);
  return text;
}
