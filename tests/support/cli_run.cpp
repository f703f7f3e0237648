#include "support/cli_run.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>

extern char** environ;

namespace kelvarin::test {

CliRun runCli(const TempDir& dir, const std::string& args) {
    const std::string out = dir.file("stdout.txt"), err = dir.file("stderr.txt");
    CliRun run;
    run.status = runCommand("cd '" + dir.path() + "' && '" KELVARIN_CLI_PATH "' " + args + " >'" + out + "' 2>'" +
                            err + "' </dev/null");
    const Bytes o = readBytes(out), e = readBytes(err);
    run.out.assign(o.begin(), o.end());
    run.err.assign(e.begin(), e.end());
    return run;
}

pid_t spawnCli(const TempDir& dir, const std::vector<std::string>& args) {
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, dir.file("stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, 2, dir.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    std::vector<std::string> words{KELVARIN_CLI_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, KELVARIN_CLI_PATH, &files, &attributes, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    return pid;
}

}  // namespace kelvarin::test
