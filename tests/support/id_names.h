// Readable names of command and control identifiers, for parameterised test names.
#pragma once

#include <string>
#include <utility>

#include "ui/ids.h"

namespace kelvarin::test {

inline std::string idName(int id) {
    static const std::pair<int, const char*> kNames[] = {
        {ids::OpenTif, "OpenTif"},         {ids::OpenHdr, "OpenHdr"},
        {ids::PgmToTif, "PgmToTif"},       {ids::RawToTif, "RawToTif"},
        {ids::BinToTif, "BinToTif"},       {ids::Terrain4Max, "Terrain4Max"},
        {ids::Terrain4Avg, "Terrain4Avg"}, {ids::Terrain3, "Terrain3"},
        {ids::TitleLabel, "TitleLabel"},   {ids::LogList, "LogList"},
        {ids::ProgressBar, "ProgressBar"}, {ids::OptionsFrame, "OptionsFrame"},
        {ids::Average, "Average"},         {ids::TV, "TV"},
        {ids::HDTV, "HDTV"},               {ids::Red, "Red"},
        {ids::Green, "Green"},             {ids::Blue, "Blue"},
        {ids::Boost, "Boost"},             {ids::Invert, "Invert"},
        {ids::Swap, "Swap"},               {ids::FStopX2, "FStopX2"},
        {ids::FStopX4, "FStopX4"},         {ids::TeRaw, "TeRaw"},
        {ids::PosteriseNone, "PosteriseNone"}, {ids::Posterise4, "Posterise4"},
        {ids::Posterise5, "Posterise5"},   {ids::Posterise6, "Posterise6"},
        {ids::Posterise8, "Posterise8"},   {ids::Posterise12, "Posterise12"},
        {ids::Posterise16, "Posterise16"},
        {ids::HelpGeneral, "HelpGeneral"},
        {ids::HelpUsage, "HelpUsage"},
        {ids::HelpBryceRender, "HelpBryceRender"},
        {ids::HelpBryceHdri, "HelpBryceHdri"},
        {ids::HelpColour, "HelpColour"},
        {ids::HelpEnhancing, "HelpEnhancing"},
        {ids::HelpFStop, "HelpFStop"},
        {ids::HelpPosterise, "HelpPosterise"},
        {ids::HelpTeRaw, "HelpTeRaw"},
        {ids::HelpSwap, "HelpSwap"},
        {ids::HelpOpen, "HelpOpen"},
        {ids::HelpPgm, "HelpPgm"},
        {ids::HelpRaw, "HelpRaw"},
        {ids::HelpBin, "HelpBin"},
        {ids::HelpTerrain4, "HelpTerrain4"},
        {ids::HelpTerrain3, "HelpTerrain3"},
        {ids::HelpAbout, "HelpAbout"},
    };
    for (const auto& [value, name] : kNames)
        if (value == id) return name;
    return "Id" + std::to_string(id);
}

}  // namespace kelvarin::test
