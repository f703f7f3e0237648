// The Qt window ended by a signal (SIGINT, SIGTERM, SIGHUP) leaves no temporary file behind, as
// the CLI does: the handler deletes the temporary file of the destination being written and ends
// the program at once with 128 + the signal's number. SIGKILL cannot be caught and may still
// leave one.
#pragma once

namespace kelvarin::qt {

// Installs the handlers; a signal the caller chose to ignore (nohup) stays ignored.
void endOnSignals();

}  // namespace kelvarin::qt
