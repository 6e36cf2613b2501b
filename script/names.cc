#include "script/names.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/answers.h"
#include "core/date.h"
#include "core/iserver.h"
#include "objects/object.h"

HObjectAliases ObjectAliases;

namespace {

const char* const kWeekdayNames[] = {"\xC6\xFC", "\xB7\xEE", "\xB2\xD0", "\xBF\xE5",
                                     "\xCC\xDA", "\xB6\xE2", "\xC5\xDA"};
const char* const kDateParts[] = {"Year",   "Month",  "Day",      "WDay",     "Hour",
                                  "Minute", "Second", "Hour00", "Minute00", "Second00"};
// The parts in the order of kDateParts: four of the date, then the time's
// three fields as numbers and again as two digits.
enum DatePartIndex {
  kPartYear, kPartMonth, kPartDay, kPartWeekday, kPartHour, kPartMinute, kPartSecond,
  kPartHour00, kPartMinute00, kPartSecond00, kPartCount
};
static_assert(sizeof kDateParts / sizeof kDateParts[0] == kPartCount, "one name per part");
constexpr int kDateLength = 8;       // yyyymmdd
constexpr int kStampLength = 14;     // yyyymmddhhmmss
constexpr int kTimeFieldCount = 3;   // hour, minute, second

IObject* System() { return CurrentServer != nullptr ? CurrentServer->GetSystem() : nullptr; }

const char* Param(const char* name) {
  return CurrentServer != nullptr ? CurrentServer->GetParam(name) : nullptr;
}

// A path component: the component itself, or for "$name" the value of the
// parameter name (null when there is none).
const char* Component(const char* component) {
  return component[0] == '$' ? Param(component + 1) : component;
}

// The value of `path` read on `object`: children for every component but
// the last, which names the property; a component that names no child is
// read as a property whose value the rest of the path takes apart.
const char* PropertyPath(IObject* object, const char* path) {
  for (;;) {
    const char* dot = strchr(path, '.');
    if (dot == nullptr) {
      const char* property = Component(path);
      return property == nullptr ? nullptr : object->GetProperty(property);
    }
    const std::string written(path, dot - path);
    const char* name = Component(written.c_str());
    if (name == nullptr) return nullptr;
    IObject* child = object->FindChild(name);
    if (child == nullptr) {
      const char* value = object->GetProperty(written.c_str());
      if (value == nullptr || *value == 0) return nullptr;
      return DatePart(value, dot + 1);
    }
    object = child;
    path = dot + 1;
  }
}

// The two bytes of `value` at `at` read as a number.
int TwoDigits(const char* value, int at) {
  const char digits[3] = {value[at], value[at + 1], 0};
  return atoi(digits);
}

}  // namespace

IObject* HObjectAliases::Find(const char* name) const {
  const Entry* entry = entries_.Find(name);
  return entry == nullptr ? nullptr : entry->object;
}

void HObjectAliases::Bind(const char* name, IObject* object) {
  if (Entry* entry = entries_.Find(name)) {
    entry->object = object;
  } else {
    entries_.PushBack(new Entry{HString(name), object});
  }
}

void HObjectAliases::Unbind(const char* name) {
  if (HListNode* node = entries_.FindNode(name)) entries_.Remove(node);
}

void HObjectAliases::Clear() { entries_.Clear(); }

const char* TokenValue(const char* token) {
  if (token == nullptr) return nullptr;
  return token[0] == '$' ? ResolveValue(token + 1) : token;
}

IObject* TokenObject(const char* token) {
  if (token == nullptr) return nullptr;
  return ResolveObject(token[0] == '$' ? token + 1 : token);
}

IObject* FindTopObject(const char* name) {
  IObject* system = System();
  if (system == nullptr) return nullptr;
  if (CompareNoCase(name, "System") == 0) return system;
  if (IObject* child = system->FindChild(name)) return child;
  return ObjectAliases.Find(name);
}

IObject* ResolveObject(const char* name) {
  if (name == nullptr) return nullptr;
  const char* dot = strchr(name, '.');
  if (dot == nullptr) return FindTopObject(name);
  IObject* object = FindTopObject(std::string(name, dot - name).c_str());
  while (object != nullptr && dot != nullptr) {
    const char* component = dot + 1;
    dot = strchr(component, '.');
    const std::string written = dot == nullptr ? std::string(component)
                                               : std::string(component, dot - component);
    const char* child = Component(written.c_str());
    object = child == nullptr ? nullptr : object->FindChild(child);
  }
  return object;
}

const char* ResolveValue(const char* name) {
  if (name == nullptr || CurrentServer == nullptr) return nullptr;
  const char* dot = strchr(name, '.');
  if (dot == nullptr) {
    if (const char* value = Param(name)) return value;
    if (const char* value = FormDateValue(name)) return value;
    IObject* system = System();
    return system == nullptr ? nullptr : system->GetProperty(name);
  }
  const std::string head(name, dot - name);
  if (IObject* object = FindTopObject(head.c_str())) return PropertyPath(object, dot + 1);
  // Forms send dotted names too (image buttons, grouped fields).
  if (const char* value = Param(name)) return value;
  const char* value = Param(head.c_str());
  if (value == nullptr || *value == 0) return nullptr;
  return DatePart(value, dot + 1);
}

const char* DatePart(const char* value, const char* part) {
  if (value == nullptr || part == nullptr) return nullptr;
  int index = 0;
  while (index < kPartCount && CompareNoCase(part, kDateParts[index]) != 0) ++index;
  if (index == kPartCount) return nullptr;
  const int length = static_cast<int>(strlen(value));
  if (index <= kPartWeekday) {
    if (length < kDateLength) return nullptr;
    const int n = atoi(std::string(value, kDateLength).c_str());
    switch (index) {
      case kPartYear: return NumberAnswer(n / 10000);
      case kPartMonth: return NumberAnswer(n % 10000 / 100);
      case kPartDay: return NumberAnswer(n % 100);
      default: {
        HDate date;
        if (!HDate::Parse(std::string(value, kDateLength).c_str(), &date)) return nullptr;
        return kWeekdayNames[date.DayOfWeek()];
      }
    }
  }
  const int field = (index - kPartHour) % kTimeFieldCount;  // 0 hour, 1 minute, 2 second
  int at = 0;
  if (length >= kStampLength) {
    at = kDateLength + 2 * field;
  } else if (length >= 2 + 2 * field) {
    at = 2 * field;
  } else {
    return nullptr;
  }
  if (index <= kPartSecond) return NumberAnswer(TwoDigits(value, at));
  return KeepAnswer(value + at, 2);
}

const char* FormDateValue(const char* name) {
  if (name == nullptr || CurrentServer == nullptr) return nullptr;
  const std::string base(name);
  auto field = [&base](const char* suffix) { return Param((base + "." + suffix).c_str()); };
  const char* year = field("Year");
  const char* hour = field("Hour");
  if (field("x") != nullptr) return "1";
  if (year == nullptr && hour == nullptr) return nullptr;
  char text[32] = "";
  if (year != nullptr) {
    if (!IsDigit(year[0])) return nullptr;
    const int y = ToInt(year), m = ToInt(field("Month")), d = ToInt(field("Day"));
    if (y < 0 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return nullptr;
    snprintf(text, sizeof text, "%d", y * 10000 + m * 100 + d);
  }
  if (hour != nullptr) {
    if (!IsDigit(hour[0])) return nullptr;
    const char* second = field("Second");
    const int h = ToInt(hour), mi = ToInt(field("Minute")), s = ToInt(second);
    if (h < 0 || h > 24 || mi < 0 || mi > 59 || s < 0 || s > 59) return nullptr;
    const size_t used = strlen(text);
    if (second != nullptr) {
      snprintf(text + used, sizeof text - used, "%02d%02d%02d", h, mi, s);
    } else {
      snprintf(text + used, sizeof text - used, "%02d%02d", h, mi);
    }
  }
  return KeepAnswer(text);
}
