// Replacing a file on the disk, the steps the disk file system takes: where a name finally
// leads, a temporary file beside it, syncing, and the move over the name.
#pragma once

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

namespace kelvarin::disk {

std::string utf8FromPath(const std::filesystem::path& path);
// The file a destination name finally leads to: symbolic links are followed (a relative one from
// its own folder), so the file they point to is replaced and the links stay links.
std::filesystem::path finalTarget(std::filesystem::path path);
// Deletes a file by its name; false when it could not.
bool deleteNative(const std::filesystem::path& path);
// Creates the temporary file beside `target` under a fresh hidden name, with the permissions any
// new file gets here (umask, default ACLs), or those of the file it replaces. Its name enters the
// interrupt handler's table before the file exists, so that no moment leaves it unlisted.
std::FILE* createTemporary(const std::filesystem::path& target, bool replacing, std::filesystem::path& temporary, int& slot);
// Flushes the C library's buffer and the system's cache, so the bytes are on the disk before the
// name moves to them.
bool syncToDisk(std::FILE* handle);

// Syncs of a file that is still being written, one at a time on a thread of their own, so that
// its bytes reach the disk while the job goes on. A sync that ends with a flush of the disk's
// cache costs time in proportion to what it flushes, also after the system has written every
// page; spread over the writing, the last sync before the name moves has only the tail left.
// They only come early: the last sync is what makes the file durable. An error one of them meets
// is the file's, whichever sync would have reported it.
class EarlySyncs {
public:
    EarlySyncs() = default;
    EarlySyncs(const EarlySyncs&) = delete;
    EarlySyncs& operator=(const EarlySyncs&) = delete;
    ~EarlySyncs() { (void)finish(); }

    // Starts a sync of `descriptor` unless one is still running: the next start covers what that
    // one could not.
    void start(int descriptor);
    // Waits for the sync that runs, if any; false when any of them failed. Before the descriptor
    // closes.
    bool finish();

private:
    std::thread running_;
    std::atomic<bool> done_{true};
    std::atomic<bool> failed_{false};
};
// Moves the temporary file over the target's name (replacing it) and makes the move durable.
bool moveIntoPlace(const std::filesystem::path& temporary, const std::filesystem::path& target);
// The same in two steps, for many files moved into one folder: the moves, then one folder sync.
bool moveOver(const std::filesystem::path& temporary, const std::filesystem::path& target);
void syncFolder(const std::filesystem::path& folder);
// Lets the process hold as many open files as the system allows it: replacing files committed
// together stay open until their group is synced (a grid of 64 x 64 tiles is 4096 files), and
// the usual first limit is 1024. Once is enough; later calls do nothing.
void allowManyOpenFiles();
// Whether the file may be written (it is no read-only file).
bool mayWrite(const std::filesystem::path& path);

}  // namespace kelvarin::disk
