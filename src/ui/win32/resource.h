// Resource identifiers shared by kelvarin.rc and the window code.
#pragma once

// The application icon. The lowest-numbered icon group is the one Explorer shows for the file.
#define KELVARIN_ICON_ID 1
