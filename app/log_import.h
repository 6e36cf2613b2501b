// vazivev-import: brings a site's history into its day files, from the
// files the web server and logrotate kept (plain, .gz, .bz2, .xz, .zst, in
// any order). Each file goes where the split puts its lines, in pieces of
// at most about a second under the site's lock, so that visitors wait no
// longer than that. Every file imported is recorded by a fingerprint of its
// first bytes in logs/imported, so that importing it again, or importing
// the file that "Follow" reads, adds nothing. An import that was stopped
// (logs/importing names its file) is finished first by the next one.
#ifndef APP_LOG_IMPORT_H_
#define APP_LOG_IMPORT_H_

#include <cstdio>
#include <string>
#include <vector>

// Imports `files` into the site at `home` (ending in "/"), saying what it
// does on `out` (progress only when `progress`) and problems on stderr.
// Returns 0 when every file was read, 1 when some could not be.
int RunImport(const std::string& home, std::vector<std::string> files, FILE* out, bool progress);

#endif  // APP_LOG_IMPORT_H_
