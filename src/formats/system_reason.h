// Why a file could not be opened, made or written, in words for the log: taken from the system's
// error of the thread's last call (errno; on Windows the last error, which the C library's calls
// set too). A caller clears it before the call it asks about, so an older error is never taken
// for this one.
#pragma once

#include <string>

namespace kelvarin {

// The file a reason is about: "no such file" for a source that is missing is "no such folder"
// for a destination, whose own name need not exist yet.
enum class ReasonSubject { Source, Destination };

void clearSystemReason();
// Empty when the system gave no error.
std::string systemReason(ReasonSubject subject);

// The words for one POSIX errno value (the Windows errors are mapped onto these first); empty
// for 0.
std::string reasonForErrno(int code, ReasonSubject subject);

// The log line: "Reason: WORDS (PATH)", or nothing when no reason is known.
std::string reasonLine(const std::string& reason, const std::string& path);

}  // namespace kelvarin
