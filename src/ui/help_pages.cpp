#include "ui/help_pages.h"

#include "ui/ids.h"

namespace kelvarin {

const std::vector<HelpPage>& helpPages() {
    static const std::vector<HelpPage> pages = {
        {ids::HelpGeneral, "Help > General", "KELVARIN - Help|General", "____ ABOUT THIS TOOL ____\r\n"},
        {ids::HelpUsage, "Help > Usage", "KELVARIN - Help|Usage", "____ HOW TO USE THIS TOOL ____\r\n"},
        {ids::HelpBryceRender, "Help > Bryce > Render Export", "KELVARIN - Help|Bryce|Render", ""},
        {ids::HelpBryceHdri, "Help > Bryce > HDRI Export", "KELVARIN - Help|Bryce|HDRI", ""},
        {ids::HelpColour, "Help > Options > Colour Weighting", "KELVARIN - Help|Options|Colour", ""},
        {ids::HelpEnhancing, "Help > Options > Enhancing", "KELVARIN - Help|Options|Enhance", ""},
        {ids::HelpFStop, "Help > Options > f-stop", "KELVARIN - Help|Options|f-Stop", ""},
        {ids::HelpPosterise, "Help > Options > Posterise", "KELVARIN - Help|Options|Posterise", ""},
        {ids::HelpTeRaw, "Help > TE > Raw", "KELVARIN - Help|TE > Raw", ""},
        {ids::HelpSwap, "Help > Swap Mac/PC", "KELVARIN - Help|Swap", ""},
        {ids::HelpPgm, "Help > Convert > PGM Support", "KELVARIN - Help|PGM Support", ""},
        {ids::HelpRaw, "Help > Convert > RAW Support", "KELVARIN - Help|RAW Support", ""},
        {ids::HelpBin, "Help > Convert > BIN   Support", "KELVARIN - Help|Bin Support", ""},
        {ids::HelpTerrain4, "Help > Convert > 4 RAW to 3 16-bit TIF", "KELVARIN - Help|4 > 3 TIF 16", ""},
        {ids::HelpTerrain3, "Help > Convert > 3 RAW to 3 16-bit TIF", "KELVARIN - Help|3 > 3 TIF 16", ""},
        {ids::HelpAbout, "Help > About", "KELVARIN - Help|About", "KELVARIN.exe - v.3.02:181122\r\n"},
    };
    return pages;
}

const HelpPage* findHelpPage(int commandId) {
    for (const HelpPage& page : helpPages())
        if (page.commandId == commandId) return &page;
    return nullptr;
}

}  // namespace kelvarin
