// The export of a report for a range of days, as CSV or as JSON, written
// to standard output with the same figures the pages show. Reports are
// named by the statistic they come from (the children of the analysis):
//   day series  "hit", "root", "all", "visitors", "bytes": one row a day
//               and the figure of the whole range (visitors distinct over
//               it, not a sum);
//   rankings    "pages", "domains", "referrers", "agents", "systems",
//               "robots", "countries", "codes", "notfound": every row,
//               largest first, with bytes where the ranking keeps them;
//   hours       "times": the 24 hours summed over the range.
// The fields are described in docs/export.md.
#ifndef STATS_EXPORT_H_
#define STATS_EXPORT_H_

#include "core/date.h"
#include "objects/object.h"

enum class HExportFormat { kCsv, kJson };

// What kind of report the statistic `object` gives, or null when it gives
// none that can be exported.
const char* ExportKind(IObject* object);

// Writes the report of `object` (named `report`, for the audience word
// `audience`) over the days from `from` to `to`. Counts every day it needs
// however long that takes: an export is complete or is not made. False,
// writing nothing, when the object gives no report.
bool WriteExport(IObject* object, const char* report, const char* audience, const HDate& from, const HDate& to,
                 HExportFormat format);

#endif  // STATS_EXPORT_H_
