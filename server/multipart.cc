#include "server/multipart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "objects/commit.h"
#include "script/encoding.h"
#include "server/cgi_input.h"
#include "server/errors.h"

HMultiPart MultiPart;

namespace {

const char kDisposition[] = "Content-Disposition: form-data;";
const char kContentType[] = "Content-Type:";

// The first occurrence of `needle` within [begin, end), or null.
const char* FindIn(const char* begin, const char* end, const char* needle) {
  const size_t n = strlen(needle);
  for (const char* p = begin; p + n <= end; ++p) {
    if (memcmp(p, needle, n) == 0) return p;
  }
  return nullptr;
}

bool StartsNoCase(const char* line, int length, const char* prefix, int prefix_length) {
  if (length < prefix_length) return false;
  const HString head(line, prefix_length);
  return CompareNoCase(head.CStr(), prefix) == 0;
}

}  // namespace

HMultiPart::~HMultiPart() { delete[] body_; }

HParamEntry* HMultiPart::CreateEntry(const char* name, const char* value) {
  return new HMultiPartEntry(name, value);
}

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

void HMultiPart::HandleLine(int begin, int end) {
  const char* line = body_ + begin;
  const int length = end - begin;
  const bool boundary = length >= boundary_length_ && memcmp(line, boundary_, boundary_length_) == 0;
  switch (state_) {
    case kBeforeFirstBoundary:
      if (boundary) state_ = kPartHeader;
      break;
    case kPartHeader:
      field_name_.Clear();
      file_name_.Clear();
      content_start_ = -1;
      if (StartsNoCase(line, length, kDisposition, sizeof kDisposition - 1)) {
        ReadNames(begin, end);
        state_ = kAfterDisposition;
      } else {
        state_ = kContent;
      }
      break;
    case kAfterDisposition:
      if (StartsNoCase(line, length, kContentType, sizeof kContentType - 1)) {
        state_ = kAfterContentType;
      } else {
        content_start_ = end;
        state_ = kContent;
      }
      break;
    case kAfterContentType:
      if (!file_name_.IsEmpty()) content_start_ = end;
      state_ = kContent;
      break;
    case kContent:
      if (!boundary) break;
      EndPart(begin);
      state_ = kPartHeader;
      if (end - begin >= boundary_length_ + 2 && line[boundary_length_] == '-' && line[boundary_length_ + 1] == '-') {
        done_ = true;
      }
      break;
  }
}

void HMultiPart::ReadNames(int begin, int end) {
  const char* line = body_ + begin;
  const char* stop = body_ + end;
  const char* name = FindIn(line, stop, "name=");
  if (name == nullptr || name + 6 > stop) return;
  const char* first = name + 6;  // past the opening quotation mark
  const char* close = static_cast<const char*>(memchr(first, '"', stop - first));
  if (close == nullptr) return;
  field_name_.Assign(first, static_cast<int>(close - first));
  const char* file = FindIn(line, stop, "filename=");
  if (file == nullptr || file + 10 > stop) return;
  const char* file_first = file + 10;
  const char* last = nullptr;
  for (const char* p = file_first; p < stop; ++p) {
    if (*p == '"') last = p;
  }
  if (last != nullptr) file_name_.Assign(file_first, static_cast<int>(last - file_first));
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
    } else if (text.At(0) == '.' && text.FindAnyOf("/\\") < 0 && recent_upload_ != nullptr && recent_upload_->value.FindChar('.') < 0 &&
               recent_param_->value.FindChar('.') < 0) {
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
  const int fd = open(temp.CStr(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const char* data = body_ + upload->start;
  size_t left = static_cast<size_t>(upload->end - upload->start + 1);
  bool written = true;
  while (written && left > 0) {
    const ssize_t done = write(fd, data, left);
    if (done < 0 && errno == EINTR) continue;
    written = done > 0;
    if (written) {
      data += done;
      left -= static_cast<size_t>(done);
    }
  }
  if (written && fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP) written = false;
  if (close(fd) != 0) written = false;
  HCommitBatch* batch = HCommitBatch::Open();
  if (written && batch != nullptr) {
    batch->Add(temp.CStr(), path.CStr());  // renamed with the request's other files
    return true;
  }
  if (written && rename(temp.CStr(), path.CStr()) == 0) return true;
  unlink(temp.CStr());
  return false;
}
