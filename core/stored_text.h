// HStoredText, the text of a stored file from some place on, for readers
// that scan it line by line.
#ifndef CORE_STORED_TEXT_H_
#define CORE_STORED_TEXT_H_

#include <cstddef>
#include <memory>
#include <string>

// Held in memory, or, for a large file, mapped from it read-only: the
// mapping costs the kernel a few page faults where a copy costs one for
// every page, and copies of the text share it. Either way a zero byte
// follows the text, so a scan for a line's end stops there as it would on
// a std::string. The part of std::string's interface its readers use, with
// one difference: compare past the end is unequal instead of throwing.
class HStoredText {
 public:
  // A file at least this large is mapped.
  static constexpr size_t kMapAtLeast = 16 * 1024;

  HStoredText() = default;
  HStoredText(const HStoredText& other) { *this = other; }
  HStoredText& operator=(const HStoredText& other);

  // The file open as fd, `size` bytes long, from `from` on, mapped; false
  // (the text left empty) when it cannot be.
  bool Map(int fd, size_t from, size_t size);
  // Holds `text` itself.
  void Assign(std::string&& text);
  void clear();
  // Appends to a text held in memory (a mapped one is copied first).
  HStoredText& append(const char* text);

  const char* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  char operator[](size_t at) const { return data_[at]; }
  // As std::string's: the n bytes from `at` (fewer at the end) against
  // `text`; nonzero, not an exception, when `at` is past the end.
  int compare(size_t at, size_t n, const char* text) const;
  std::string substr(size_t at, size_t n = std::string::npos) const;
  size_t find(const char* text, size_t at = 0) const;
  size_t find(char c, size_t at = 0) const;
  bool IsMapped() const { return mapping_ != nullptr; }
  // The text from `at` on (all of it past the end: none); a mapped text
  // shares its mapping.
  HStoredText Tail(size_t at) const;

 private:
  struct Mapping;
  void Own();

  std::string owned_;
  std::shared_ptr<const Mapping> mapping_;
  const char* data_ = owned_.c_str();
  size_t size_ = 0;
};

#endif  // CORE_STORED_TEXT_H_
