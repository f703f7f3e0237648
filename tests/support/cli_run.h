// Running kelvarin-cli as other tools call it: stdout the log, stderr the boxes, the exit status
// the result.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/test_files.h"

namespace kelvarin::test {

struct CliRun {
    int status;
    std::string out, err;
};

// Runs kelvarin-cli with `args` (shell words) in `dir`; stdout and stderr go through files there.
CliRun runCli(const TempDir& dir, const std::string& args);

// Starts kelvarin-cli with stdout and stderr into files of the folder, SIGINT and SIGTERM at their
// default (a test run in the background of a script would hand on an ignored SIGINT).
pid_t spawnCli(const TempDir& dir, const std::vector<std::string>& args);

}  // namespace kelvarin::test
