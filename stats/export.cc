#include "stats/export.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/text.h"
#include "stats/count_budget.h"
#include "stats/hit.h"
#include "stats/item_container.h"
#include "stats/times.h"

namespace {

// A CSV field: quoted when it holds a comma, a quote or a line break, its
// quotes doubled (RFC 4180); bytes are written as they are.
void WriteCsvField(const char* text) {
  if (strpbrk(text, ",\"\r\n") == nullptr) {
    fputs(text, stdout);
    return;
  }
  putchar('"');
  for (const char* p = text; *p != 0; ++p) {
    if (*p == '"') putchar('"');
    putchar(*p);
  }
  putchar('"');
}

// The length of the valid UTF-8 sequence at p, or 0.
int Utf8Length(const unsigned char* p) {
  int length = 0;
  unsigned int least = 0;
  if (p[0] >= 0xc2 && p[0] <= 0xdf) {
    length = 2;
    least = 0x80;
  } else if (p[0] >= 0xe0 && p[0] <= 0xef) {
    length = 3;
    least = 0x800;
  } else if (p[0] >= 0xf0 && p[0] <= 0xf4) {
    length = 4;
    least = 0x10000;
  } else {
    return 0;
  }
  unsigned int code = p[0] & (0x3f >> (length - 1));
  for (int i = 1; i < length; ++i) {
    if ((p[i] & 0xc0) != 0x80) return 0;
    code = code << 6 | (p[i] & 0x3f);
  }
  if (code < least || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
  return length;
}

// A JSON string: the log's bytes as UTF-8 where they are valid UTF-8, any
// other byte as the character of its value (\u00XX), so that the text is
// always valid JSON and every byte can be told again.
void WriteJsonString(const char* text) {
  putchar('"');
  for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p != 0;) {
    if (*p == '"' || *p == '\\') {
      printf("\\%c", *p++);
    } else if (*p < 0x20 || *p == 0x7f) {
      printf("\\u%04x", *p++);
    } else if (*p < 0x80) {
      putchar(*p++);
    } else if (const int length = Utf8Length(p)) {
      fwrite(p, 1, static_cast<size_t>(length), stdout);
      p += length;
    } else {
      printf("\\u%04x", *p++);
    }
  }
  putchar('"');
}

// The statistic's "Range" method over the days from `from` to `to`.
void CallRange(IObject* object, const HDate& from, const HDate& to) {
  char first[16];
  char last[16];
  snprintf(first, sizeof first, "%d", from.Number());
  snprintf(last, sizeof last, "%d", to.Number());
  const char* range[] = {first, last};
  object->Call("Range", 2, range);
}

void WriteJsonHead(const char* report, const char* kind, const char* audience, const HDate& from, const HDate& to) {
  char a[kIsoDateSize];
  char b[kIsoDateSize];
  FormatIsoDate(from, a);
  FormatIsoDate(to, b);
  fputs("{\"report\":", stdout);
  WriteJsonString(report);
  printf(",\"kind\":\"%s\",\"audience\":", kind);
  WriteJsonString(*audience == 0 ? "all" : audience);
  printf(",\"from\":\"%s\",\"to\":\"%s\"", a, b);
}

void ExportDays(HHit* hit, const char* report, const char* audience, const HDate& from, const HDate& to,
                HExportFormat format) {
  CallRange(hit, from, to);
  const char* total = hit->GetProperty("Sum");
  const std::string sum = total == nullptr ? "0" : total;
  if (format == HExportFormat::kCsv) {
    fputs("date,value\n", stdout);
  } else {
    WriteJsonHead(report, "days", audience, from, to);
    printf(",\"total\":%s,\"days\":[", sum.c_str());
  }
  bool first_row = true;
  for (const char* day = hit->First() ? hit->NextName() : nullptr; day != nullptr; day = hit->NextName()) {
    const std::string name = day;
    const char* value = hit->GetProperty(name.c_str());
    if (value == nullptr || *value == 0) continue;  // a day without data
    HDate date;
    date.SetNumber(ToInt(name.c_str()));
    char iso[kIsoDateSize];
    FormatIsoDate(date, iso);
    if (format == HExportFormat::kCsv) {
      printf("%s,%s\n", iso, value);
    } else {
      printf("%s{\"date\":\"%s\",\"value\":%s}", first_row ? "" : ",", iso, value);
    }
    first_row = false;
  }
  if (format == HExportFormat::kJson) fputs("]}\n", stdout);
}

void ExportRanking(HItemsContainer* container, const char* report, const char* audience, const HDate& from,
                   const HDate& to, HExportFormat format) {
  CallRange(container, from, to);
  HItemsHit& result = container->Result();
  const bool bytes = result.CountsBytes();
  // Every row, in the ranking's order: the "lines" setting bounds pages,
  // not exports.
  std::vector<const HItemEntry*> rows;
  for (int i = 0; i < result.RankedCount(); ++i) rows.push_back(result.Ranked(i));
  long long total = 0;
  for (const HItemEntry* row : rows) total += row->count;
  if (format == HExportFormat::kCsv) {
    fputs(bytes ? "rank,name,requests,bytes\n" : "rank,name,requests\n", stdout);
  } else {
    WriteJsonHead(report, "ranking", audience, from, to);
    printf(",\"total\":%lld,\"rows\":[", total);
  }
  int rank = 0;
  for (const HItemEntry* row : rows) {
    ++rank;
    if (format == HExportFormat::kCsv) {
      printf("%d,", rank);
      WriteCsvField(row->name.CStr());
      printf(",%d", row->count);
      if (bytes) printf(",%lld", row->bytes);
      putchar('\n');
    } else {
      printf("%s{\"rank\":%d,\"name\":", rank == 1 ? "" : ",", rank);
      WriteJsonString(row->name.CStr());
      printf(",\"requests\":%d", row->count);
      if (bytes) printf(",\"bytes\":%lld", row->bytes);
      putchar('}');
    }
  }
  if (format == HExportFormat::kJson) fputs("]}\n", stdout);
}

void ExportHours(HTimesContainer* times, const char* report, const char* audience, const HDate& from,
                 const HDate& to, HExportFormat format) {
  CallRange(times, from, to);
  IObject* hours = times->FindChild("Hours");
  if (format == HExportFormat::kCsv) {
    fputs("hour,requests\n", stdout);
  } else {
    WriteJsonHead(report, "hours", audience, from, to);
    fputs(",\"hours\":[", stdout);
  }
  for (int hour = 0; hour < HTimesHit::kHours; ++hour) {
    char name[16];
    snprintf(name, sizeof name, "%d", hour);
    const char* value = hours == nullptr ? nullptr : hours->GetProperty(name);
    const long long requests = value == nullptr ? 0 : strtoll(value, nullptr, 10);
    if (format == HExportFormat::kCsv) {
      printf("%d,%lld\n", hour, requests);
    } else {
      printf("%s{\"hour\":%d,\"requests\":%lld}", hour == 0 ? "" : ",", hour, requests);
    }
  }
  if (format == HExportFormat::kJson) fputs("]}\n", stdout);
}

}  // namespace

const char* ExportKind(IObject* object) {
  if (dynamic_cast<HHit*>(object) != nullptr) return "days";
  if (dynamic_cast<HItemsContainer*>(object) != nullptr) return "ranking";
  if (dynamic_cast<HTimesContainer*>(object) != nullptr) return "hours";
  return nullptr;
}

bool WriteExport(IObject* object, const char* report, const char* audience, const HDate& from, const HDate& to,
                 HExportFormat format) {
  if (ExportKind(object) == nullptr || report == nullptr || !from.IsValid() || !to.IsValid()) return false;
  if (audience == nullptr) audience = "";
  // Complete or not at all: no count budget.
  SetCountBudget(-1);
  if (auto* hit = dynamic_cast<HHit*>(object)) {
    ExportDays(hit, report, audience, from, to, format);
  } else if (auto* ranking = dynamic_cast<HItemsContainer*>(object)) {
    ExportRanking(ranking, report, audience, from, to, format);
  } else if (auto* times = dynamic_cast<HTimesContainer*>(object)) {
    ExportHours(times, report, audience, from, to, format);
  }
  return true;
}
