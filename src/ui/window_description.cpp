#include "ui/window_description.h"

#include "ui/ids.h"

namespace kelvarin::window {

namespace {

using K = ControlKind;
using F = FontRole;

constexpr WindowFrameDescription kFrame{"KELVARIN v3.02", 380, 295, 319, 196, false, false, true};

constexpr FontSpec kFonts[] = {
    {F::Dialog, "MS Sans Serif", 8, false, false},
    {F::Title, "MS Sans Serif", 12, true, false},
    {F::Log, "Courier New", 8, false, true},
    {F::Frame, "MS Sans Serif", 8, true, false},
    {F::BigFrame, "MS Sans Serif", 10, true, false},
};

constexpr ControlDescription kControls[] = {
    {ids::TitleLabel, K::Label, "Simple 48+ bit Colour to 16-bit Greyscale TIFF Image Converter.", {20, 10, 345, 20},
     F::Title, false},
    {ids::LogLabel, K::Label, "Status/Progress Log (read only).", {20, 30, 105, 10}, F::Dialog, false},
    {ids::LogList, K::List, "", {20, 40, 340, 90}, F::Log, false},
    {ids::Average, K::RadioButton, "Average", {40, 180, 40, 15}, F::Dialog, true},
    {ids::TV, K::RadioButton, "TV", {85, 180, 35, 15}, F::Dialog, false},
    {ids::HDTV, K::RadioButton, "HDTV", {130, 180, 35, 15}, F::Dialog, false},
    {ids::Red, K::RadioButton, "Red", {40, 195, 40, 15}, F::Dialog, false},
    {ids::Green, K::RadioButton, "Green", {85, 195, 35, 15}, F::Dialog, false},
    {ids::Blue, K::RadioButton, "Blue", {130, 195, 35, 15}, F::Dialog, false},
    {ids::ColourFrame, K::GroupFrame, "Colour Weighting:", {30, 170, 140, 45}, F::Frame, false},
    {ids::ProgressBar, K::ProgressBar, "", {20, 135, 340, 10}, F::Dialog, false},
    {ids::OptionsFrame, K::GroupFrame, "Set Options First", {20, 155, 340, 110}, F::BigFrame, false},
    {ids::Boost, K::CheckBox, "Boost Contrast / Gamma", {190, 180, 90, 15}, F::Dialog, false},
    {ids::Invert, K::CheckBox, "Invert = Make Negative", {190, 195, 90, 15}, F::Dialog, false},
    {ids::EnhancingFrame, K::GroupFrame, "Enhancing:", {180, 170, 110, 45}, F::Frame, false},
    {ids::Swap, K::CheckBox, "Swap Destination File Type Mac <--> PC", {190, 30, 170, 10}, F::Frame, false},
    {ids::FStopFrame, K::GroupFrame, "f-stop", {300, 170, 50, 45}, F::Frame, false},
    {ids::FStopX2, K::CheckBox, "x 2", {310, 180, 30, 15}, F::Dialog, false},
    {ids::FStopX4, K::CheckBox, "x 4", {310, 195, 35, 15}, F::Dialog, false},
    {ids::PosteriseNone, K::RadioButton, "None", {40, 235, 35, 15}, F::Dialog, true},
    {ids::Posterise4, K::RadioButton, "4", {85, 235, 35, 15}, F::Dialog, false},
    {ids::Posterise5, K::RadioButton, "5", {130, 235, 35, 15}, F::Dialog, false},
    {ids::Posterise6, K::RadioButton, "6", {175, 235, 35, 15}, F::Dialog, false},
    {ids::Posterise8, K::RadioButton, "8", {220, 235, 35, 15}, F::Dialog, false},
    {ids::Posterise12, K::RadioButton, "12", {265, 235, 35, 15}, F::Dialog, false},
    {ids::Posterise16, K::RadioButton, "16", {310, 235, 35, 15}, F::Dialog, false},
    {ids::PosteriseFrame, K::GroupFrame, "Posterise (Steps)", {30, 225, 320, 30}, F::Frame, false},
    {ids::TeRaw, K::CheckBox, "TE>Raw", {135, 30, 50, 10}, F::Dialog, false},
};

using M = MenuEntryKind;

constexpr MenuEntry command(std::string_view text, int id) { return {M::Command, text, id, {}}; }
constexpr MenuEntry kSeparator{M::Separator, "", 0, {}};

constexpr MenuEntry kFileMenu[] = {
    {M::Command, "Open...", ids::OpenImage, {}, ChoiceGroup::None, false, "Ctrl+O"},
    command("Open TIF", ids::OpenTif),
    command("Open HDR", ids::OpenHdr),
    kSeparator,
    command("Quit", ids::Quit),
};

constexpr MenuEntry kConvertMenu[] = {
    command("PGM to 16-bit TIF", ids::PgmToTif),
    command("RAW to 16-bit TIF", ids::RawToTif),
    command("BIN   to 16-bit TIF", ids::BinToTif),
    kSeparator,
    command("4 RAW to 3 16-bit TIF Max", ids::Terrain4Max),
    command("4 RAW to 3 16-bit TIF Avg", ids::Terrain4Avg),
    kSeparator,
    command("3 RAW to 3 16-bit TIF", ids::Terrain3),
    kSeparator,
    // Enabled only while a job runs: it asks before the job is stopped.
    command("Stop Conversion", ids::StopConversion),
};

constexpr MenuEntry size(std::string_view text, int id) {
    return {M::Command, text, id, {}, ChoiceGroup::OutputSize, false};
}
constexpr MenuEntry heading(std::string_view text) { return {M::Heading, text, 0, {}}; }

// The sizes of the two families of engines: square 2^n + 1, and the landscape sizes. Each size is
// read from its text.
constexpr MenuEntry kOutputMenu[] = {
    {M::Command, "Original Size", ids::OriginalSize, {}, ChoiceGroup::OutputSize, true},
    kSeparator,
    heading("Unity Terrain (2^n + 1)"),
    size("513 x 513", ids::Size513),
    size("1025 x 1025", ids::Size1025),
    size("2049 x 2049", ids::Size2049),
    size("4097 x 4097", ids::Size4097),
    size("8193 x 8193", ids::Size8193),
    kSeparator,
    heading("Unreal Engine Landscape"),
    size("505 x 505", ids::Size505),
    size("1009 x 1009", ids::Size1009),
    size("2017 x 2017", ids::Size2017),
    size("4033 x 4033", ids::Size4033),
    size("8129 x 8129", ids::Size8129),
    kSeparator,
    size("Other Size...", ids::OtherSize),
    kSeparator,
    {M::Toggle, "Tiles...", ids::Tiles, {}, ChoiceGroup::None, false},
    command("Height Range...", ids::HeightRange),
};

// The preview window: on demand, and by itself after each job while the toggle is ticked.
constexpr MenuEntry kViewMenu[] = {
    command("Preview of Last Result", ids::PreviewLastResult),
    {M::Toggle, "Show Preview After Each Job", ids::ShowPreviewAfterJob, {}, ChoiceGroup::None, true},
};

constexpr MenuEntry kHelpBryce[] = {
    command("Render Export", ids::HelpBryceRender),
    command("HDRI Export", ids::HelpBryceHdri),
};

constexpr MenuEntry kHelpOptions[] = {
    command("Colour Weighting", ids::HelpColour),
    command("Enhancing", ids::HelpEnhancing),
    command("f-stop", ids::HelpFStop),
    command("Posterise", ids::HelpPosterise),
};

constexpr MenuEntry kHelpConvert[] = {
    command("Open Support", ids::HelpOpen),
    command("PGM Support", ids::HelpPgm),
    command("RAW Support", ids::HelpRaw),
    command("BIN   Support", ids::HelpBin),
    kSeparator,
    command("4 RAW to 3 16-bit TIF", ids::HelpTerrain4),
    command("3 RAW to 3 16-bit TIF", ids::HelpTerrain3),
};

constexpr MenuEntry kHelpMenu[] = {
    command("General", ids::HelpGeneral),
    command("Usage", ids::HelpUsage),
    {M::Submenu, "Bryce", 0, kHelpBryce},
    {M::Submenu, "Options", 0, kHelpOptions},
    command("TE > Raw", ids::HelpTeRaw),
    command("Swap Mac/PC", ids::HelpSwap),
    {M::Submenu, "Convert", 0, kHelpConvert},
    command("About", ids::HelpAbout),
    kSeparator,
    command("Manual", ids::HelpManual),
};

constexpr MenuEntry kMenuBar[] = {
    {M::Submenu, "File", 0, kFileMenu},
    {M::Submenu, "Convert", 0, kConvertMenu},
    {M::Submenu, "Output", 0, kOutputMenu},
    {M::Submenu, "View", 0, kViewMenu},
    {M::Submenu, "Help", 0, kHelpMenu},
};

constexpr WindowFrameDescription kTextDialogFrame{"", 200, 62, 0, 0, false, false, false, true};

constexpr ControlDescription kTextDialogControls[] = {
    {ids::TextPrompt, K::Label, "", {7, 7, 186, 16}, F::Dialog, false},
    {ids::TextBox, K::TextBox, "", {7, 25, 186, 12}, F::Dialog, false},
    {ids::KeyOk, K::DefaultButton, "OK", {89, 43, 50, 14}, F::Dialog, false},
    {ids::KeyCancel, K::Button, "Cancel", {143, 43, 50, 14}, F::Dialog, false},
};

const MenuEntry* findCommand(std::span<const MenuEntry> entries, int id) {
    for (const MenuEntry& entry : entries) {
        if ((entry.kind == M::Command || entry.kind == M::Toggle) && entry.id == id) return &entry;
        if (entry.kind == M::Submenu)
            if (const MenuEntry* found = findCommand(entry.items, id)) return found;
    }
    return nullptr;
}

void collectGroup(std::span<const MenuEntry> entries, ChoiceGroup group, std::vector<int>& out) {
    for (const MenuEntry& entry : entries) {
        if (entry.kind == M::Command && entry.group == group) out.push_back(entry.id);
        if (entry.kind == M::Submenu) collectGroup(entry.items, group, out);
    }
}

bool findPath(std::span<const MenuEntry> entries, int id, std::string& path) {
    for (const MenuEntry& entry : entries) {
        if ((entry.kind == M::Command || entry.kind == M::Toggle) && entry.id == id) {
            path += entry.text;
            return true;
        }
        if (entry.kind == M::Submenu) {
            const std::size_t mark = path.size();
            path.append(entry.text).append(" > ");
            if (findPath(entry.items, id, path)) return true;
            path.resize(mark);
        }
    }
    return false;
}

}  // namespace

const WindowFrameDescription& windowFrame() { return kFrame; }

std::span<const FontSpec> fonts() { return kFonts; }

const FontSpec& font(FontRole role) {
    for (const FontSpec& spec : kFonts)
        if (spec.role == role) return spec;
    return kFonts[0];
}

std::span<const ControlDescription> controls() { return kControls; }

const ControlDescription* findControl(int id) {
    for (const ControlDescription& control : kControls)
        if (control.id == id) return &control;
    return nullptr;
}

std::span<const MenuEntry> menuBar() { return kMenuBar; }

const MenuEntry* findMenuCommand(int commandId) { return findCommand(kMenuBar, commandId); }

std::vector<int> choiceGroupCommands(ChoiceGroup group) {
    std::vector<int> commands;
    if (group != ChoiceGroup::None) collectGroup(kMenuBar, group, commands);
    return commands;
}

std::string menuPath(int commandId) {
    std::string path;
    if (!findPath(kMenuBar, commandId, path)) return {};
    return path;
}

bool isConversionCommand(int commandId) {
    for (int id : ids::kConversionCommands)
        if (id == commandId) return true;
    return false;
}

const WindowFrameDescription& textDialogFrame() { return kTextDialogFrame; }

std::span<const ControlDescription> textDialogControls() { return kTextDialogControls; }

}  // namespace kelvarin::window
