// Name resolution: turns a name written in a template ($name in a text
// line, a "$" token of a directive) into a text value or an object. The
// sources, in order: request parameters, the object tree under the system
// object, names bound with the set directive, date and time fragments of
// values, and dates composed from several form fields. Everything goes
// through CurrentServer; with no server or no system object every lookup
// misses. A miss is null, never an error.
#ifndef SCRIPT_NAMES_H_
#define SCRIPT_NAMES_H_

#include "core/list.h"
#include "core/text.h"

class IObject;

// The names bound to objects by the set directive, in the order of binding,
// found without regard to case. Holds the objects without owning them.
class HObjectAliases {
 public:
  HObjectAliases() = default;
  HObjectAliases(const HObjectAliases&) = delete;
  HObjectAliases& operator=(const HObjectAliases&) = delete;

  // The object bound to `name`, or null.
  IObject* Find(const char* name) const;
  // Rebinds an existing name, else appends a new binding.
  void Bind(const char* name, IObject* object);
  // Removes the binding (never the object); no binding: nothing.
  void Unbind(const char* name);
  void Clear();

 private:
  struct Entry {
    HString name;
    IObject* object;
  };
  static const char* NameOf(const Entry* entry) { return entry->name.CStr(); }

  HNamedList<Entry, NameOf, HDeleteElements> entries_;
};

// Process-wide, starts empty; one request is one process.
extern HObjectAliases ObjectAliases;

// Null for null; the token itself unless it begins with "$", else the
// value of the name after the "$".
const char* TokenValue(const char* token);
// Null for null; else the object of the token without one leading "$".
IObject* TokenObject(const char* token);
// The text value of a name, or null. An object's answer stays valid until
// the process ends; a request parameter's value until that parameter is
// set again.
const char* ResolveValue(const char* name);
// The object a dotted path denotes, or null.
IObject* ResolveObject(const char* name);
// The object for the first component of a path: System, a child of the
// system object, or a name bound with set; else null.
IObject* FindTopObject(const char* name);
// A fragment ("Year", "Month", "Day", "WDay", "Hour", "Minute", "Second",
// "Hour00", "Minute00", "Second00") of a yyyymmdd, hhmm, hhmmss or
// yyyymmddhhmmss text; null when the value is too short or the part
// unknown. Answers are kept (core/answers.h).
const char* DatePart(const char* value, const char* part);
// The date or time entered in the form fields name.Year, name.Month, ...
// as yyyymmdd[hhmm[ss]], "1" for a clicked image button name.x, or null.
const char* FormDateValue(const char* name);

#endif  // SCRIPT_NAMES_H_
