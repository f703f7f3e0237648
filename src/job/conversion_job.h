// Runs one conversion, from the source dialog to the last log line.
#pragma once

namespace kelvarin {

class Session;
class JobContext;

// Returns 1 when the destination was written completely, 0 in every other case. A job that
// fails never leaves a half-written destination behind: the destination's name holds either the
// complete new file or whatever it held before the job.
int runConversionJob(Session& session);

// Format detection, once the source is open: the first two bytes decide TIFF byte order, PGM or
// Radiance. False when the job stopped.
bool detectFormat(JobContext& job);

}  // namespace kelvarin
