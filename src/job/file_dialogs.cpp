#include "job/file_dialogs.h"

#include "formats/output_format.h"
#include "formats/source_format.h"
#include "formats/system_reason.h"
#include "job/session.h"

namespace kelvarin {

namespace {

const FileFilter kAllFiles{"All Files", "*.*"};

FileDialogRequest openRequest(std::string title, FileFilter filter, std::string extension) {
    return {std::move(title), {std::move(filter), kAllFiles}, std::move(extension)};
}

// Why a file could not be opened or made, when the system said: one line more in the log.
void logReason(Session& session, const std::string& reason, const std::string& path) {
    if (!reason.empty()) session.log.appendLine(reasonLine(reason, path));
}

// One source open dialog: the file is opened read only; a cancelled dialog says so.
std::unique_ptr<File> runOpenDialog(Session& session, const FileDialogRequest& request, const char* noFileText,
                                    std::string& path) {
    std::optional<std::string> chosen;
    if (session.droppedSource) {
        chosen = std::move(session.droppedSource);
        session.droppedSource.reset();
    } else {
        chosen = session.port.askOpenFile(request);
    }
    if (!chosen || chosen->empty()) {
        session.port.showMessage(noticeBox(noFileText, "KELVARIN - Open Error", MessageIcon::Error));
        return nullptr;
    }
    path = *chosen;
    clearSystemReason();
    std::unique_ptr<File> file = session.fileSystem.open(path, File::Mode::Read);
    if (!file) logReason(session, systemReason(ReasonSubject::Source), path);
    return file;
}

bool runSaveDialog(Session& session, const FileDialogRequest& request, const char* errorCaption,
                   bool rawExport = false) {
    const auto chosen = session.port.askSaveFile(request);
    if (!chosen || chosen->empty()) {
        session.port.showMessage(noticeBox("Missing Filename.", errorCaption, MessageIcon::Error));
        return false;
    }
    FileState& files = session.files;
    // The source (and a BIN header) is never changed: writing over it would destroy what is read.
    if (session.fileSystem.sameFile(*chosen, files.sourcePath) ||
        session.fileSystem.sameFile(*chosen, files.headerPath)) {
        session.port.showMessage(noticeBox("The destination is the source file itself. Choose another name.",
                                           errorCaption, MessageIcon::Error));
        session.log.appendLine(">>> Destination is the source file. STOP!");
        return false;
    }
    // TE>Raw copies the samples as they are: a name that asks for PNG or R16 would promise a
    // file it does not get.
    if (rawExport && outputFormatFor(*chosen) != OutputFormat::Tiff) {
        session.port.showMessage(
            noticeBox("TE>Raw writes a headerless .raw file: a PNG or R16 name is not possible here.", errorCaption,
                      MessageIcon::Error));
        session.log.appendLine(">>> PNG or R16 destination in TE>Raw mode. STOP!");
        return false;
    }
    files.destinationPath = *chosen;
    clearSystemReason();
    files.destination = session.fileSystem.open(*chosen, File::Mode::Replace);
    if (!files.destination) logReason(session, systemReason(ReasonSubject::Destination), *chosen);
    return files.destination != nullptr;
}

// Open...: every readable kind at once, then each kind on its own. The table does not change,
// so the filters are made once.
FileDialogRequest imageDialogRequest() {
    static const FileDialogRequest request = [] {
        std::vector<FileFilter> kinds{{"TIFF", "*.tif;*.tiff;*.TIF;*.TIFF"}, {"Radiance", "*.hdr;*.pic;*.HDR"}};
        for (const SourceFormat& format : sourceFormats())
            if (format.patterns != nullptr) kinds.push_back({format.name, format.patterns});
        std::string all;
        for (const FileFilter& kind : kinds) all += (all.empty() ? "" : ";") + kind.pattern;
        FileDialogRequest made{"KELVARIN Open", {{"All height-map sources", all}}, ""};
        made.filters.insert(made.filters.end(), kinds.begin(), kinds.end());
        made.filters.push_back(kAllFiles);
        return made;
    }();
    return request;
}

}  // namespace

FileDialogRequest sourceDialogRequest(SourceKind kind) {
    switch (kind) {
        case SourceKind::Tif:
            return {"KELVARIN Open TIF", {{"TIF", "*.tif"}, {"TIFF", "*.tiff"}, kAllFiles}, "tif"};
        case SourceKind::Rgbe: return openRequest("KELVARIN Open HDR", {"HDR", "*.hdr"}, "hdr");
        case SourceKind::Pgm: return openRequest("KELVARIN Open PGM", {"PGM", "*.pgm"}, "pgm");
        case SourceKind::Raw: return openRequest("KELVARIN Open RAW", {"RAW", "*.raw"}, "raw");
        case SourceKind::Bin: return openRequest("KELVARIN Open BIN", {"BIN", "*.bin"}, "bin");
        case SourceKind::Image: return imageDialogRequest();
        case SourceKind::None: break;
    }
    return {};
}

FileDialogRequest binHeaderDialogRequest() { return openRequest("KELVARIN Open BIN HDR", {"HDR", "*.hdr"}, "hdr"); }

// The height map's formats: the TIFF first, and the default; the engine formats behind it. The
// extension of the name chosen decides which is written.
FileDialogRequest saveTiffDialogRequest() {
    return {"KELVARIN Save", {{"TIF", "*.tif"}, {"TIFF", "*.tiff"}, {"PNG", "*.png"}, {"R16", "*.r16"}, kAllFiles},
            "tif"};
}

FileDialogRequest saveRawDialogRequest() { return openRequest("KELVARIN Save", {"RAW", "*.raw"}, "raw"); }

FileDialogRequest terrainDialogRequest() { return openRequest("KELVARIN Open RAW", {"RAW", "*.raw"}, "raw"); }

bool openSource(Session& session) {
    FileState& files = session.files;
    const SourceKind kind = session.request.kind;
    files.source.reset();
    files.header.reset();
    files.headerPath.clear();
    bool opened = false;
    if (kind != SourceKind::None) {
        files.source = runOpenDialog(session, sourceDialogRequest(kind), "No Input File Selected.", files.sourcePath);
        opened = files.source != nullptr;
        if (opened && kind == SourceKind::Bin) {
            files.header =
                runOpenDialog(session, binHeaderDialogRequest(), "No Header File Selected.", files.headerPath);
            opened = files.header != nullptr;
            // Without its header the data file is of no use: let it go at once.
            if (!opened) files.source.reset();
        }
    }
    if (!opened) {
        files.source.reset();
        session.port.showMessage(noticeBox("File not found.", "KELVARIN - File|Open", MessageIcon::Exclamation));
        session.request.kind = SourceKind::None;
        return false;
    }
    session.setBusy();
    session.log.appendLine("Input file opened:");
    session.log.appendLine(files.sourcePath);
    return true;
}

bool saveTiffDestination(Session& session) {
    return runSaveDialog(session, saveTiffDialogRequest(), "KELVARIN - Save As Error");
}

bool saveRawDestination(Session& session) {
    return runSaveDialog(session, saveRawDialogRequest(), "KELVARIN - Save Raw As Error", true);
}

TerrainName splitTerrainName(const std::string& path) {
#ifdef _WIN32
    const auto cut = path.find_last_of("\\/:");
#else
    const auto cut = path.find_last_of('/');
#endif
    TerrainName name;
    std::string file = path;
    if (cut != std::string::npos) {
        name.folder = path.substr(0, cut + 1);
        file = path.substr(cut + 1);
    }
    const auto dot = file.rfind('.');
    if (dot != std::string::npos) file.erase(dot);
    if (!file.empty()) name.baseName = file.substr(1);
    return name;
}

std::string terrainNameDialog(Session& session, std::string& folder) {
    const auto chosen = session.port.askOpenFile(terrainDialogRequest());
    if (!chosen || chosen->empty()) {
        session.port.showMessage(
            noticeBox("No Valid Input File Selected.", "KELVARIN - Open Error", MessageIcon::Error));
        return {};
    }
    TerrainName name = splitTerrainName(*chosen);
    folder = name.folder;
    return name.baseName;
}

std::unique_ptr<File> terrainOpen(Session& session, const std::string& path, bool input) {
    if (input && !session.fileSystem.exists(path)) {
        session.port.showMessage(noticeBox("File " + path + " not found", "KELVARIN - Error.", MessageIcon::Error));
        return nullptr;
    }
    clearSystemReason();
    auto file = session.fileSystem.open(path, input ? File::Mode::Read : File::Mode::Replace);
    if (!file) {
        logReason(session, systemReason(input ? ReasonSubject::Source : ReasonSubject::Destination), path);
        return nullptr;
    }
    session.request.kind = SourceKind::Raw;
    session.log.appendLine("Input file opened: ");
    session.log.appendLine(path);
    return file;
}

}  // namespace kelvarin
