// Mapped views of source files, and on Linux the SIGBUS handler that keeps a view of a file
// shortened meanwhile from stopping the program.
#include "formats/mapped_file.h"

#include <limits>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>

#include <sys/mman.h>
#include <unistd.h>
#endif

namespace kelvarin {

#ifndef _WIN32
namespace {

// The live views, for the signal handler: only lock-free atomics, so that the handler may read
// them whatever the interrupted thread was doing. An entry is live while `begin` is not 0.
struct ViewEntry {
    std::atomic<bool> taken{false};
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};  // past the view's last page
    std::atomic<bool> shortened{false};
};
static_assert(std::atomic<std::uintptr_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

constexpr int kViewEntries = 64;
ViewEntry gViews[kViewEntries];
std::uintptr_t gPageSize = 4096;
struct sigaction gPrevious {};

// The SIGBUS the handler does not answer goes where it went before: another handler, or the
// default action (the program ends), which for a fault comes when the instruction runs again.
void passOn(int signal, siginfo_t* info, void* context) {
    if ((gPrevious.sa_flags & SA_SIGINFO) != 0) {
        if (gPrevious.sa_sigaction) gPrevious.sa_sigaction(signal, info, context);
        return;
    }
    if (gPrevious.sa_handler == SIG_IGN && info->si_code <= 0) return;
    if (gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN) {
        gPrevious.sa_handler(signal);
        return;
    }
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(SIGBUS, &fallback, nullptr);
    // Sent by a process rather than a fault: sent again, it arrives once this handler returns.
    if (info->si_code <= 0) raise(signal);
}

void onBusError(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    if (info->si_code > 0) {
        for (ViewEntry& entry : gViews) {
            const std::uintptr_t begin = entry.begin.load(std::memory_order_acquire);
            if (begin == 0 || address < begin) continue;
            const std::uintptr_t end = entry.end.load(std::memory_order_acquire);
            if (address >= end) continue;
            // The file ends before this page: zeros from here to the end of the view, so that
            // the reader finishes its piece of work and the job sees the flag.
            const std::uintptr_t page = address & ~(gPageSize - 1);
            void* zeros = ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            if (zeros == MAP_FAILED) break;
            entry.shortened.store(true, std::memory_order_release);
            errno = savedErrno;
            return;
        }
    }
    passOn(signal, info, context);
    errno = savedErrno;
}

void installBusHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        const long page = ::sysconf(_SC_PAGESIZE);
        if (page > 0) gPageSize = static_cast<std::uintptr_t>(page);
        // What was there before is known before the handler can run.
        sigaction(SIGBUS, nullptr, &gPrevious);
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, nullptr);
    });
}

int registerView(const void* view, std::uint64_t size) {
    const auto begin = reinterpret_cast<std::uintptr_t>(view);
    const std::uintptr_t end = begin + ((static_cast<std::uintptr_t>(size) + gPageSize - 1) & ~(gPageSize - 1));
    for (int slot = 0; slot < kViewEntries; ++slot) {
        bool expected = false;
        if (!gViews[slot].taken.compare_exchange_strong(expected, true)) continue;
        gViews[slot].shortened.store(false);
        gViews[slot].end.store(end, std::memory_order_release);
        gViews[slot].begin.store(begin, std::memory_order_release);
        return slot;
    }
    return -1;
}

}  // namespace
#endif

const std::uint8_t* MappedView::map(std::FILE* handle, std::uint64_t size) {
    if (tried_ || !handle) return view_;
    tried_ = true;
    if (size == 0 || size > std::numeric_limits<std::size_t>::max()) return nullptr;
#ifdef _WIN32
    // A file with a view cannot be shortened while the view lasts: nothing to guard here.
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(handle)));
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) return nullptr;
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size));
    if (!view) {
        CloseHandle(mapping);
        return nullptr;
    }
    mapping_ = mapping;
#else
    installBusHandler();
    void* view = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fileno(handle), 0);
    if (view == MAP_FAILED) return nullptr;
    slot_ = registerView(view, size);
    if (slot_ < 0) {
        // Too many views at once for the handler's table: this source is read instead.
        ::munmap(view, static_cast<std::size_t>(size));
        return nullptr;
    }
#endif
    view_ = static_cast<const std::uint8_t*>(view);
    size_ = size;
    return view_;
}

void MappedView::unmap() {
    if (!view_) return;
#ifdef _WIN32
    UnmapViewOfFile(view_);
    CloseHandle(static_cast<HANDLE>(mapping_));
    mapping_ = nullptr;
#else
    ViewEntry& entry = gViews[slot_];
    shortened_ = entry.shortened.load(std::memory_order_acquire);
    entry.begin.store(0, std::memory_order_release);
    ::munmap(const_cast<std::uint8_t*>(view_), static_cast<std::size_t>(size_));
    entry.taken.store(false, std::memory_order_release);
    slot_ = -1;
#endif
    view_ = nullptr;
}

bool MappedView::shortened() const {
#ifndef _WIN32
    if (slot_ >= 0) return gViews[slot_].shortened.load(std::memory_order_acquire);
#endif
    return shortened_;
}

}  // namespace kelvarin
