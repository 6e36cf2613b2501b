// HMultiPart, the reader of multipart/form-data bodies. It keeps the whole
// body in one buffer for the rest of the request, puts the ordinary fields
// into the request parameters and lists each uploaded file as an entry that
// points into the buffer, so that SaveFile can write it out later.
#ifndef SERVER_MULTIPART_H_
#define SERVER_MULTIPART_H_

#include <cstdio>

#include "core/params.h"

// The largest multipart body read into memory; a longer announced body
// raises ErrorMemory without being read.
constexpr long kMaxMultipartBody = 64L * 1024 * 1024;

// An uploaded file: name is the field, value the file's base name, and
// start..end (inclusive) its bytes in the body buffer.
class HMultiPartEntry : public HParamEntry {
 public:
  HMultiPartEntry(const char* n, const char* v) : HParamEntry(n, v) {}
  int start = -1;
  int end = -1;
};

class HMultiPart : public HParams {
 public:
  HMultiPart() = default;
  ~HMultiPart() override;
  HParamEntry* CreateEntry(const char* name, const char* value) override;

  // Reads up to `length` bytes of body from `in` (stopping early at end of
  // input or after the closing boundary) and fills `params` and this list.
  // `boundary` is "--" followed by the boundary of the content type.
  void Parse(long length, const char* boundary, HParams& params, FILE* in = stdin);
  // Writes the first upload whose base name is `file_name` to
  // directory/file_name: under the hidden name "." + file_name + ".Tmp"
  // first, then renamed into place (by the open commit batch, if any).
  // False when there is none, it cannot be written, or a link stands in
  // its place; a failed write leaves no temporary file.
  bool SaveFile(const char* directory, const char* file_name) const;

 private:
  void HandleLine(int begin, int end);
  void StartPart();
  void HandleHeader(const char* line, int end);
  void EndHeaders(int end);
  void EndPart(int boundary_line);

  char* body_ = nullptr;
  int read_ = 0;
  const char* boundary_ = "";
  int boundary_length_ = 0;
  HParams* params_ = nullptr;
  // The state machine of Parse: where the line read next stands in a part.
  enum State {
    kBeforeFirstBoundary,  // the preamble
    kPartHeader,           // a header line of the part, or the blank line after them
    kContent,              // content, up to the next boundary
  };
  State state_ = kBeforeFirstBoundary;
  bool done_ = false;
  // The part's headers: its Content-Disposition value (begin..end in the
  // buffer, -1 when there was none, continuation lines included), whether
  // it had a Content-Type, and whether the line before was the disposition.
  int disposition_begin_ = -1;
  int disposition_end_ = -1;
  bool has_content_type_ = false;
  bool in_disposition_ = false;
  HString field_name_;
  HString file_name_;
  int content_start_ = -1;
  HMultiPartEntry* recent_upload_ = nullptr;
  HParamEntry* recent_param_ = nullptr;
};

// Finds the parameter `key` in the parameters of a header value [begin,
// end): "; name=value" pairs, each value a quoted text up to its closing
// quotation mark (one followed by ";" or the end, so that a quotation mark
// inside a file name stays in it) or a token up to ";" or a blank. Names
// are matched whole and without regard to ASCII case; the first match
// counts. Words without "=" (such as the type before the first ";") are
// skipped. Returns false when there is no such parameter, or a quoted text
// is never closed; `value` is then unchanged.
bool FindHeaderParam(const char* begin, const char* end, const char* key, HString& value);

// Index of the last "/" or "\" of text, or -1.
int LastSeparator(const char* text);
// Replaces each space by "_" within the first 1024 bytes.
void BlankToUnderscore(char* text);

// The multipart body of this request.
extern HMultiPart MultiPart;

#endif  // SERVER_MULTIPART_H_
