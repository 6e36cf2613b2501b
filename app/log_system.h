// The application's system classes: HLogSystem adds the "LogDate" object,
// the "Admin" page guard and the object type rule for the administrator;
// HVaziVevSystem names the login page. HLogDate answers month-end dates for
// the selected day.
#ifndef APP_LOG_SYSTEM_H_
#define APP_LOG_SYSTEM_H_

#include "app/period.h"
#include "core/errors.h"
#include "objects/object.h"
#include "system/system.h"

class HLogDate : public IObject {
 public:
  HLogDate(const char* name, HDateObject* date);
  // "LastDate", "PrevLastDate", "NextLastDate" (yyyymmdd, "-1" when
  // invalid) and "PrevLastDay"; "DayStatus", whether the selected day is
  // "past" (complete, with statistics), "today", "future" or "invalid";
  // the moves ("prevday", "nextweek", "nextmonth", ...) as the "Date"
  // object, but empty when they land after today; other names as the
  // "Date" object.
  const char* GetProperty(const char* name) override;

 private:
  HDateObject* date_;
};

class HLogSystem : public HSystem {
 public:
  // Moves the selected day back to yesterday.
  HLogSystem();

  // "Visitor": "1" when the request is a visitor's (see HAdmin::IsVisitor),
  // else null, as is every request while no administrator exists. Never
  // raises, so that every page may ask. Other names as HSystem.
  const char* GetProperty(const char* name) override;
  // "Admin": raises the login page name when the administrator exists and
  // is not logged in; other methods as HSystem.
  const char* Call(const char* method, int argc, const char* const* argv) override;
  // "LogDate", "Period" (app/period.h); other names as HSystem. Raises ErrorFileLoad for "Admin"
  // when its file exists but cannot be read as an object.
  IObject* FindChild(const char* name) override;
  // A child named "Admin" is the administrator, whatever its type.
  IObject* CreateObject(const char* name, const char* type_name) override;

 protected:
  const char* login_page_ = nullptr;
  HLogDate log_date_;
  HPeriod period_;
};

class HVaziVevSystem : public HLogSystem {
 public:
  HVaziVevSystem() { login_page_ = VaziVevLogin; }
  // "CheckSettings": checks the settings a POST is about to save (see
  // app/settings_check.h). A problem sets the parameter "refused", one
  // parameter setting name + "Problem" with its sentence for each, and the
  // answer's status 400; the form's settings that the POST left out are
  // set to their stored values, so that saving it changes only what it
  // sent. Other methods as HLogSystem.
  const char* Call(const char* method, int argc, const char* const* argv) override;
  // Type "VaziVev" makes the analysis object (HVaziVev); other types as
  // HLogSystem.
  IObject* CreateObject(const char* name, const char* type_name) override;
};

#endif  // APP_LOG_SYSTEM_H_
