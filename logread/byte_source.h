// The bytes of one log file, whole or compressed: a plain file is read as
// it is (from any offset), and a file that begins with the magic bytes of
// gzip, bzip2, xz or zstd is decompressed as it is read (from its start;
// skipping to an offset reads and drops what comes before it). Logrotate's
// rotated files ("access.log.2.gz") and a site's archives come this way.
// Only reads: a source never writes to its file.
#ifndef LOGREAD_BYTE_SOURCE_H_
#define LOGREAD_BYTE_SOURCE_H_

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>

class HByteSource {
 public:
  enum Kind { kPlain, kGzip, kBzip2, kXz, kZstd };

  HByteSource();
  ~HByteSource();
  HByteSource(const HByteSource&) = delete;
  HByteSource& operator=(const HByteSource&) = delete;

  // Opens `path` for reading and tells its kind from its first bytes; false
  // (with Error()) when it cannot be opened or read.
  bool Open(const char* path);
  // Reads the next bytes of the (decompressed) content into `out`: the
  // number read, 0 at its end, -1 on a read error or broken compressed data
  // (Error() then says which).
  ssize_t Read(char* out, size_t size);
  // Goes to `offset` of the content: a seek for a plain file, reading ahead
  // for a compressed one. False when the content is shorter or unreadable.
  bool Skip(long long offset);
  void Close();

  Kind kind() const { return kind_; }
  int fd() const { return fd_; }
  // What went wrong: an errno text, or what the decompressor said.
  const std::string& Error() const { return error_; }

 private:
  struct Decoder;
  ssize_t ReadRaw(char* out, size_t size);

  int fd_ = -1;
  Kind kind_ = kPlain;
  std::unique_ptr<Decoder> decoder_;
  std::string error_;
};

// The kind a file's first bytes show (fewer than 6 bytes: plain).
HByteSource::Kind KindOfContent(const unsigned char* head, size_t n);

#endif  // LOGREAD_BYTE_SOURCE_H_
