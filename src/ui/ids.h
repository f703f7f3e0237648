// Command and control identifiers shared by the window description and the command handler.
#pragma once

namespace kelvarin::ids {

// Menu commands.
inline constexpr int OpenImage = 1060, OpenTif = 1001, OpenHdr = 1003, Quit = 1004;
inline constexpr int PgmToTif = 1002, RawToTif = 1049, BinToTif = 1055;
inline constexpr int Terrain4Max = 1045, Terrain4Avg = 1051, Terrain3 = 1047;
inline constexpr int HelpGeneral = 1005, HelpUsage = 1006, HelpBryceRender = 1007, HelpBryceHdri = 1008,
                     HelpColour = 1009, HelpEnhancing = 1010, HelpFStop = 1011, HelpPosterise = 1043,
                     HelpTeRaw = 1013, HelpSwap = 1012, HelpPgm = 1044, HelpRaw = 1053, HelpBin = 1054,
                     HelpTerrain4 = 1046, HelpTerrain3 = 1048, HelpOpen = 1061, HelpAbout = 1014;

// Help: the manual installed with the programs, after the help pages.
inline constexpr int HelpManual = 1062;

// Output: the size of the height map written. One of them is ticked.
inline constexpr int OriginalSize = 1200, OtherSize = 1220;
inline constexpr int Size513 = 1201, Size1025 = 1202, Size2049 = 1203, Size4097 = 1204, Size8193 = 1205;
inline constexpr int Size505 = 1211, Size1009 = 1212, Size2017 = 1213, Size4033 = 1214, Size8129 = 1215;
// Output: the map cut into a grid of tiles; ticked while a grid is set.
inline constexpr int Tiles = 1225;
// Output: the heights the levels of a map made from elevation files span.
inline constexpr int HeightRange = 1226;

// Convert: stops the job that runs (asks first). Enabled only while one runs.
inline constexpr int StopConversion = 1250;

// View: the preview window on demand, and whether it opens by itself after each job.
inline constexpr int PreviewLastResult = 1240, ShowPreviewAfterJob = 1241;

// The commands that are greyed while a job runs.
inline constexpr int kConversionCommands[] = {OpenImage, OpenTif, OpenHdr, PgmToTif, RawToTif,
                                              BinToTif, Terrain4Max, Terrain4Avg, Terrain3};

// Controls of the main window.
inline constexpr int TitleLabel = 1015, LogLabel = 1017, LogList = 1016, ProgressBar = 1030;
inline constexpr int Average = 1018, TV = 1019, HDTV = 1020, Red = 1021, Green = 1022, Blue = 1023;
inline constexpr int ColourFrame = 1024, OptionsFrame = 1026, EnhancingFrame = 1025, FStopFrame = 1031,
                     PosteriseFrame = 1041;
inline constexpr int Boost = 1028, Invert = 1029, Swap = 1027, FStopX2 = 1032, FStopX4 = 1033, TeRaw = 1042;
inline constexpr int PosteriseNone = 1034, Posterise4 = 1035, Posterise5 = 1036, Posterise6 = 1037,
                     Posterise8 = 1038, Posterise12 = 1039, Posterise16 = 1040;

// Controls of the preview window.
inline constexpr int PreviewHeight = 1101, PreviewRelief = 1102, PreviewSave = 1103;
inline constexpr int PreviewTile1 = 1104, PreviewTile2 = 1105, PreviewTile3 = 1106;
inline constexpr int PreviewImage = 1110, PreviewHistogramLabel = 1111, PreviewHistogram = 1112,
                     PreviewHistogramLow = 1113, PreviewHistogramHigh = 1114, PreviewFiguresLabel = 1115,
                     PreviewFigures = 1116, PreviewWarningsLabel = 1117, PreviewWarnings = 1118;

// The dialog keys Enter and Escape arrive as these; they are also the OK and Cancel buttons of
// the small text dialog, whose prompt and text box are these.
inline constexpr int KeyOk = 1, KeyCancel = 2;
inline constexpr int TextPrompt = 1230, TextBox = 1231;

}  // namespace kelvarin::ids
