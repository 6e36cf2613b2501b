#include "objects/object_stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "objects/commit.h"

namespace {

// The words of the format and their lengths.
constexpr char kObjectWord[] = "object ";
constexpr int kObjectWordLength = sizeof kObjectWord - 1;
constexpr char kEndWord[] = "end";
constexpr int kEndWordLength = sizeof kEndWord - 1;
constexpr char kTypeSeparator[] = " : ";
constexpr int kTypeSeparatorLength = sizeof kTypeSeparator - 1;
// Indentation, written a piece at a time.
constexpr char kSpaces[] = "                                ";
constexpr int kSpacesLength = sizeof kSpaces - 1;

// Whether `line` of `length` bytes holds the end word at `column`.
bool IsEndAt(const char* line, int length, int column) {
  return column >= 0 && column < length && strncmp(line + column, kEndWord, kEndWordLength) == 0;
}

}  // namespace

bool IsStorablePropertyName(const char* name) {
  if (name == nullptr || *name == 0 || *name == ' ' || *name == '\t') return false;
  if (strncmp(name, kObjectWord, kObjectWordLength) == 0) return false;
  return strpbrk(name, "\n\r=") == nullptr;
}

HObjectStream::HObjectStream() {
  line_[0] = 0;
  line_[kLineSize - 1] = 0;
}

HObjectStream::~HObjectStream() { Discard(); }

bool HObjectStream::Open(const char* path, const char* mode, bool private_file) {
  if (IsOpen() || path == nullptr || mode == nullptr) return false;
  pending_length_ = 0;
  depth_ = 0;
  entry_name_ = nullptr;
  entry_value_ = nullptr;
  failed_ = false;
  skipped_lines_ = 0;
  if (mode[0] != 'w') return file_.Open(path, mode);
  // A replaced file keeps its permissions, as a file rewritten in place would.
  return writer_.Open(path, private_file ? S_IRUSR | S_IWUSR : HFileWriter::kKeepMode);
}

bool HObjectStream::Close() {
  if (file_.IsOpen()) {
    file_.Close();
    return true;
  }
  if (!writer_.IsOpen()) return true;
  if (failed_) {
    writer_.Discard();
    return false;
  }
  // Synced before it is renamed: the rename never makes a part the file.
  if (!writer_.Finish()) return false;
  const char* temp = writer_.TempPath().CStr();
  HCommitBatch* batch = HCommitBatch::Open();
  if (batch != nullptr) {
    batch->Add(temp, writer_.Target().CStr());  // renamed with the rest of the request's files
    return true;
  }
  if (RenameFile(temp, writer_.Target().CStr())) return true;
  unlink(temp);
  return false;
}

void HObjectStream::Discard() {
  if (file_.IsOpen()) file_.Close();
  writer_.Discard();
}

void HObjectStream::Write(const char* data, size_t size) {
  if (!writer_.Write(data, size)) failed_ = true;
}

void HObjectStream::Write(const char* text) { Write(text, strlen(text)); }

void HObjectStream::Indent() {
  for (int left = depth_; left > 0; left -= kSpacesLength) Write(kSpaces, left < kSpacesLength ? left : kSpacesLength);
}

void HObjectStream::WriteValue(const char* value) {
  if (strchr(value, '\n') == nullptr) {
    Write(value);
    return;
  }
  for (const char* p = value; *p != 0;) {
    const size_t run = strcspn(p, "\r\n");
    if (run > 0) Write(p, run);
    p += run;
    if (*p == '\n') Write("\n\t", 2);
    if (*p != 0) ++p;  // a carriage return is dropped
  }
}

void HObjectStream::BeginObject(const char* name, const char* type_name) {
  Indent();
  Write(kObjectWord);
  Write(name);
  Write(kTypeSeparator);
  Write(type_name);
  Write("\n");
  ++depth_;
}

void HObjectStream::EndObject() {
  --depth_;
  Indent();
  Write(kEndWord);
  Write("\n");
}

void HObjectStream::WriteProperty(const char* name, const char* value) {
  if (name != nullptr && !IsStorablePropertyName(name)) return;
  WriteUncheckedProperty(name, value);
}

void HObjectStream::WriteUncheckedProperty(const char* name, const char* value) {
  Indent();
  Write(name == nullptr ? "_item" : name);
  Write("=");
  WriteValue(value == nullptr ? "" : value);
  Write("\n");
}

void HObjectStream::WriteUncheckedCount(const char* name, int count, long long second) {
  // The count's text, written backwards from the end of the buffer.
  char text[48];
  char* digit = text + sizeof text;
  *--digit = '\n';
  if (second != 0) {
    unsigned long long figure =
        second < 0 ? 0ULL - static_cast<unsigned long long>(second) : static_cast<unsigned long long>(second);
    do {
      *--digit = static_cast<char>('0' + figure % 10);
      figure /= 10;
    } while (figure != 0);
    if (second < 0) *--digit = '-';
    *--digit = ' ';
  }
  unsigned int rest = count < 0 ? 0U - static_cast<unsigned int>(count) : static_cast<unsigned int>(count);
  do {
    *--digit = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  if (count < 0) *--digit = '-';
  *--digit = '=';
  Indent();
  Write(name == nullptr ? "_item" : name);
  Write(digit, static_cast<size_t>(text + sizeof text - digit));
}

void HObjectStream::WritePropertyInt(const char* name, int value) {
  char text[kDecimalSize];
  FormatDecimal(text, value);
  WriteProperty(name, text);
}

int HObjectStream::ReadLine() { return file_.Gets(line_, kLineSize); }

bool HObjectStream::TakeRest(HStoredText& rest) {
  if (!file_.IsOpen() || pending_length_ > 0) return false;
  FILE* in = file_.Stream();
  rest.clear();
  struct stat info;
  const long at = ftell(in);
  const bool sized = at >= 0 && fstat(fileno(in), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > at;
  if (sized && static_cast<size_t>(info.st_size - at) >= HStoredText::kMapAtLeast &&
      rest.Map(fileno(in), static_cast<size_t>(at), static_cast<size_t>(info.st_size))) {
    fseek(in, 0, SEEK_END);  // taken to its end, as a read would leave it
    return true;
  }
  std::string text;
  if (sized) {
    text.resize(static_cast<size_t>(info.st_size - at));
    text.resize(fread(&text[0], 1, text.size(), in));
  }
  // A file that grew meanwhile, or one whose size says nothing (a pipe).
  char chunk[kLineSize * 4];
  for (size_t got; (got = fread(chunk, 1, sizeof chunk, in)) > 0;) text.append(chunk, got);
  if (ferror(in)) return false;
  rest.Assign(std::move(text));
  return true;
}

// A line that filled the buffer (kLineSize - 1 bytes, no line feed) goes on
// in further pieces; they are read into a buffer of their own so that what
// line_ holds stays intact.
void HObjectStream::SkipRestOfLine(int length) {
  char piece[kLineSize];
  while (length == kLineSize - 1) length = file_.Gets(piece, kLineSize);
}

bool HObjectStream::ReadHeader(bool read_new) {
  if (depth_ < 0) return false;
  int length = pending_length_;
  if (length == 0) {
    if (!read_new) return false;
    length = ReadLine();
    if (length == 0) return false;
  }
  pending_length_ = 0;
  SkipRestOfLine(length);
  // The columns before depth_ - 1 are indentation; never look past the line.
  if (depth_ > 0 && IsEndAt(line_, length, depth_ - 1)) {
    --depth_;
    return false;
  }
  if (depth_ >= length || strncmp(line_ + depth_, kObjectWord, kObjectWordLength) != 0) return false;
  char* separator = strstr(line_ + depth_ + kObjectWordLength, kTypeSeparator);
  if (separator == nullptr) return false;
  *separator = 0;
  entry_name_ = line_ + depth_ + kObjectWordLength;
  entry_value_ = separator + kTypeSeparatorLength;
  ++depth_;
  return true;
}

bool HObjectStream::ReadProperty() {
  if (depth_ <= 0) return false;
  for (;;) {
    const int length = ReadLine();
    if (length == 0) return false;
    const bool is_long = length == kLineSize - 1;
    char* value = nullptr;
    if (line_[0] == '\t') {
      line_[0] = '\n';
      entry_name_ = nullptr;
      value = line_;
    } else if (depth_ - 1 >= length || line_[depth_ - 1] != ' ') {
      const bool ended = IsEndAt(line_, length, depth_ - 1);
      SkipRestOfLine(length);
      if (ended) --depth_;
      return false;
    } else if (strncmp(line_ + depth_, kObjectWord, kObjectWordLength) == 0) {
      pending_length_ = length;  // a child's header, for ReadHeader
      return false;
    } else {
      char* equals = strchr(line_ + depth_, '=');
      if (equals == nullptr) {
        SkipRestOfLine(length);
        ++skipped_lines_;
        continue;
      }
      *equals = 0;
      entry_name_ = line_ + depth_;
      value = equals + 1;
    }
    entry_value_ = value;
    if (is_long) {
      if (entry_name_ != nullptr) {
        long_name_ = entry_name_;
        entry_name_ = long_name_.CStr();
      }
      long_value_ = value;
      for (int piece = kLineSize - 1; piece == kLineSize - 1;) {
        piece = ReadLine();
        if (piece > 0) long_value_.Append(line_);
      }
      entry_value_ = long_value_.CStr();
    }
    return true;
  }
}
