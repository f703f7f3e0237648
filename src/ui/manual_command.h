// Help > Manual: opens the documentation installed with the programs in the system's viewer
// (the manual's index on Linux, README.txt beside kelvarin.exe on Windows).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "job/port.h"

namespace kelvarin {

class Session;

// The files Help > Manual tries, in order, for a program in `programFolder`: on Linux the manual
// of the installation the program belongs to (PREFIX/bin -> PREFIX/share/doc/kelvarin), then
// the system's; on Windows the README.txt the zip puts beside the programs.
std::vector<std::string> manualPlaces(std::string_view programFolder, bool windows);

// The box shown when none of them is there.
MessageBoxRequest manualMissingBox(const std::vector<std::string>& places);

// Opens the first of the places that exists, or says where it looked.
void openManual(Session& session);

}  // namespace kelvarin
