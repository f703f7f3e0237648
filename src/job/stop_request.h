// The user's wish to stop the job that runs. A window sets it from inside the job (its events
// are handled while the job moves the progress bar); the job looks at it between blocks, bands,
// tiles and files, and it may be read on the converting threads too.
#pragma once

#include <atomic>

namespace kelvarin {

inline constexpr const char* kStoppedLine = ">>> Stopped by the user. STOP!";

class StopRequest {
public:
    void request() { requested_.store(true); }
    bool requested() const { return requested_.load(std::memory_order_relaxed); }
    // True the first time it is called after a request: the job logs its stop line once.
    bool firstNotice() {
        if (!requested() || noticed_) return false;
        noticed_ = true;
        return true;
    }
    // Each job starts with no stop asked for.
    void clear() {
        requested_.store(false);
        noticed_ = false;
    }

private:
    std::atomic<bool> requested_{false};
    bool noticed_ = false;  // read and written on the job's thread only
};

}  // namespace kelvarin
