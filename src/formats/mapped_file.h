// A read-only view of a whole source file, mapped from the disk where the platform allows.
//
// Linux: another program may shorten the file while it is mapped; touching a page past the new
// end raises SIGBUS. A handler installed with the first view catches the faults that fall inside
// a live view, puts zero pages over the rest of that view and marks it shortened(); the reader
// sees zeros and the job, which asks shortened() after each piece of work, fails as on a short
// read. A SIGBUS anywhere else goes to the handler that was there before (by default the
// program ends).
// Windows: a file with a mapped view cannot be shortened (SetEndOfFile fails), so a view never
// becomes shortened there.
#pragma once

#include <cstdint>
#include <cstdio>

namespace kelvarin {

class MappedView {
public:
    MappedView() = default;
    ~MappedView() { unmap(); }
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;

    // Maps the first `size` bytes of the open file; nullptr when it cannot (size 0, no address
    // space, too many views at once). Mapped once: later calls return the same view.
    const std::uint8_t* map(std::FILE* handle, std::uint64_t size);
    void unmap();
    // True once a page of the view was found past the end of the file: its bytes from that page
    // on read as zeros. Stays true after unmap().
    bool shortened() const;

private:
    const std::uint8_t* view_ = nullptr;
    std::uint64_t size_ = 0;
    bool tried_ = false;
    bool shortened_ = false;
    int slot_ = -1;  // the view's entry in the signal handler's table
#ifdef _WIN32
    void* mapping_ = nullptr;
#endif
};

}  // namespace kelvarin
