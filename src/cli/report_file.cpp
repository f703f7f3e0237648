#include "cli/report_file.h"

#include <algorithm>

#include "pixels/report_json.h"

namespace kelvarin {

std::optional<std::string> reportPathProblem(FileSystem& fileSystem, const std::string& reportPath,
                                             const std::vector<std::string>& files) {
    if (reportPath.empty()) return std::string("--report takes a FILE");
    for (const std::string& file : files)
        if (file == reportPath || fileSystem.sameFile(file, reportPath))
            return "--report " + reportPath + " is one of the command's files";
    return std::nullopt;
}

std::optional<std::string> finishReportFile(FileSystem& fileSystem, const std::string& reportPath, bool jobSucceeded,
                                            bool terrainSet, const std::vector<FinishedReport>& reports) {
    const bool complete = terrainSet ? reports.size() == 3 : reports.size() == 1;
    if (!jobSucceeded || !complete) {
        if (!fileSystem.remove(reportPath)) return "the old report " + reportPath + " could not be removed";
        if (!jobSucceeded) return std::nullopt;
        return std::string("the job wrote no grey image: no report");
    }
    // A terrain set's tiles are named after the command's file: never let the report replace one
    // (the height map there stays as written).
    for (const FinishedReport& finished : reports)
        if (fileSystem.sameFile(finished.report.output, reportPath))
            return "--report " + reportPath + " is one of the images written: no report";
    std::string json;
    if (terrainSet) {
        std::vector<HeightReport> tiles;
        for (const FinishedReport& finished : reports) tiles.push_back(finished.report);
        json = terrainReportJson(tiles);
    } else {
        json = reportJson(reports.front().report);
    }
    std::unique_ptr<File> file = fileSystem.open(reportPath, File::Mode::Replace);
    if (!file || !file->write(json.data(), json.size()) || !file->commit()) {
        file.reset();
        fileSystem.remove(reportPath);
        return "the report could not be written to " + reportPath;
    }
    return std::nullopt;
}

std::vector<std::string> reportWarningTexts(const std::vector<FinishedReport>& reports) {
    std::vector<std::string> texts;
    for (const FinishedReport& finished : reports)
        for (const ReportWarning& warning : finished.report.warnings)
            if (std::find(texts.begin(), texts.end(), warning.text) == texts.end()) texts.push_back(warning.text);
    return texts;
}

std::string reportWarningLines(const std::vector<FinishedReport>& reports) {
    std::string lines;
    for (const std::string& text : reportWarningTexts(reports)) lines += std::string(kReportCaption) + ": " + text + "\n";
    return lines;
}

}  // namespace kelvarin
