// A scratch folder for a fuzz target, made once per process and removed with
// everything in it when the process exits. It goes under $TMPDIR when that
// is set, else under /dev/shm (the code under test syncs what it writes),
// else under /tmp. A fork-mode child killed by libFuzzer leaves its folder
// behind, so test.sh points TMPDIR at a folder of its own, in memory, and
// removes that afterwards.
#ifndef VAZIVEV_TESTS_FUZZ_SCRATCH_H_
#define VAZIVEV_TESTS_FUZZ_SCRATCH_H_

#include <string>

// The folder's path, without a trailing "/". Aborts when none can be made.
const std::string& ScratchFolder(const char* prefix);

#endif  // VAZIVEV_TESTS_FUZZ_SCRATCH_H_
