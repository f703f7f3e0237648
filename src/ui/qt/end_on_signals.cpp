#include "ui/qt/end_on_signals.h"

#include <signal.h>
#include <unistd.h>

#include "formats/file.h"

namespace kelvarin::qt {

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void onEndingSignal(int signalNumber) {
    removeTemporaryFilesNow();
    _exit(128 + signalNumber);
}

}  // namespace

void endOnSignals() {
    struct sigaction action {};
    action.sa_handler = onEndingSignal;
    sigemptyset(&action.sa_mask);
    // One handler at a time: a second signal waits until the program has ended.
    for (int signalNumber : kInterruptSignals) sigaddset(&action.sa_mask, signalNumber);
    for (int signalNumber : kEndingSignals) {
        struct sigaction previous {};
        if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(signalNumber, &action, nullptr);
    }
}

}  // namespace kelvarin::qt
