// Which files a job reads and writes: the dialogs' titles, filters and messages, and the opening
// of what the user chose.
#pragma once

#include <memory>
#include <string>

#include "formats/file.h"
#include "job/job_request.h"
#include "job/port.h"

namespace kelvarin {

class Session;

FileDialogRequest sourceDialogRequest(SourceKind kind);
FileDialogRequest binHeaderDialogRequest();
FileDialogRequest saveTiffDialogRequest();
FileDialogRequest saveRawDialogRequest();
FileDialogRequest terrainDialogRequest();

// Asks for the source of session.request.kind (for BIN also its header file) and opens it.
// On success: busy, "Input file opened:" and the path logged, true. Otherwise the messages are
// shown, request.kind is 0 and the result is false.
bool openSource(Session& session);

// The Save dialogs: on success the destination is open for writing. Its bytes go to a temporary
// file beside it that takes the chosen name only when the job commits it complete; until then an
// existing file of that name is left as it was.
bool saveTiffDestination(Session& session);
bool saveRawDestination(Session& session);

// The terrain name dialog: returns the base name (empty when nothing usable was chosen) and sets
// `folder` to the chosen file's folder with its trailing separator.
std::string terrainNameDialog(Session& session, std::string& folder);

// Opens one file of a terrain set by its full path: an input read only (never created), an
// output as a replacing file (File::Mode::Replace) that takes the path's name when committed.
// Logs "Input file opened: " and the path.
std::unique_ptr<File> terrainOpen(Session& session, const std::string& path, bool input);

// Splits a chosen path the way the terrain name dialog does.
struct TerrainName {
    std::string folder;
    std::string baseName;
};
TerrainName splitTerrainName(const std::string& path);

}  // namespace kelvarin
