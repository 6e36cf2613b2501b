#include "server/multipart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "core/errors.h"
#include "core/file_write.h"
#include "objects/commit.h"
#include "script/encoding.h"
#include "server/cgi_input.h"

HMultiPart MultiPart;

namespace {

const char kDisposition[] = "Content-Disposition";
const char kFormData[] = "form-data";
const char kContentType[] = "Content-Type";
// Uploads are pages' files, served to everyone.
constexpr int kUploadMode = 0644;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

const char* SkipBlanks(const char* p, const char* end) {
  while (p < end && IsBlank(*p)) ++p;
  return p;
}

// Whether [begin, end) is `word`, ASCII case ignored.
bool IsWordNoCase(const char* begin, const char* end, const char* word) {
  const size_t n = strlen(word);
  return static_cast<size_t>(end - begin) == n && CompareNoCase(HString(begin, static_cast<int>(n)).CStr(), word) == 0;
}

// The closing quotation mark of a quoted text whose first byte is at `p`:
// the first one followed by nothing but blanks up to ";" or the end, else
// the last one; null when there is none.
const char* ClosingQuote(const char* p, const char* end) {
  const char* last = nullptr;
  for (const char* q = p; q < end; ++q) {
    if (*q != '"') continue;
    last = q;
    const char* after = SkipBlanks(q + 1, end);
    if (after == end || *after == ';') return q;
  }
  return last;
}

}  // namespace

HMultiPart::~HMultiPart() { delete[] body_; }

HParamEntry* HMultiPart::CreateEntry(const char* name, const char* value) { return new HMultiPartEntry(name, value); }

int LastSeparator(const char* text) {
  const int slash = FindLastChar(text, '/');
  const int backslash = FindLastChar(text, '\\');
  return slash > backslash ? slash : backslash;
}

void BlankToUnderscore(char* text) {
  for (int i = 0; i < 1024 && text[i] != 0; ++i) {
    if (text[i] == ' ') text[i] = '_';
  }
}

void HMultiPart::Parse(long length, const char* boundary, HParams& params, FILE* in) {
  if (length < 0 || length > kMaxMultipartBody) throw ErrorMemory;
  delete[] body_;
  body_ = new (std::nothrow) char[length + 1]();
  if (body_ == nullptr) throw ErrorMemory;
  boundary_ = boundary;
  boundary_length_ = static_cast<int>(strlen(boundary));
  params_ = &params;
  state_ = kBeforeFirstBoundary;
  done_ = false;
  int line_start = 0;
  read_ = 0;
  while (read_ < length && !done_) {
    const int c = getc(in);
    if (c == EOF) break;
    body_[read_++] = static_cast<char>(c);
    if (c == '\n') {
      HandleLine(line_start, read_);
      line_start = read_;
    }
  }
  // A closing boundary that is the body's very last bytes has no line feed
  // after it, but still ends the last part.
  if (!done_ && line_start < read_) HandleLine(line_start, read_);
  body_[read_] = 0;
  params_ = nullptr;
}

bool FindHeaderParam(const char* p, const char* end, const char* key, HString& value) {
  while (p < end) {
    if (IsBlank(*p) || *p == ';' || *p == '=') {
      ++p;
      continue;
    }
    if (*p == '"') {  // a quoted text that is no parameter's value: skipped whole
      const char* close = ClosingQuote(p + 1, end);
      if (close == nullptr) return false;
      p = close + 1;
      continue;
    }
    const char* name = p;
    while (p < end && !IsBlank(*p) && *p != ';' && *p != '=' && *p != '"') ++p;
    const char* name_end = p;
    p = SkipBlanks(p, end);
    if (p == end || *p != '=') continue;  // a word without a value, such as the type
    p = SkipBlanks(p + 1, end);
    const char* first = p;
    const char* last = p;
    if (p < end && *p == '"') {
      first = p + 1;
      last = ClosingQuote(first, end);
      if (last == nullptr) return false;  // never closed: no value at all
      p = last + 1;
    } else {
      while (p < end && !IsBlank(*p) && *p != ';') ++p;
      last = p;
    }
    if (IsWordNoCase(name, name_end, key)) {
      value.Assign(first, static_cast<int>(last - first));
      return true;
    }
  }
  return false;
}

void HMultiPart::HandleLine(int begin, int end) {
  const char* line = body_ + begin;
  const int length = end - begin;
  const bool boundary = length >= boundary_length_ && memcmp(line, boundary_, boundary_length_) == 0;
  if (boundary && state_ != kBeforeFirstBoundary) {
    // Also where a part's headers never got their blank line: the part has
    // no content start then and contributes nothing.
    EndPart(begin);
    if (end - begin >= boundary_length_ + 2 && line[boundary_length_] == '-' && line[boundary_length_ + 1] == '-') {
      done_ = true;
    }
  }
  if (boundary) {
    StartPart();
    return;
  }
  if (state_ == kPartHeader) HandleHeader(line, end);
}

void HMultiPart::StartPart() {
  state_ = kPartHeader;
  field_name_.Clear();
  file_name_.Clear();
  content_start_ = -1;
  disposition_begin_ = -1;
  disposition_end_ = -1;
  has_content_type_ = false;
  in_disposition_ = false;
}

void HMultiPart::HandleHeader(const char* line, int end) {
  const char* stop = body_ + end;
  const long length = stop - line;
  if ((length == 1 && line[0] == '\n') || (length == 2 && line[0] == '\r' && line[1] == '\n')) {
    EndHeaders(end);  // the blank line
    return;
  }
  if (*line == ' ' || *line == '\t') {  // a header continued from the line before
    if (in_disposition_) disposition_end_ = end;
    return;
  }
  in_disposition_ = false;
  const char* colon = static_cast<const char*>(memchr(line, ':', stop - line));
  if (colon == nullptr) return;
  if (IsWordNoCase(line, colon, kContentType)) {
    has_content_type_ = true;
  } else if (IsWordNoCase(line, colon, kDisposition) && disposition_begin_ < 0) {
    const char* type = SkipBlanks(colon + 1, stop);
    const char* type_end = type;
    while (type_end < stop && !IsBlank(*type_end) && *type_end != ';') ++type_end;
    if (!IsWordNoCase(type, type_end, kFormData)) return;
    disposition_begin_ = static_cast<int>(type_end - body_);
    disposition_end_ = end;
    in_disposition_ = true;
  }
}

void HMultiPart::EndHeaders(int end) {
  state_ = kContent;
  if (disposition_begin_ < 0) return;  // not a form field: its content is skipped
  const char* first = body_ + disposition_begin_;
  const char* stop = body_ + disposition_end_;
  if (FindHeaderParam(first, stop, "name", field_name_)) FindHeaderParam(first, stop, "filename", file_name_);
  // A field sent with a content type contributes nothing; a file does.
  if (!has_content_type_ || !file_name_.IsEmpty()) content_start_ = end;
}

void HMultiPart::EndPart(int boundary_line) {
  int end = boundary_line - 2;
  if (end >= 0 && body_[end] == '\r') --end;
  if (content_start_ < 0 || end < content_start_) {
    recent_upload_ = nullptr;
    recent_param_ = nullptr;
    return;
  }
  if (file_name_.IsEmpty()) {
    const HString raw(body_ + content_start_, end - content_start_ + 1);
    const HString text = ToEucJp(raw.CStr());
    const char* name = field_name_.CStr();
    if (strstr(name, "._type") == nullptr && strstr(name, "._Type") == nullptr && strstr(name, "._TYPE") == nullptr) {
      params_->AddEntry(name, text.CStr());
    } else if (text.At(0) == '.' && text.FindAnyOf("/\\") < 0 && recent_upload_ != nullptr &&
               recent_upload_->value.FindChar('.') < 0 && recent_param_->value.FindChar('.') < 0) {
      // The extension of a file uploaded without one.
      recent_upload_->value.Append(text);
      recent_param_->value.Append(text);
    }
    recent_upload_ = nullptr;
    recent_param_ = nullptr;
    return;
  }
  HString decoded(file_name_);
  if (!decoded.IsEmpty()) PercentDecode(decoded.PtrAt(0));
  HString base = ToEucJp(decoded.CStr());
  const int cut = LastSeparator(base.CStr());
  if (cut >= 0) base.Assign(base.CStr() + cut + 1);
  if (!base.IsEmpty()) BlankToUnderscore(base.PtrAt(0));
  auto* upload = static_cast<HMultiPartEntry*>(AddEntry(field_name_.CStr(), base.CStr()));
  upload->start = content_start_;
  upload->end = end;
  recent_upload_ = upload;
  recent_param_ = params_->AddEntry(field_name_.CStr(), base.CStr());
}

bool HMultiPart::SaveFile(const char* directory, const char* file_name) const {
  const HParamEntry* found = FindEntryByValue(file_name);
  if (found == nullptr || body_ == nullptr) return false;
  const auto* upload = static_cast<const HMultiPartEntry*>(found);
  HString path(directory);
  path.Append("/");
  path.Append(file_name);
  // A link in the upload's place is refused, never written through.
  struct stat info;
  if (lstat(path.CStr(), &info) == 0 && S_ISLNK(info.st_mode)) return false;
  // Written whole under a hidden temporary name, then renamed into place:
  // a full disk or a killed process leaves the old file as it was.
  HString temp(directory);
  temp.Append("/.");
  temp.Append(file_name);
  temp.Append(".Tmp");
  HFileWriter file;
  if (!file.Open(path.CStr(), kUploadMode, temp.CStr())) return false;
  file.Write(body_ + upload->start, static_cast<size_t>(upload->end - upload->start + 1));
  HCommitBatch* batch = HCommitBatch::Open();
  if (batch == nullptr) return file.Commit();
  if (!file.Finish()) return false;
  batch->Add(temp.CStr(), path.CStr());  // renamed with the request's other files
  return true;
}
