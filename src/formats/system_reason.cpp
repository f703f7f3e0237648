#include "formats/system_reason.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

namespace kelvarin {

namespace {

#ifdef _WIN32
// The Windows errors a file's creation or writing gives, as the errno values that say the same.
int errnoForWindowsError(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT: return EACCES;
        case ERROR_FILE_NOT_FOUND: return ENOENT;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
        case ERROR_INVALID_DRIVE: return ENOTDIR;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return EBUSY;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_INVALID_NAME: return EINVAL;
        case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
        default: return error == ERROR_SUCCESS ? 0 : EIO;
    }
}
#endif

}  // namespace

void clearSystemReason() {
    errno = 0;
#ifdef _WIN32
    SetLastError(ERROR_SUCCESS);
#endif
}

std::string systemReason(ReasonSubject subject) {
    const int code = errno;
#ifdef _WIN32
    // The C library's calls leave both set; the system's own calls only the last error.
    if (const DWORD error = GetLastError(); error != ERROR_SUCCESS) return reasonForErrno(errnoForWindowsError(error), subject);
#endif
    return reasonForErrno(code, subject);
}

std::string reasonForErrno(int code, ReasonSubject subject) {
    switch (code) {
        case 0: return {};
        case EACCES:
        case EPERM: return "permission denied";
        case ENOENT: return subject == ReasonSubject::Source ? "no such file" : "no such folder";
        case ENOTDIR: return "no such folder";
        case ENOSPC: return "the disk is full";
#ifdef EDQUOT
        case EDQUOT: return "the disk quota is used up";
#endif
        case EROFS: return "the disk is read-only";
        case EFBIG: return "the file is larger than the system allows";
        case EISDIR: return "the name is a folder";
        case ENAMETOOLONG: return "the name is too long";
        case EINVAL: return "the name is not possible";
        case EMFILE:
        case ENFILE: return "too many files are open";
        case EBUSY:
#ifdef ETXTBSY
        case ETXTBSY:
#endif
            return "the file is in use";
        case EIO: return "the disk could not be read or written";
        default: return "system error " + std::to_string(code);
    }
}

std::string reasonLine(const std::string& reason, const std::string& path) {
    return reason.empty() ? std::string() : "Reason: " + reason + " (" + path + ")";
}

}  // namespace kelvarin
