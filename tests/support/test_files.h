// Temporary folders and small file helpers for the tests.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace kelvarin::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // Full path of a file in the folder.
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void writeBytes(const std::string& path, const Bytes& bytes);
void writeText(const std::string& path, const std::string& text);
Bytes readBytes(const std::string& path);
bool exists(const std::string& path);
// A written height map with its DateTime text (bytes 234 to 253) blanked: the only part of two
// runs' TIFFs that may differ, when they fall in different seconds. Other files are left as they are.
Bytes withoutDateTime(Bytes file);
// The names in a folder, hidden ones too.
std::set<std::string> namesIn(const std::string& folder);
// The names in a folder that look like a destination's temporary file (".NAME.kelvarin-XXXXXX").
std::vector<std::string> temporaryFilesIn(const std::string& folder);

// While it lives, writing beyond `bytes` into any file fails the way a full disk does.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*previousHandler_)(int) = nullptr;
};

// Runs a shell command and returns its exit status; output goes to the given files if named.
int runCommand(const std::string& command);

}  // namespace kelvarin::test
