#include "app/period.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/answers.h"
#include "core/iserver.h"
#include "core/text.h"
#include "stats/items.h"

namespace {

const char* const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};

// Days since 1970-01-01 of a valid date, and back: the proleptic
// Gregorian calendar's arithmetic, so that any span is one subtraction.
long DayIndex(const HDate& d) {
  const int y = d.year - (d.month <= 2 ? 1 : 0);
  const int era = y / 400;
  const int yoe = y - era * 400;
  const int mp = (d.month + 9) % 12;
  const int doy = (153 * mp + 2) / 5 + d.day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<long>(era) * 146097 + doe - 719468;
}

HDate FromIndex(long z) {
  z += 719468;
  const long era = z / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  HDate d;
  d.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  d.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  d.year = static_cast<int>(yoe + era * 400 + (d.month <= 2 ? 1 : 0));
  return d;
}

HDate AddDays(const HDate& d, long n) { return FromIndex(DayIndex(d) + n); }

// Monday of ISO week 1 of `year`: the week that holds 4 January.
HDate IsoWeekOne(int year) {
  HDate jan4;
  jan4.Set(year, 1, 4);
  const int monday_based = (jan4.DayOfWeek() + 6) % 7;  // 0 for Monday
  return AddDays(jan4, -monday_based);
}

// The ISO year and week of a date.
void IsoWeek(const HDate& d, int* year, int* week) {
  int y = d.year;
  HDate start = IsoWeekOne(y + 1);
  if (d.Compare(start) >= 0) {
    ++y;
  } else {
    start = IsoWeekOne(y);
    if (d.Compare(start) < 0) start = IsoWeekOne(--y);
  }
  *year = y;
  *week = static_cast<int>((DayIndex(d) - DayIndex(start)) / 7) + 1;
}

bool AllDigits(const char* text, size_t length) {
  if (strlen(text) != length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

std::string Iso(const HDate& d) {
  char text[kIsoDateSize];
  FormatIsoDate(d, text);
  return text;
}

}  // namespace

HPeriod::HPeriod(const char* name, FirstDay first_day) : IObject(name, 0), first_day_(first_day) {
  type_name_ = "Period";
}

void HPeriod::SetKind(const char* kind, const std::string& query) {
  kind_ = kind;
  query_ = query;
}

bool HPeriod::ReadPeriodWord(const char* word, const HDate& yesterday) {
  const HDate today = AddDays(yesterday, 1);
  const std::string text = word;
  if (CompareNoCase(word, "today") == 0) {
    from_ = to_ = today;
    SetKind("day", "period=today");
  } else if (CompareNoCase(word, "yesterday") == 0) {
    from_ = to_ = yesterday;
    SetKind("day", "period=yesterday");
  } else if (CompareNoCase(word, "last7") == 0 || CompareNoCase(word, "last30") == 0) {
    const int days = CompareNoCase(word, "last7") == 0 ? 7 : 30;
    to_ = yesterday;
    from_ = AddDays(yesterday, 1 - days);
    SetKind("range", std::string("period=last") + std::to_string(days));
  } else if (CompareNoCase(word, "thismonth") == 0) {
    from_.Set(today.year, today.month, 1);
    to_ = today.day == 1 ? today : yesterday;
    SetKind("month", "period=thismonth");
  } else if (CompareNoCase(word, "lastmonth") == 0) {
    HDate last = today;
    last.PreviousMonth();
    from_.Set(last.year, last.month, 1);
    to_ = last;
    SetKind("month", "period=lastmonth");
  } else if (CompareNoCase(word, "thisyear") == 0) {
    from_.Set(today.year, 1, 1);
    to_ = today.month == 1 && today.day == 1 ? today : yesterday;
    SetKind("year", "period=thisyear");
  } else if (CompareNoCase(word, "all") == 0) {
    from_ = first_day_ == nullptr ? HDate() : first_day_();
    if (!from_.IsValid() || from_.Compare(yesterday) > 0) from_ = yesterday;
    to_ = yesterday;
    SetKind("range", "period=all");
  } else if (AllDigits(word, 4)) {
    if (!from_.Set(atoi(word), 1, 1) || !to_.Set(atoi(word), 12, 31)) return false;
    SetKind("year", "period=" + text);
  } else if ((text.size() == 7 || text.size() == 6) && text[4] == '-' && AllDigits(text.substr(0, 4).c_str(), 4) &&
             AllDigits(text.substr(5).c_str(), text.size() - 5)) {
    if (!from_.Set(atoi(word), atoi(word + 5), 1)) return false;
    to_ = from_;
    to_.day = to_.DaysInMonth();
    SetKind("month", "period=" + text);
  } else if (text.size() == 8 && text[4] == '-' && (text[5] == 'W' || text[5] == 'w') &&
             AllDigits(text.substr(0, 4).c_str(), 4) && AllDigits(text.substr(6).c_str(), 2)) {
    const int year = atoi(word);
    const int week = atoi(word + 6);
    const HDate monday = IsoWeekOne(year);
    int last_year = 0;
    int last_week = 0;
    IsoWeek(AddDays(IsoWeekOne(year + 1), -1), &last_year, &last_week);
    if (week < 1 || week > last_week || !monday.IsValid()) return false;
    from_ = AddDays(monday, 7L * (week - 1));
    to_ = AddDays(from_, 6);
    char name[48];
    snprintf(name, sizeof name, "%04d-W%02d", year, week);
    SetKind("week", std::string("period=") + name);
  } else if (HDate::ParseDay(word, &from_)) {
    to_ = from_;
    SetKind("day", "period=" + Iso(from_));
  } else {
    return false;
  }
  return from_.IsValid() && to_.IsValid();
}

void HPeriod::Resolve() {
  if (resolved_) return;
  resolved_ = true;
  HDate today;
  today.SetToday();
  yesterday_ = today;
  yesterday_.PreviousDay();
  const auto param = [](const char* name) -> const char* {
    return CurrentServer == nullptr ? nullptr : CurrentServer->GetParam(name);
  };
  const char* from = param("from");
  const char* to = param("to");
  const char* period = param("period");
  const char* scope = param("scope");
  const char* date = param("Date");
  bool read = false;
  if (from != nullptr && *from != 0 && to != nullptr && *to != 0) {
    read = HDate::ParseDay(from, &from_) && HDate::ParseDay(to, &to_);
    SetKind("range", "from=" + Iso(from_) + "&to=" + Iso(to_));
  } else if (period != nullptr && *period != 0) {
    read = ReadPeriodWord(period, yesterday_);
  } else if (scope != nullptr && CompareNoCase(scope, "all") == 0) {
    read = ReadPeriodWord("all", yesterday_);
  } else {
    HDate day = yesterday_;
    read = date == nullptr || HDate::ParseDay(date, &day);
    if (read && scope != nullptr && CompareNoCase(scope, "month") == 0) {
      // The month up to the day: from the day after its date a month back.
      HDate start = day;
      start.PreviousMonth();
      if (day.day != day.DaysInMonth() && day.day < start.day) {
        start.day = day.day + 1;
      } else {
        start = day;
        start.day = 1;
      }
      from_ = start;
      to_ = day;
      SetKind("range", "from=" + Iso(from_) + "&to=" + Iso(to_));
    } else {
      from_ = to_ = day;
      SetKind("day", "period=" + Iso(day));
    }
  }
  if (!read || !from_.IsValid() || !to_.IsValid()) {
    error_ = "The period asked for is not one of the calendar's.";
  } else if (from_.Compare(to_) > 0) {
    error_ = "The period asked for ends before it begins.";
  } else if (from_.Compare(today) > 0) {
    error_ = "The period asked for lies in the future: there are no statistics for it yet.";
  }
  valid_ = error_.empty();
  if (!valid_) {
    // The pages fall back to yesterday, never to a made-up day.
    from_ = to_ = yesterday_;
    SetKind("day", "period=" + Iso(yesterday_));
    return;
  }
  // Only complete days count, but a single day may be today, which the
  // pages say is not over yet.
  if (to_.Compare(yesterday_) > 0 && !(from_.Compare(today) == 0 && to_.Compare(today) == 0)) to_ = yesterday_;
  if (from_.Compare(to_) > 0) from_ = to_;
}

std::string HPeriod::Label(const HDate& from, const HDate& to) const {
  char text[96];
  if (from.Compare(to) == 0) {
    snprintf(text, sizeof text, "%s %d %s %d", kWeekdayAbbreviations[from.DayOfWeek()], from.day, kMonthAbbreviations[from.month - 1],
             from.year);
  } else if (from.day == 1 && to.day == to.DaysInMonth() && from.month == to.month && from.year == to.year) {
    snprintf(text, sizeof text, "%s %d", kMonthNames[from.month - 1], from.year);
  } else if (from.month == 1 && from.day == 1 && to.month == 12 && to.day == 31 && from.year == to.year) {
    snprintf(text, sizeof text, "%d", from.year);
  } else {
    snprintf(text, sizeof text, "%d %s %d to %d %s %d", from.day, kMonthAbbreviations[from.month - 1], from.year, to.day,
             kMonthAbbreviations[to.month - 1], to.year);
  }
  std::string label = text;
  if (kind_ == "week") {
    int year = 0;
    int week = 0;
    IsoWeek(from, &year, &week);
    snprintf(text, sizeof text, "Week %d of %d: ", week, year);
    label = text + label;
  }
  return label;
}

const char* HPeriod::GetProperty(const char* name) {
  if (name == nullptr) return nullptr;
  Resolve();
  const long days = DayIndex(to_) - DayIndex(from_) + 1;
  const HDate prev_to = AddDays(from_, -1);
  const HDate prev_from = AddDays(from_, -days);
  if (CompareNoCase(name, "From") == 0) return NumberAnswer(from_.Number());
  if (CompareNoCase(name, "To") == 0) return NumberAnswer(to_.Number());
  if (CompareNoCase(name, "FromIso") == 0) return KeepAnswer(Iso(from_).c_str());
  if (CompareNoCase(name, "ToIso") == 0) return KeepAnswer(Iso(to_).c_str());
  if (CompareNoCase(name, "Days") == 0) return NumberAnswer(static_cast<int>(days));
  if (CompareNoCase(name, "Kind") == 0) return KeepAnswer(kind_.c_str());
  if (CompareNoCase(name, "Label") == 0) return KeepAnswer(Label(from_, to_).c_str());
  if (CompareNoCase(name, "Query") == 0) return KeepAnswer(query_.c_str());
  if (CompareNoCase(name, "Valid") == 0) return valid_ ? "1" : "";
  if (CompareNoCase(name, "IsToday") == 0) return from_.Compare(to_) == 0 && to_.Compare(yesterday_) > 0 ? "1" : "";
  if (CompareNoCase(name, "Error") == 0) return KeepAnswer(error_.c_str());
  if (CompareNoCase(name, "PrevFrom") == 0) return prev_from.IsValid() ? NumberAnswer(prev_from.Number()) : nullptr;
  if (CompareNoCase(name, "PrevTo") == 0) return prev_to.IsValid() ? NumberAnswer(prev_to.Number()) : nullptr;
  if (CompareNoCase(name, "GraphFrom") == 0) {
    // A day alone is drawn with the month before it, for its setting.
    return NumberAnswer((days == 1 ? AddDays(to_, -29) : from_).Number());
  }
  if (CompareNoCase(name, "PrevLabel") == 0) {
    return prev_from.IsValid() ? KeepAnswer(Label(prev_from, prev_to).c_str()) : nullptr;
  }
  if (CompareNoCase(name, "BackQuery") == 0 || CompareNoCase(name, "NextQuery") == 0) {
    const bool back = CompareNoCase(name, "BackQuery") == 0;
    HDate from;
    HDate to;
    std::string query;
    if (kind_ == "month" && from_.day == 1) {
      from = from_;
      if (back) {
        from.PreviousMonth();
        from.day = 1;
      } else {
        from.NextMonth();
      }
      to = from;
      to.day = to.DaysInMonth();
      char text[48];
      snprintf(text, sizeof text, "period=%04d-%02d", from.year, from.month);
      query = text;
    } else if (kind_ == "year" && from_.month == 1 && from_.day == 1) {
      from.Set(from_.year + (back ? -1 : 1), 1, 1);
      to.Set(from.year, 12, 31);
      query = "period=" + std::to_string(from.year);
    } else {
      // Days, weeks and ranges step by their length.
      const long step = kind_ == "week" ? 7 : days;
      from = AddDays(from_, back ? -step : step);
      to = AddDays(from, (kind_ == "week" ? 7 : days) - 1);
      if (kind_ == "day") {
        query = "period=" + Iso(from);
      } else if (kind_ == "week") {
        int year = 0;
        int week = 0;
        IsoWeek(from, &year, &week);
        char text[48];
        snprintf(text, sizeof text, "period=%04d-W%02d", year, week);
        query = text;
      } else {
        query = "from=" + Iso(from) + "&to=" + Iso(to);
      }
    }
    if (!from.IsValid() || (!back && from.Compare(yesterday_) > 0)) return "";
    return KeepAnswer(query.c_str());
  }
  return IObject::GetProperty(name);
}

const char* HPeriod::Call(const char* method, int argc, const char* const* argv) {
  if (method != nullptr && CompareNoCase(method, "Share") == 0) {
    if (argc < 2 || argv[0] == nullptr || argv[1] == nullptr) return "";
    const long double part = strtold(argv[0], nullptr);
    const long double whole = strtold(argv[1], nullptr);
    if (!(whole > 0) || part < 0) return "";
    char text[32];
    snprintf(text, sizeof text, "%.1Lf%%", part * 100 / whole);
    return KeepAnswer(text);
  }
  if (method == nullptr || CompareNoCase(method, "Change") != 0) return IObject::Call(method, argc, argv);
  if (argc < 2 || argv[0] == nullptr || argv[1] == nullptr || *argv[0] < '0' || *argv[0] > '9' ||
      *argv[1] < '0' || *argv[1] > '9') {
    return "";
  }
  return KeepAnswer(ChangeText(strtoll(argv[0], nullptr, 10), strtoll(argv[1], nullptr, 10)).c_str());
}
