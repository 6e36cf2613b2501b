// The site of a command installed beside the program (vazivev-import,
// vazivev-update): the folder its own path names.
#ifndef APP_SITE_HOME_H_
#define APP_SITE_HOME_H_

#include <string>

// The absolute folder of `argv0`, ending in "/" ("./" resolved, when argv0
// names no folder).
std::string SiteHomeOf(const char* argv0);

#endif  // APP_SITE_HOME_H_
