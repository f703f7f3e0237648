#include "ui/help_pages.h"

#include "ui/ids.h"

namespace kelvarin {

namespace {

// Every line ends in CR LF, the last one too: the pages are shown as they are in a message box.
// A list item starts with the bullet and two blanks; its further lines are indented by four.
const char kGeneral[] =
    "               ____ ABOUT THIS TOOL ____\r\n"
    "\r\n"
    "KELVARIN reads 96-, 48- and 24-bit colour TIFF files,\r\n"
    "Radiance RGBE HDR files packed with the RLE2 scheme and\r\n"
    "16-bit PGM files, and writes 16-bit greyscale TIFF\r\n"
    "files. Handy for example as height maps for the Terrain\r\n"
    "Editor (TE) of Bryce.\r\n"
    "\r\n"
    "It was made for use with the Bryce TE, so it has its\r\n"
    "limits:\r\n"
    "\r\n"
    "•  Two's complement (signed) integers are read as\r\n"
    "    unsigned.\r\n"
    "•  96-bit TIFFs only with IEEE floating point or\r\n"
    "    unsigned integer samples.\r\n"
    "•  The pixel data must be RGB in contiguous strips: no\r\n"
    "    separate colour planes, no files holding several\r\n"
    "    images.\r\n"
    "•  No compression is decoded (CCITT, ZIP, LogLuv and so\r\n"
    "    on).\r\n"
    "•  An IFD that is not stored in one piece may be misread\r\n"
    "    and give you a corrupt image.\r\n"
    "•  PGM files are grey already; they can only be\r\n"
    "    converted to 16-bit TIFF.\r\n"
    "•  Radiance files must use the RLE2 scheme, where each\r\n"
    "    colour and the exponent are packed separately.\r\n"
    "    Uncompressed files and the old run-length scheme\r\n"
    "    give an error.\r\n"
    "\r\n"
    "Your source file is never changed. When the IFD can't be\r\n"
    "made sense of, the conversion stops with an error\r\n"
    "message, and the status log shows you how far it got.\r\n"
    "\r\n"
    "Memory: the program can use about 3.5 GB on a machine\r\n"
    "with 4 GB or more. That's enough for 96-bit Radiance\r\n"
    "files of 16,000 x 8,000 pixels.\r\n"
    "\r\n"
    "4 RAW to 3 TIF: four 16-bit RAW exports of WorldCreator\r\n"
    "at 8192, 4096, 2048 and 1024, named 8name, 4name, 2name\r\n"
    "and 1name.raw, are put together into the three TIFF\r\n"
    "files name_4096, name_2048 and name_1024.tif for the\r\n"
    "Bryce TE.\r\n"
    "---------------------------------------------------------------------------\r\n";

const char kUsage[] =
    "____ HOW TO USE THIS TOOL ____\r\n"
    "\r\n"
    "[1] - Set the options you want.\r\n"
    "\r\n"
    "[2] - Open a TIF file through File > Open TIF, or\r\n"
    "[2] - open an HDR file through File > Open HDR, or\r\n"
    "[2] - convert another file type through the Convert\r\n"
    "    menu.\r\n"
    "\r\n"
    "[3] - Give the converted file a name in the Save dialog.\r\n"
    "\r\n"
    "[4] - Repeat as often as you like.\r\n"
    "\r\n"
    "[5] - End the program with File > Quit.\r\n"
    "------------------------------------------------------\r\n"
    "\r\n"
    "What happens during a conversion:\r\n"
    "\r\n"
    "The header of the source file is analysed and written to\r\n"
    "the status window. Then the IFD of the new file is\r\n"
    "created and written. The data is converted while the\r\n"
    "progress bar moves. Source and result are closed, and a\r\n"
    "message box tells you that the job is done.\r\n"
    "\r\n"
    "An HDR file takes a longer road: the header is analysed,\r\n"
    "the IFD written, the data decompressed into an RGBE map,\r\n"
    "analysed, turned into floating point values and then\r\n"
    "into 16-bit grey. So the progress bar runs three times.\r\n"
    "------------------------------------------------------\r\n";

const char kBryceRender[] =
    "___ EXPORT A RENDER OUT OF BRYCE ___\r\n"
    "\r\n"
    "Right after rendering, Bryce can export the render as a\r\n"
    "24-, 48- or 96-bit TIFF or as a 96-bit HDRI.\r\n"
    "\r\n"
    "The Bryce TE can't load a 48-bit colour TIFF as a\r\n"
    "terrain; it wants 16-bit greyscale. An 8-bit picture in\r\n"
    "its Picture Editor gives you a staircase terrain.\r\n"
    "\r\n"
    "Here's how:\r\n"
    "\r\n"
    "•  Switch off 48-bit dithering.\r\n"
    "•  Render.\r\n"
    "•  File > Export Image as 48- or 96-bit TIFF or as\r\n"
    "    96-bit HDRI. 24-bit works too, but isn't\r\n"
    "    recommended.\r\n"
    "•  Convert the file here with the default settings.\r\n"
    "•  In the TE, import the result as Picture in the\r\n"
    "    Elevation tab.\r\n"
    "\r\n"
    "Note: sometimes Bryce exports a terrain height map as a\r\n"
    "24-bit colour TIFF. Load a 16-bit TIFF in the TE and\r\n"
    "save it, and export works properly again.\r\n"
    "------------------------------------------------------------\r\n";

const char kBryceHdri[] =
    "____ EXPORT AN HDRI OUT OF BRYCE ____\r\n"
    "\r\n"
    "A loaded HDRI, also one generated from the sky, can be\r\n"
    "exported from the IBL tab of Bryce 7.1 Pro as a 24-, 48-\r\n"
    "or 96-bit TIFF or as a 96-bit HDRI.\r\n"
    "\r\n"
    "The cloud patterns of skies make nice terrains, or\r\n"
    "monochrome pictures.\r\n"
    "\r\n"
    "Exporting a tone-mapped HDRI as 48 or 96 bit gains you\r\n"
    "nothing: its data is 24-bit anyway.\r\n"
    "\r\n"
    "The exported HDRI includes the Intensity setting.\r\n"
    "---------------------------------------------------------\r\n";

const char kColour[] =
    "         ____ OPTIONS FOR COLOUR PICTURES ____\r\n"
    "\r\n"
    "Always choose the options before you open a file. They\r\n"
    "stay set until you change them, for as long as the\r\n"
    "program runs.\r\n"
    "---------------------------------------------------------------\r\n"
    "\r\n"
    "KELVARIN converts 24-, 48- and 96-bit colour TIFFs and\r\n"
    "96-bit HDRIs to 16-bit greyscale.\r\n"
    "---------------------------------------------------------------\r\n"
    "\r\n"
    "Colour Weighting:\r\n"
    "\r\n"
    "•  Average: R, G and B are averaged. This is the\r\n"
    "    default.\r\n"
    "•  TV: weighted the way the PAL, SECAM and NTSC\r\n"
    "    television standards do it.\r\n"
    "•  HDTV: weighted the way high definition television\r\n"
    "    does it, with more green.\r\n"
    "•  Red, Green, Blue: only that one channel is used.\r\n"
    "\r\n"
    "A greyscale 48-bit TIFF or a 16-bit PGM shows no\r\n"
    "difference between them. Convert only converts the file\r\n"
    "into a TIFF height map.\r\n"
    "---------------------------------------------------------------\r\n";

const char kEnhancing[] =
    "            ____ OPTIONS FOR ENHANCING ____\r\n"
    "\r\n"
    "Boost Contrast / Gamma does two things:\r\n"
    "\r\n"
    "•  48-bit TIFF: the lowest sample value is moved to 0\r\n"
    "    and everything is scaled so that the highest becomes\r\n"
    "    65,535.\r\n"
    "•  96-bit TIFF or HDRI: the linear tone mapping is\r\n"
    "    replaced by a gamma curve with the exponent 1.6. The\r\n"
    "    full dynamic range is used in any case.\r\n"
    "\r\n"
    "Posterise switches it on, even when the box isn't\r\n"
    "ticked.\r\n"
    "\r\n"
    "Invert = Make Negative makes a negative. Each pixel is\r\n"
    "normalised to 16 bits before it's inverted.\r\n"
    "-------------------------------------------------------------------\r\n";

const char kFStop[] =
    "              ____ OPTIONS FOR F-STOP ____\r\n"
    "\r\n"
    "For 48- and 96-bit TIFF and for HDR sources. With 24-\r\n"
    "and 48-bit sources only together with Boost Contrast;\r\n"
    "with 96-bit and HDR always (a gamma is then used as tone\r\n"
    "mapper).\r\n"
    "\r\n"
    "•  x 2 brightens by one f-stop (double).\r\n"
    "•  x 4 brightens by two f-stops (four times).\r\n"
    "•  Both brighten by three f-stops (eight times).\r\n"
    "\r\n"
    "Dark parts get brighter and bright parts burn out.\r\n"
    "Helpful when a tiny bright sun leaves the rest of the\r\n"
    "picture dark.\r\n"
    "\r\n"
    "Together with the gamma option on 96-bit sources the\r\n"
    "result soon looks washed out. PGM sources ignore these\r\n"
    "options.\r\n"
    "------------------------------------------------------------\r\n";

const char kPosterise[] =
    "            ____ OPTIONS FOR POSTERISE ____\r\n"
    "\r\n"
    "Posterise cuts down the number of brightness levels. In\r\n"
    "the TE that gives you terraces where you want them.\r\n"
    "\r\n"
    "•  4 steps (2-bit)\r\n"
    "•  5, 6 and 8 steps (3-bit)\r\n"
    "•  12 and 16 steps (4-bit)\r\n"
    "\r\n"
    "There may be one step more, black or white.\r\n"
    "\r\n"
    "Works for 24-, 48- and 96-bit TIFF and 96-bit HDR\r\n"
    "sources. The more bits the source has, the more accurate\r\n"
    "the steps.\r\n"
    "------------------------------------------------------------\r\n";

const char kTeRaw[] =
    "         ____ OPTION TE > Raw (Converter) ____\r\n"
    "\r\n"
    "With TE>Raw ticked the program does only one thing: it\r\n"
    "converts a 16-bit greyscale TIFF, as KELVARIN writes\r\n"
    "them, into RAW.\r\n"
    "\r\n"
    "The output is the 16-bit data of the TIFF without header\r\n"
    "and tags, in the byte order of the TIFF. To open it you\r\n"
    "need the width and height; the header size is 0.\r\n"
    "\r\n"
    "To get the other byte order, first convert the TIFF\r\n"
    "without TE>Raw and with Swap ticked.\r\n"
    "\r\n"
    "The option is there for programs that can't read such\r\n"
    "TIFFs but can read the data, and for bringing Bryce\r\n"
    "terrains into GeoControl or WorldCreator as\r\n"
    "\"Raw (16 bit) For Carrara\".\r\n"
    "----------------------------------------------------------------\r\n";

const char kSwap[] =
    "            ____ OPTION SWAP MAC AND PC ____\r\n"
    "\r\n"
    "TIFF data is stored in one of two byte orders, depending\r\n"
    "on the computer that wrote it. Programs normally cope\r\n"
    "with both, but the Bryce TE loads 16-bit TIFFs of the\r\n"
    "other machine with the bytes of the picture data\r\n"
    "swapped.\r\n"
    "\r\n"
    "KELVARIN keeps the byte order of the source unless Swap\r\n"
    "is ticked. So you can convert a TIFF from the other\r\n"
    "platform to your own, and back.\r\n"
    "\r\n"
    "Byte order only matters for integer data (16- and 48-bit\r\n"
    "TIFFs), not for IEEE floating point. A converted\r\n"
    "Radiance file always gets the PC byte order, whatever\r\n"
    "Swap says.\r\n"
    "-------------------------------------------------------------------\r\n";

const char kOpen[] =
    "       _____ Opening Any Height-Map Source _____\r\n"
    "\r\n"
    "File > Open... (Ctrl+O) takes every image this program\r\n"
    "reads and tells its kind by its first bytes, never by\r\n"
    "its name. Dropping a file on the window does the same.\r\n"
    "\r\n"
    "•  PNG: 1 to 16 bits, grey, RGB, palette, with or\r\n"
    "    without alpha, interlaced or not.\r\n"
    "•  TIFF: grey, RGB or palette, 1 to 32 bits or floating\r\n"
    "    point; uncompressed, LZW, Deflate or PackBits;\r\n"
    "    strips or tiles, planes apart or together; BigTIFF.\r\n"
    "•  OpenEXR (half or float), PFM, PPM, PGM and PBM.\r\n"
    "•  Radiance files of every packing: flat, the old\r\n"
    "    run-length scheme and RLE2 at any width.\r\n"
    "\r\n"
    "A picture is converted as the same picture saved as an\r\n"
    "RGB TIFF would be, and all options apply: grey becomes\r\n"
    "R = G = B, alpha is left out (the log says so), 1 to 8\r\n"
    "bits become 8-bit samples, 9 to 16 bits 16-bit ones,\r\n"
    "32-bit integers and floating point take the 96-bit road.\r\n"
    "A file of one floating-point or signed channel holds\r\n"
    "heights, not light, and is taken as heights.\r\n"
    "\r\n"
    "Samples are taken as stored: gamma and colour profiles\r\n"
    "are never applied, since a height is not a colour.\r\n"
    "------------------------------------------------------------\r\n";

const char kPgm[] =
    "        _____ Portable Grey Map Conversion _____\r\n"
    "\r\n"
    "PGM files come as 8 or 16 bit, with the samples as text\r\n"
    "or binary. Bryce imports only plain PGM, and not in an\r\n"
    "obvious way.\r\n"
    "\r\n"
    "16-bit plain (P2) and binary (P5) files are converted to\r\n"
    "16-bit greyscale TIFFs that the TE loads as height maps.\r\n"
    "None of the options apply.\r\n"
    "------------------------------------------------------------\r\n";

const char kRaw[] =
    "      _______ WorldCreator RAW Conversion _______\r\n"
    "\r\n"
    "A RAW file can hold just about anything. This converter\r\n"
    "takes square images of 16-bit unsigned single-channel\r\n"
    "samples; the size follows from the file size.\r\n"
    "\r\n"
    "Terrains exported from GeoControl or WorldCreator as\r\n"
    "\"Raw (16 bit) For Carrara\" become 16-bit TIFF height\r\n"
    "maps for the Bryce TE (up to 4096).\r\n"
    "\r\n"
    "For the other direction use the TE>Raw option.\r\n"
    "----------------------------------------------------------------------\r\n";

const char kBin[] =
    "          ______ SIGNED INTEGER BINARY ______\r\n"
    "\r\n"
    "The file is expected to come from 3DEM: MOLA or GTOPO\r\n"
    "data loaded as Lat/Lon and saved as a binary signed\r\n"
    "integer terrain matrix. 3DEM writes name.BIN with the\r\n"
    "data and name.HDR with the header (not a Radiance HDRI).\r\n"
    "\r\n"
    "The header is read and closed, then the data is loaded\r\n"
    "as a whole. Signed values become unsigned; illegal or\r\n"
    "unmeasured values are set to zero, so one is added to\r\n"
    "all heights (one metre).\r\n"
    "\r\n"
    "MOLA 128 and GTOPO30 have a resolution of 30 arc seconds\r\n"
    "(about 500 m per pixel on Mars, 1 km on Earth) and 1 m\r\n"
    "in height.\r\n"
    "------------------------------------------------------------\r\n";

const char kTerrain4[] =
    "_____ 4 Raw to 3 Tif Terrain Creation from 16 Bit _____\r\n"
    "\r\n"
    "•  Create terrains of 8192, 4096, 2048 and 1024 in\r\n"
    "    WorldCreator.\r\n"
    "•  Export each as \"Raw (16 bit) For Carrara\".\r\n"
    "•  Name them 8name, 4name, 2name and 1name.raw.\r\n"
    "\r\n"
    "Each larger file is halved, by the maximum of each block\r\n"
    "of four pixels (Max) or by their average (Avg), and\r\n"
    "combined with the next smaller one. That gives\r\n"
    "name_4096.tif, name_2048.tif and name_1024.tif.\r\n"
    "\r\n"
    "Existing files of these names are overwritten without\r\n"
    "warning.\r\n"
    "---------------------------------------------------------------------------\r\n";

const char kTerrain3[] =
    "_____ 3 Raw to 3 Tif Terrain Creation from 16 Bit _____\r\n"
    "\r\n"
    "For when the 8192 terrain can't be made.\r\n"
    "\r\n"
    "Three exports of 4096, 2048 and 1024 named 4name, 2name\r\n"
    "and 1name.raw get a TIFF header and are saved as\r\n"
    "name_4096.tif, name_2048.tif and name_1024.tif. Max and\r\n"
    "Avg make no difference here.\r\n"
    "\r\n"
    "Existing files of these names are overwritten without\r\n"
    "warning.\r\n"
    "---------------------------------------------------------------------------\r\n";

const char kAbout[] =
    "KELVARIN.exe - v.3.02:181122\r\n"
    "\r\n"
    "DISCLAIMER:\r\n"
    "This program comes as is, without any warranty. Use it\r\n"
    "at your own risk. Keep a copy of your pictures; the\r\n"
    "source file is never changed, but a destination of the\r\n"
    "same name is overwritten.\r\n"
    "-----------------------------------\r\n"
    "\r\n"
    "Built with a C++20 compiler, CMake,\r\n"
    "Qt 6 / Win32.\r\n"
    "\r\n"
    "KELVARIN developers\r\n"
    "-----------------------------------\r\n";

}  // namespace

const std::vector<HelpPage>& helpPages() {
    static const std::vector<HelpPage> pages = {
        {ids::HelpGeneral, "Help > General", "KELVARIN - Help|General", kGeneral},
        {ids::HelpUsage, "Help > Usage", "KELVARIN - Help|Usage", kUsage},
        {ids::HelpBryceRender, "Help > Bryce > Render Export", "KELVARIN - Help|Bryce|Render", kBryceRender},
        {ids::HelpBryceHdri, "Help > Bryce > HDRI Export", "KELVARIN - Help|Bryce|HDRI", kBryceHdri},
        {ids::HelpColour, "Help > Options > Colour Weighting", "KELVARIN - Help|Options|Colour", kColour},
        {ids::HelpEnhancing, "Help > Options > Enhancing", "KELVARIN - Help|Options|Enhance", kEnhancing},
        {ids::HelpFStop, "Help > Options > f-stop", "KELVARIN - Help|Options|f-Stop", kFStop},
        {ids::HelpPosterise, "Help > Options > Posterise", "KELVARIN - Help|Options|Posterise", kPosterise},
        {ids::HelpTeRaw, "Help > TE > Raw", "KELVARIN - Help|TE > Raw", kTeRaw},
        {ids::HelpSwap, "Help > Swap Mac/PC", "KELVARIN - Help|Swap", kSwap},
        {ids::HelpOpen, "Help > Convert > Open Support", "KELVARIN - Help|Open Support", kOpen},
        {ids::HelpPgm, "Help > Convert > PGM Support", "KELVARIN - Help|PGM Support", kPgm},
        {ids::HelpRaw, "Help > Convert > RAW Support", "KELVARIN - Help|RAW Support", kRaw},
        {ids::HelpBin, "Help > Convert > BIN   Support", "KELVARIN - Help|Bin Support", kBin},
        {ids::HelpTerrain4, "Help > Convert > 4 RAW to 3 16-bit TIF", "KELVARIN - Help|4 > 3 TIF 16", kTerrain4},
        {ids::HelpTerrain3, "Help > Convert > 3 RAW to 3 16-bit TIF", "KELVARIN - Help|3 > 3 TIF 16", kTerrain3},
        {ids::HelpAbout, "Help > About", "KELVARIN - Help|About", kAbout},
    };
    return pages;
}

const HelpPage* findHelpPage(int commandId) {
    for (const HelpPage& page : helpPages())
        if (page.commandId == commandId) return &page;
    return nullptr;
}

}  // namespace kelvarin
