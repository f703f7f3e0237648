// --report FILE: the reports of a job's written images as JSON, and their warnings on stderr.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "formats/file.h"
#include "pixels/height_report.h"

namespace kelvarin {

// What makes `reportPath` no place for the report, if anything: it names one of the command's
// files (a source would be overwritten, a destination replaced by the report).
std::optional<std::string> reportPathProblem(FileSystem& fileSystem, const std::string& reportPath,
                                             const std::vector<std::string>& files);

// After the job: a successful one's reports (a terrain set's three tiles as {"tiles": [...]})
// replace the file whole; after a failed job, or one that wrote no grey image, a report file left
// from before is removed, so that no file there describes anything but this job. Nothing when all
// went well, otherwise what went wrong.
std::optional<std::string> finishReportFile(FileSystem& fileSystem, const std::string& reportPath, bool jobSucceeded,
                                            bool terrainSet, const std::vector<FinishedReport>& reports);

// The caption the warnings are printed under, as boxes are: "KELVARIN - Report: TEXT".
inline constexpr char kReportCaption[] = "KELVARIN - Report";
// Each warning's sentence, a sentence that several tiles share once.
std::vector<std::string> reportWarningTexts(const std::vector<FinishedReport>& reports);
// The same as "KELVARIN - Report: TEXT" lines.
std::string reportWarningLines(const std::vector<FinishedReport>& reports);

}  // namespace kelvarin
