#include "ui/manual_command.h"

#include "formats/file.h"
#include "job/session.h"

namespace kelvarin {

namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

constexpr std::string_view kSystemManual = "/usr/share/doc/kelvarin/manual/index.md";

}  // namespace

std::vector<std::string> manualPlaces(std::string_view programFolder, bool windows) {
    const char separator = windows ? '\\' : '/';
    while (programFolder.size() > 1 && (programFolder.back() == separator || programFolder.back() == '/'))
        programFolder.remove_suffix(1);
    if (windows) {
        if (programFolder.empty()) return {"README.txt"};
        return {std::string(programFolder) + "\\README.txt"};
    }
    std::vector<std::string> places;
    // An installed program lies in PREFIX/bin; its documents in PREFIX/share/doc/kelvarin.
    const std::size_t slash = programFolder.rfind('/');
    if (slash != std::string_view::npos && programFolder.substr(slash + 1) == "bin")
        places.push_back(std::string(programFolder.substr(0, slash)) + "/share/doc/kelvarin/manual/index.md");
    if (places.empty() || places.front() != kSystemManual) places.emplace_back(kSystemManual);
    return places;
}

MessageBoxRequest manualMissingBox(const std::vector<std::string>& places) {
    std::string text = "The manual is not installed. It was looked for in:";
    for (const std::string& place : places) text.append("\r\n").append(place);
    return noticeBox(std::move(text), "KELVARIN - Manual", MessageIcon::Exclamation);
}

void openManual(Session& session) {
    const std::vector<std::string> places = manualPlaces(session.port.programFolder(), kWindows);
    for (const std::string& place : places) {
        if (!session.fileSystem.exists(place)) continue;
        if (!session.port.openDocument(place))
            session.port.showMessage(noticeBox("The manual could not be opened:\r\n" + place, "KELVARIN - Manual",
                                               MessageIcon::Exclamation));
        return;
    }
    session.port.showMessage(manualMissingBox(places));
}

}  // namespace kelvarin
