// The one interface through which the core reaches the platform: file dialogs, message boxes,
// a line of text asked for, the log list, the progress bar, the greying of the conversion
// commands, the ticks of the menu and the preview window. The CLI, the Qt window, the Win32 window and the tests'
// scripted port implement it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvarin {

struct FinishedReport;

enum class MessageIcon { Error, Exclamation, Information };
// YesNo answers Yes as Ok and No as Cancel; Yes is its default button.
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel };

struct MessageBoxRequest {
    std::string text;  // several lines are joined by "\r\n"
    std::string caption;
    MessageIcon icon = MessageIcon::Information;
    MessageButtons buttons = MessageButtons::Ok;
    bool taskModal = false;
    // False only for the terrain warning, which leaves the main window enabled.
    bool disablesWindow = true;
};

// The two boxes the program shows everywhere; the terrain warning spells its fields out.
// An answer or a complaint of a menu command or a dialog: one OK button over the window.
inline MessageBoxRequest noticeBox(std::string text, std::string caption, MessageIcon icon) {
    return {.text = std::move(text), .caption = std::move(caption), .icon = icon};
}
// A job that stops: one OK button, and the box is task modal.
inline MessageBoxRequest jobStopBox(std::string text, std::string caption, MessageIcon icon = MessageIcon::Error) {
    return {.text = std::move(text), .caption = std::move(caption), .icon = icon, .taskModal = true};
}

struct FileFilter {
    std::string description;
    std::string pattern;
};

struct FileDialogRequest {
    std::string title;
    std::vector<FileFilter> filters;  // the first one is selected when the dialog opens
    std::string defaultExtension;
    // A save dialog asks before it takes the name of an existing file. The conversions' own
    // dialogs take it without asking.
    bool confirmOverwrite = false;
};

// A small dialog asking for one line of text, with OK and Cancel.
struct TextRequest {
    std::string title;
    std::string prompt;
    std::string initialText;
};

class UiPort {
public:
    virtual ~UiPort() = default;

    // Answer: the full path (UTF-8), or nothing when the user cancelled.
    virtual std::optional<std::string> askOpenFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> askSaveFile(const FileDialogRequest& request) = 0;
    virtual MessageAnswer showMessage(const MessageBoxRequest& request) = 0;
    // Answer: the text as typed (UTF-8), or nothing when the user cancelled.
    virtual std::optional<std::string> askText(const TextRequest& request) = 0;

    virtual void appendLogLine(std::string_view text) = 0;
    virtual void clearLog() = 0;
    virtual void setProgressRange(std::int32_t minimum, std::int32_t maximum) = 0;
    virtual void setProgressPosition(std::int32_t position) = 0;
    // Greys (false) or enables (true) the eight conversion commands of the menu.
    virtual void setConversionCommandsEnabled(bool enabled) = 0;
    // Ticks or clears a menu command of a choice group (window::ChoiceGroup) or a toggle.
    virtual void setMenuItemChecked(int commandId, bool checked) = 0;
    // Gives a menu command another text (the Other Size item shows the size chosen). A port
    // without a menu ignores it.
    virtual void setMenuItemText(int commandId, const std::string& text) {
        (void)commandId;
        (void)text;
    }
    // Opens the preview window on these results (one height map, or a terrain set's three tiles),
    // or raises it showing them; it stays open beside the main window. A port without windows
    // ignores it.
    virtual void showPreview(const std::vector<FinishedReport>& results) = 0;
    // A preview window that is open shows these results where it is, without being brought up;
    // a closed one stays closed.
    virtual void updateOpenPreview(const std::vector<FinishedReport>& results) { (void)results; }

    // Help > Manual: the folder the program was started from (UTF-8; empty when not known), and
    // a document shown by the system's viewer for its kind. A port without windows opens none.
    virtual std::string programFolder() { return {}; }
    virtual bool openDocument(const std::string& path) {
        (void)path;
        return false;
    }

    // The window side of the window reset: "Average" and "None" selected, the swap, boost and
    // invert boxes cleared. The options themselves are not written.
    virtual void resetOptionControls() = 0;
    // 1 when the check box is ticked, 0 when clear (read after a click).
    virtual bool isControlChecked(int controlId) = 0;
    // File > Quit: close the main window, which ends the program.
    virtual void closeWindow() = 0;
};

}  // namespace kelvarin
