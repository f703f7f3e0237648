// Opens bytes in memory through the table of source formats and decodes every row, the way the
// job asks for them: in runs, and a second pass from row 0 after the first.
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/byte_source.h"
#include "formats/source_format.h"
#include "support/test_files.h"

namespace kelvarin::test {

struct Decoded {
    const SourceFormat* format = nullptr;  // nullptr: no sniff took the bytes
    OpenedSource opened;
    bool decoded = false;  // every row of both passes
    std::string failure;   // the decoder's, when it failed
    Bytes rows;            // the first pass
    bool passesAgree = false;
};

inline Decoded decodeSource(const Bytes& bytes, std::uint32_t run = 7) {
    Decoded d;
    MemoryBytes source(bytes.data(), bytes.size());
    d.format = sniffSourceFormat(source);
    if (!d.format) return d;
    d.opened = d.format->open(source);
    if (d.opened.report.refused() || !d.opened.rows) return d;
    const std::size_t rowBytes = std::size_t{d.opened.width} * d.opened.layout.bytesPerPixel();
    Bytes second;
    for (Bytes* pass : {&d.rows, &second}) {
        pass->assign(rowBytes * d.opened.length, 0xA5);
        for (std::uint32_t first = 0; first < d.opened.length; first += run) {
            const std::uint32_t count = std::min(run, d.opened.length - first);
            if (!d.opened.rows->readRows(first, count, pass->data() + first * rowBytes)) {
                d.failure = d.opened.rows->failure();
                return d;
            }
        }
    }
    d.decoded = true;
    d.passesAgree = d.rows == second;
    return d;
}

// The lines of a reference script's manifest, each split at '|'.
inline std::vector<std::vector<std::string>> manifestRows(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '|');) fields.push_back(field);
        rows.push_back(fields);
    }
    return rows;
}

inline std::string testToolsDir() {
    const std::string here = __FILE__;
    const std::string support = here.substr(0, here.find_last_of('/'));
    return support.substr(0, support.find_last_of('/')) + "/tools";
}

// A folder of files that a script of tests/tools made once for a whole suite: nullptr (the suite
// then skips, as the test command installs what the script needs) when `requirements`, a shell
// command, fails or the script does.
inline TempDir* makeReferenceFolder(const std::string& requirements, const std::string& script) {
    if (runCommand(requirements + " >/dev/null 2>&1") != 0) return nullptr;
    auto* dir = new TempDir;
    if (runCommand("/usr/bin/python3 " + testToolsDir() + "/" + script + " " + dir->path() + " >/dev/null") == 0)
        return dir;
    delete dir;
    return nullptr;
}

}  // namespace kelvarin::test
