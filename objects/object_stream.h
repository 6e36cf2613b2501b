// HObjectStream reads and writes the text format of stored objects. A block
// is one object, nested by one space of indentation per level:
//
//   object NAME : TYPE        header, at the object's depth
//    name=value               property (items are written "_item=value")
//   <tab>more                 continuation: the value went on after a line feed
//    object CHILD : TYPE      a nested block, one level deeper
//    end
//   end                       end of the object, at its depth
//
// In a value holding a line feed every line feed is written as a line feed
// and a tab, and carriage returns are dropped; other values are written as
// they are. Lines are read through one 1024-byte buffer; only longer lines
// allocate.
#ifndef OBJECTS_OBJECT_STREAM_H_
#define OBJECTS_OBJECT_STREAM_H_

#include <string>

#include "core/file.h"
#include "core/file_write.h"
#include "core/stored_text.h"
#include "core/text.h"

// Whether a property name can be stored as the name of a "name=value" line
// and read back as that same property: not empty, no line feed, carriage
// return or "=", not beginning with a blank, and not beginning with
// "object " (which the reader takes for a child's header).
bool IsStorablePropertyName(const char* name);

// One stream serves one file and one top-level block. A file opened for
// writing ("w") is written to a temporary file beside it and renamed over
// the old file only when every write and the close succeeded; until then,
// and whenever anything failed, the old file stays as it was.
class HObjectStream {
 public:
  static constexpr int kLineSize = 1024;

  HObjectStream();
  HObjectStream(const HObjectStream&) = delete;
  HObjectStream& operator=(const HObjectStream&) = delete;
  // Abandons an unfinished write: the temporary file is removed and the old
  // file kept.
  ~HObjectStream();

  // "r" reads the file; "w" starts its replacement. False when the file
  // (for "w", the temporary file) cannot be opened or a file is already open.
  // A replacement keeps the old file's permissions, or with `private_file`
  // is readable and writable by its owner only.
  bool Open(const char* path, const char* mode, bool private_file = false);
  // Ends a read, or finishes a write: flushes, syncs and closes the
  // temporary file, then renames it over the target, or, while a commit
  // batch is open (objects/commit.h), hands it to the batch. False when
  // any write, the close or the rename failed; the temporary file is then
  // removed. Closing a closed stream returns true.
  bool Close();
  bool IsOpen() const { return file_.IsOpen() || writer_.IsOpen(); }
  // Whether a write has failed since Open.
  bool Failed() const { return failed_; }

  // Writes a header at the current depth, then goes one level deeper.
  void BeginObject(const char* name, const char* type_name);
  // Goes one level up and writes "end" there.
  void EndObject();
  // Writes name=value at the current depth; a null name writes "_item". A
  // name that IsStorablePropertyName refuses is not written at all.
  void WriteProperty(const char* name, const char* value);
  void WritePropertyInt(const char* name, int value);
  // Writes name=value without the name check: for writers whose names are
  // read back by rules of their own (a ranking's paths may hold "=", which
  // its reader rejoins). The caller keeps line feeds and a leading
  // "object " out of the name.
  void WriteUncheckedProperty(const char* name, const char* value);
  // WriteUncheckedProperty with a number for its value, for writers of many
  // lines (a ranking stores thousands): the line goes out in one piece.
  // With a second figure that is not 0, the count is followed by a blank
  // and it.
  void WriteUncheckedCount(const char* name, int count, long long second = 0);

  // Reads the next object header: true with EntryName() the object's name
  // and EntryValue() its type name. A header that ReadProperty left pending
  // is taken first; otherwise a new line is read only when `read_new`.
  // False at the end of the file, on an empty line, on a line that is not a
  // header, and on the end line of the enclosing object (which it consumes,
  // moving one level up).
  bool ReadHeader(bool read_new);
  // Reads the next property of the current object: true with EntryName()
  // the name and EntryValue() the value; a continuation line gives a null
  // name and a value starting with its line feed. False at the object's end
  // line (consumed, one level up), at a nested header (left pending for
  // ReadHeader), at the end of the file and on an empty line. Lines without
  // "=" are skipped, and counted in SkippedLines.
  bool ReadProperty();
  // How many lines ReadProperty skipped since Open.
  int SkippedLines() const { return skipped_lines_; }
  // The last header's or property's parts; valid until the next read.
  const char* EntryName() const { return entry_name_; }
  const char* EntryValue() const { return entry_value_; }
  // Whether a line was read but not consumed yet.
  bool HasPending() const { return pending_length_ > 0; }
  // Everything the file holds after the lines read so far, for a reader of
  // its own; false (and nothing taken) when a line is pending, no file is
  // open for reading, or the file cannot be read. A large file is mapped;
  // the rest of a smaller one is read in one piece of the file's size.
  bool TakeRest(HStoredText& rest);
  int Depth() const { return depth_; }

 private:
  int ReadLine();
  void SkipRestOfLine(int length);
  void Write(const char* text);
  void Write(const char* data, size_t size);
  void Indent();
  void WriteValue(const char* value);
  void Discard();

  HFile file_;      // a read
  HFileWriter writer_;  // a write
  char line_[kLineSize];
  int pending_length_ = 0;
  int depth_ = 0;
  const char* entry_name_ = nullptr;
  const char* entry_value_ = nullptr;
  HString long_name_;
  HString long_value_;
  bool failed_ = false;
  int skipped_lines_ = 0;
};

#endif  // OBJECTS_OBJECT_STREAM_H_
