// The main window as data: its frame, its controls in creation (and tab) order, its fonts and its
// menu tree. The Qt window and the Win32 window are both built from this, so every text, id and
// position is written down once, here.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvarin::window {

// The main window uses the first six; the small text dialog the text box and the buttons (the
// default button is the one Enter presses).
enum class ControlKind { Label, List, RadioButton, CheckBox, GroupFrame, ProgressBar, TextBox, Button, DefaultButton };

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
    bool centred = false;  // a small dialog: placed over the middle of its owner, x and y unused
};

// A heading is a greyed line of text that names the commands below it. A toggle is a command
// with a tick of its own that each click flips (not one of a choice group).
enum class MenuEntryKind { Command, Toggle, Separator, Submenu, Heading };

// Commands of a choice group carry a tick, exactly one of a group at a time (drawn as a bullet).
enum class ChoiceGroup { None, OutputSize };

struct MenuEntry {
    MenuEntryKind kind;
    std::string_view text;
    int id;                             // 0 for separators, submenus and headings
    std::span<const MenuEntry> items;   // a submenu's entries (menu bar: the pop-up's entries)
    ChoiceGroup group = ChoiceGroup::None;
    bool tickedAtStart = false;
    std::string_view shortcut = {};  // "Ctrl+O"; empty for none
};

const WindowFrameDescription& windowFrame();
std::span<const FontSpec> fonts();
const FontSpec& font(FontRole role);
// Controls in table order, which is the creation and the tab order.
std::span<const ControlDescription> controls();
// Nullptr for an unknown id.
const ControlDescription* findControl(int id);
// The menu bar: "File", "Convert", "Output", "View", "Help", each a submenu.
std::span<const MenuEntry> menuBar();
// The menu entry of a command or a toggle; nullptr when not in the menu.
const MenuEntry* findMenuCommand(int commandId);
// The commands of a choice group, in menu order.
std::vector<int> choiceGroupCommands(ChoiceGroup group);
// The menu path of a command, e.g. "Help > Options > f-stop"; empty when not in the menu.
std::string menuPath(int commandId);
// Whether the command is one of those greyed while a job runs.
bool isConversionCommand(int commandId);

// The small dialog that asks for a line of text: its frame and controls (prompt, text box, OK,
// Cancel). The caption, the prompt and the text box's first text are the request's.
const WindowFrameDescription& textDialogFrame();
std::span<const ControlDescription> textDialogControls();

}  // namespace kelvarin::window
