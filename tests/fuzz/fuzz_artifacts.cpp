// Unless told where, libFuzzer writes the inputs that crash, leak, hang or run out of memory
// into the current folder: a target run by hand in the source tree would leave them there to be
// committed by mistake. Without an -artifact_prefix or -exact_artifact_path of the caller's,
// they go to this target's folder in the build tree (tools/fuzz.sh names its own).
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    for (int i = 1; i < *argc; ++i) {
        const char* arg = (*argv)[i];
        if (std::strncmp(arg, "-artifact_prefix=", 17) == 0 || std::strncmp(arg, "-exact_artifact_path=", 21) == 0)
            return 0;
    }
    std::error_code ignored;  // a folder that cannot be made shows in libFuzzer's own write error
    std::filesystem::create_directories(KELVARIN_FUZZ_ARTIFACTS, ignored);
    static std::string flag = std::string("-artifact_prefix=") + KELVARIN_FUZZ_ARTIFACTS;
    static std::vector<char*> args;
    // Right after the program name: flags after -ignore_remaining_args=1 would not count.
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + 1, flag.data());
    args.push_back(nullptr);
    *argv = args.data();
    *argc += 1;
    return 0;
}
