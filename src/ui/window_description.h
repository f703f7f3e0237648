// The main window as data: its frame, its controls in creation (and tab) order, its fonts and its
// menu tree. The Qt window and the Win32 window are both built from this, so every text, id and
// position is written down once, here.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace kelvarin::window {

enum class ControlKind { Label, List, RadioButton, CheckBox, GroupFrame, ProgressBar };

enum class FontRole { Dialog, Title, Log, Frame, BigFrame };

struct FontSpec {
    FontRole role;
    std::string_view face;  // the face asked for; a port falls back to the platform's sans or monospace
    int pointSize;
    bool bold;
    bool monospace;
};

// Dialog units: one horizontal unit is a quarter of the dialog font's average character width,
// one vertical unit an eighth of its character height.
struct DuRect {
    int x, y, width, height;
};

struct ControlDescription {
    int id;
    ControlKind kind;
    std::string_view text;  // empty for the list and the progress bar
    DuRect rect;
    FontRole font;
    bool startsGroup;  // the first radio button of a group; the frame that follows closes it
};

struct WindowFrameDescription {
    std::string_view caption;
    int clientWidth, clientHeight;  // dialog units
    int x, y;                       // dialog units from the screen's top-left corner
    bool resizable, maximiseButton, minimiseButton;
};

enum class MenuEntryKind { Command, Separator, Submenu };

struct MenuEntry {
    MenuEntryKind kind;
    std::string_view text;
    int id;                             // 0 for separators and submenus
    std::span<const MenuEntry> items;   // a submenu's entries (menu bar: the pop-up's entries)
};

const WindowFrameDescription& windowFrame();
std::span<const FontSpec> fonts();
const FontSpec& font(FontRole role);
// Controls in table order, which is the creation and the tab order.
std::span<const ControlDescription> controls();
// Nullptr for an unknown id.
const ControlDescription* findControl(int id);
// The menu bar: "File", "Convert", "Help", each a submenu.
std::span<const MenuEntry> menuBar();
// The menu path of a command, e.g. "Help > Options > f-stop"; empty when not in the menu.
std::string menuPath(int commandId);
// Whether the command is one of the eight greyed while a job runs.
bool isConversionCommand(int commandId);

}  // namespace kelvarin::window
