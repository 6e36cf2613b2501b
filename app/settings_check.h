// The checks of what the settings page is about to save: the files it
// names must be there and open to the web server's user, the numbers must
// be numbers, the site's address must have a host, and a POST must carry
// the form at all. Each problem is said in a sentence for the page, which
// then saves nothing and shows the form again as it was sent.
#ifndef APP_SETTINGS_CHECK_H_
#define APP_SETTINGS_CHECK_H_

#include <string>
#include <vector>

class HParams;
class HVaziVev;

struct HSettingsProblem {
  std::string setting;  // the setting's name, or "Form" for the form as a whole
  std::string text;
};

// The settings the page saves, in the form's order.
extern const char* const kSettingNames[];

// Checks the settings posted in `posted` against those stored in `stored`
// (null before the first save). A file setting is checked only when it
// changes, and only while `password_set` (without a password the save
// refuses any change of them anyway): one that went missing since it was
// saved does not block the other settings. An empty list means the
// settings may be saved.
std::vector<HSettingsProblem> CheckSettings(const HParams& posted, const HVaziVev* stored, bool password_set);

// Why the web server's user (the process's effective user) cannot use the
// file at `path` as `what` ("The access log"): missing, not a plain file,
// not readable, or, with `write`, not writable; "" when it can. The text
// names the user, and the file's owner, group and mode.
std::string FileProblem(const char* what, const std::string& path, bool write);

#endif  // APP_SETTINGS_CHECK_H_
