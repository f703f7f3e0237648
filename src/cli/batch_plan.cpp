#include "cli/batch_plan.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "formats/file.h"
#include "ui/ids.h"
#include "ui/source_commands.h"

namespace kelvarin {

namespace {

namespace fs = std::filesystem;

// The conversion commands whose sources a folder can stand for.
const std::vector<BatchCommand>& batchCommands() {
    static const std::vector<BatchCommand> commands = [] {
        std::vector<BatchCommand> list;
        for (const SourceCommand& command : sourceCommands())
            if (!command.batchExtensions.empty())
                list.push_back({std::string(command.cliName), command.commandId,
                                {command.batchExtensions.begin(), command.batchExtensions.end()}});
        return list;
    }();
    return commands;
}

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string asciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string fullPath(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(pathFromUtf8(path), error);
    return error ? path : utf8(absolute);
}

// The sources a SOURCE stands for: itself, or a folder's files of the command's kinds sorted by
// name (not the files of its subfolders, nor hidden ones: names starting with a dot). A name that
// is neither a file nor a folder stays a source: its job reports it as the dialog would.
bool expandSource(const std::string& named, const BatchCommand& command, std::vector<std::string>& sources,
                  std::string& problem) {
    const fs::path path = pathFromUtf8(named);
    std::error_code error;
    if (!fs::is_directory(path, error)) {
        sources.push_back(named);
        return true;
    }
    std::vector<std::string> names;
    fs::directory_iterator entries(path, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::error_code statusError;
        if (!entries->is_regular_file(statusError)) continue;
        // Hidden files are nobody's pictures: macOS's "._NAME" AppleDouble files among them.
        if (utf8(entries->path().filename()).starts_with('.')) continue;
        const std::string extension = asciiLower(utf8(entries->path().extension()));
        if (std::find(command.extensions.begin(), command.extensions.end(), extension) != command.extensions.end())
            names.push_back(utf8(entries->path().filename()));
    }
    if (error) {
        problem = "cannot read the folder " + named + " (" + error.message() + ")";
        return false;
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) sources.push_back(utf8(path / pathFromUtf8(name)));
    return true;
}

// Two names for one destination file: the same spelling once made absolute and canonical (case
// folded where the file system ignores case). A batch's files share a few folders, whose links
// are resolved once (`folders`): only a file that is a link itself is resolved on its own.
std::string destinationKey(const std::string& path, std::map<fs::path, fs::path>& folders) {
    std::error_code error;
    const fs::path full = fs::absolute(pathFromUtf8(path), error);
    fs::path key;
    const fs::path leaf = full.filename();
    if (!error && !leaf.empty() && leaf != "." && leaf != ".." && !fs::is_symlink(fs::symlink_status(full, error))) {
        auto folder = folders.find(full.parent_path());
        if (folder == folders.end()) {
            std::error_code folderError;
            fs::path canonical = fs::weakly_canonical(full.parent_path(), folderError);
            folder = folders.emplace(full.parent_path(), folderError ? fs::path() : std::move(canonical)).first;
        }
        if (!folder->second.empty()) key = folder->second / leaf;
    }
    if (key.empty()) {
        key = fs::weakly_canonical(full, error);
        if (error) key = pathFromUtf8(path);
    }
#ifdef _WIN32
    return asciiLower(utf8(key));
#else
    return utf8(key);
#endif
}

}  // namespace

const BatchCommand* findBatchCommand(const std::string& name) {
    for (const BatchCommand& command : batchCommands())
        if (name == command.name) return &command;
    return nullptr;
}

bool planBatch(const BatchSettings& settings, const ConversionOptions& options, const BatchCommand& command,
               const std::vector<std::string>& named, std::vector<BatchItem>& items, std::string& problem) {
    std::vector<std::string> sources;
    for (const std::string& source : named)
        if (!expandSource(source, command, sources, problem)) return false;
    if (sources.empty()) {
        problem = "no sources: the folders named hold no files of the command's kinds";
        return false;
    }

    const std::string& outDir = *settings.outDir;
    const fs::path folder = pathFromUtf8(outDir);
    std::error_code error;
    const bool folderExists = fs::exists(folder, error);
    if (folderExists && !fs::is_directory(folder, error)) {
        problem = "the output folder " + outDir + " is not a folder";
        return false;
    }

    // Built by appending: GCC 12 sees an overlapping copy in "." + a temporary string (-Wrestrict).
    std::string extension = ".";
    extension += options.teRawMode ? std::string("raw") : settings.format.value_or("tif");
    std::map<std::string, std::size_t> byDestination;
    std::set<std::string> sourceKeys;
    std::set<FileId> sourceFiles;
    std::map<fs::path, fs::path> folders;
    for (const std::string& source : sources) {
        sourceKeys.insert(destinationKey(source, folders));
        if (const auto id = diskFileSystem().fileId(source)) sourceFiles.insert(*id);
    }
    for (const std::string& source : sources) {
        BatchItem item;
        item.source = source;
        item.destination = utf8(folder / pathFromUtf8(utf8(pathFromUtf8(source).stem()) + extension));
        item.sourcePath = fullPath(source);
        item.destinationPath = fullPath(item.destination);
        const std::string key = destinationKey(item.destination, folders);
        const auto [first, added] = byDestination.emplace(key, items.size());
        if (!added) {
            problem = items[first->second].source + " and " + source + " would both become " + item.destination;
            return false;
        }
        // A destination that is a source, however spelled: by its name, or (an existing file, a
        // hard link) by the file itself.
        bool clash = sourceKeys.count(key) != 0;
        if (!clash) {
            const auto id = diskFileSystem().fileId(item.destination);
            clash = id && sourceFiles.count(*id) != 0;
        }
        if (clash) {
            problem = "the destination " + item.destination + " is a source";
            return false;
        }
        items.push_back(std::move(item));
    }

    if (!folderExists && !fs::create_directories(folder, error)) {
        problem = "cannot create the output folder " + outDir + (error ? " (" + error.message() + ")" : "");
        return false;
    }
    return true;
}

}  // namespace kelvarin
