#include "app/log_system.h"

#include "app/settings_check.h"
#include "core/answers.h"
#include "core/iserver.h"
#include "server/server.h"
#include "stats/vazivev.h"
#include "system/admin.h"

namespace {

bool IsMove(const char* name) {
  for (const char* move : {"prevday", "prevweek", "prevmonth", "nextday", "nextweek", "nextmonth"}) {
    if (CompareNoCase(name, move) == 0) return true;
  }
  return false;
}

}  // namespace

HLogDate::HLogDate(const char* name, HDateObject* date) : IObject(name, 0), date_(date) {
  type_name_ = "LogDate";
}

const char* HLogDate::GetProperty(const char* name) {
  HDate copy = date_->Date();
  if (CompareNoCase(name, "DayStatus") == 0) {
    if (!copy.IsValid()) return "invalid";
    HDate today;
    if (!today.SetToday()) return "invalid";
    const int order = copy.Compare(today);
    return order < 0 ? "past" : order == 0 ? "today" : "future";
  }
  if (IsMove(name)) {
    // The ways through the calendar stop at today: no day after it has
    // statistics.
    const char* next = date_->GetProperty(name);
    HDate today;
    return today.SetToday() && ToInt(next) > today.Number() ? "" : next;
  }
  int value = 0;
  const bool month_end = CompareNoCase(name, "LastDate") == 0 || CompareNoCase(name, "PrevLastDate") == 0 ||
                         CompareNoCase(name, "NextLastDate") == 0 || CompareNoCase(name, "PrevLastDay") == 0;
  if (month_end && !copy.IsValid()) {
    // Stepping from an invalid day can land on a valid one (month 13 goes
    // to January): an invalid selected day has no month ends.
    value = CompareNoCase(name, "PrevLastDay") == 0 ? 0 : -1;
  } else if (CompareNoCase(name, "LastDate") == 0) {
    copy.day = copy.DaysInMonth();
    value = copy.Number();
  } else if (CompareNoCase(name, "PrevLastDate") == 0) {
    copy.PreviousMonth();
    copy.day = copy.DaysInMonth();
    value = copy.Number();
  } else if (CompareNoCase(name, "NextLastDate") == 0) {
    copy.NextMonth();
    copy.day = copy.DaysInMonth();
    value = copy.Number();
  } else if (CompareNoCase(name, "PrevLastDay") == 0) {
    copy.PreviousMonth();
    value = copy.DaysInMonth();
  } else {
    return date_->GetProperty(name);
  }
  return NumberAnswer(value);
}

namespace {

// The first day with data of the request's analysis: its first day file,
// else the first day it knows of; invalid without one.
HDate AnalysisFirstDay() {
  IObject* system = CurrentServer == nullptr ? nullptr : CurrentServer->GetSystem();
  auto* log = system == nullptr ? nullptr : dynamic_cast<HVaziVev*>(system->FindChild("vazivev"));
  if (log == nullptr) return HDate();
  const std::vector<HDate>& days = log->DaysWithFiles();
  HDate first = log->FirstDay();
  if (!days.empty() && (!first.IsValid() || days.front().Compare(first) < 0)) first = days.front();
  return first;
}

}  // namespace

HLogSystem::HLogSystem() : log_date_("LogDate", &date_), period_("Period", AnalysisFirstDay) {
  date_.Date().PreviousDay();
}

const char* HLogSystem::GetProperty(const char* name) {
  if (CompareNoCase(name, "Visitor") != 0) return HSystem::GetProperty(name);
  auto* admin = dynamic_cast<HAdmin*>(HSystem::FindChild("Admin"));
  // A file that is there but cannot be read counts as a password set.
  if (admin == nullptr) return HasStoredFile("admin") ? "1" : nullptr;
  return admin->IsVisitor() ? "1" : nullptr;
}

const char* HLogSystem::Call(const char* method, int argc, const char* const* argv) {
  if (CompareNoCase(method, "Admin") != 0) return HSystem::Call(method, argc, argv);
  auto* admin = dynamic_cast<HAdmin*>(FindChild("Admin"));
  if (admin != nullptr && admin->CheckAdmin() == HAdmin::kNotLoggedIn && login_page_ != nullptr) {
    throw login_page_;
  }
  return nullptr;
}

IObject* HLogSystem::FindChild(const char* name) {
  if (CompareNoCase(name, "LogDate") == 0) return &log_date_;
  if (CompareNoCase(name, "Period") == 0) return &period_;
  IObject* child = HSystem::FindChild(name);
  // An administrator's file that is there but cannot be read or parsed
  // must not count as "no password": that would let everybody in.
  if (child == nullptr && CompareNoCase(name, "Admin") == 0 && HasStoredFile("admin")) throw ErrorFileLoad;
  return child;
}

IObject* HLogSystem::CreateObject(const char* name, const char* type_name) {
  if (CompareNoCase(name, "Admin") == 0) return new HAdmin(name);
  return HSystem::CreateObject(name, type_name);
}

IObject* HVaziVevSystem::CreateObject(const char* name, const char* type_name) {
  if (CompareNoCase(type_name, "VaziVev") == 0) return new HVaziVev(name);
  return HLogSystem::CreateObject(name, type_name);
}

const char* HVaziVevSystem::Call(const char* method, int argc, const char* const* argv) {
  if (CompareNoCase(method, "CheckSettings") != 0) return HLogSystem::Call(method, argc, argv);
  auto* stored = dynamic_cast<HVaziVev*>(FindChild("vazivev"));
  bool carried = false;
  for (const char* const* name = kSettingNames; *name != nullptr; ++name) carried |= Params.GetValue(*name) != nullptr;
  // Checked as they would be saved: what the POST left out stays.
  for (const char* const* name = kSettingNames; carried && stored != nullptr && *name != nullptr; ++name) {
    if (Params.GetValue(*name) == nullptr) Params.SetValue(*name, stored->Setting(*name));
  }
  auto* admin = dynamic_cast<HAdmin*>(FindChild("Admin"));
  const bool password_set = admin != nullptr && admin->CheckAdmin() != HAdmin::kNoPassword;
  const std::vector<HSettingsProblem> problems = CheckSettings(Params, stored, password_set);
  if (problems.empty()) return nullptr;
  Params.SetValue("refused", "1");
  for (const HSettingsProblem& problem : problems) Params.SetValue((problem.setting + "Problem").c_str(), problem.text.c_str());
  if (server_ != nullptr) server_->SetStatus(400);
  return nullptr;
}
