// The last piece of vazivev-update: each ranking's sum since the first day
// and those of the last two months, which their pages read made.
#ifndef APP_UPDATE_SUMS_H_
#define APP_UPDATE_SUMS_H_

#include <string>
#include <vector>

#include "core/date.h"

class HItemsContainer;

// Makes the sums of `rankings` over `days` (the days with a day file) on
// `jobs` processes, the biggest sum first, each to the process with the
// least so far (a sum's size guessed from its last day's file under
// `home`). A worker writes its sums' files itself and hands back where each
// begins (its ranking's "SetDate"); what a worker did not hand back, this
// process makes.
void MakeSums(const std::string& home, const std::vector<HItemsContainer*>& rankings, const std::vector<HDate>& days,
              int jobs);

#endif  // APP_UPDATE_SUMS_H_
