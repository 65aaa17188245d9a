// files_win32.cpp - the library's file calls on Windows: files always in binary mode, so a
// script has the same bytes as on other systems; snapshots written beside the target,
// committed to disk and moved over it in one step (rename() there refuses an existing
// target). Symbolic links are not followed: Windows programs rarely meet them. A recording
// holds its file with a sharing mode that keeps other writers out. Windows' own error codes
// become the reasons POSIX systems give, so messages read alike everywhere.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstring>
#include "host/files/files.h"

namespace px {
namespace sys {
namespace {

std::string error_text(int error) { return std::strerror(error ? error : EIO); }

// The reason for a failed Windows call; the C library's own mapping folds a sharing
// violation and a full disk into other errors.
std::string windows_error_text(unsigned long error) {
    switch (error) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return FILE_IN_USE;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return error_text(ENOSPC);
        case ERROR_ACCESS_DENIED: return error_text(EACCES);
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return error_text(ENOENT);
        case ERROR_WRITE_PROTECT: return error_text(EROFS);
        default: return error_text(EIO);
    }
}

long long g_size_limit = -1;  // set_test_file_size_limit

bool write_fd(int fd, const unsigned char* p, size_t n, std::string* reason) {
    while (n > 0) {
        unsigned chunk = n > 0x40000000u ? 0x40000000u : static_cast<unsigned>(n);
        const long long at = g_size_limit < 0 ? -1 : _telli64(fd);
        if (at >= 0 && at + static_cast<long long>(chunk) > g_size_limit) {
            if (at >= g_size_limit) {
                *reason = error_text(ENOSPC);
                return false;
            }
            chunk = static_cast<unsigned>(g_size_limit - at);
        }
        int w = _write(fd, p, chunk);
        if (w <= 0) {
            *reason = w == 0 ? error_text(ENOSPC)
                      : errno == ENOSPC || errno == EACCES ? windows_error_text(_doserrno) : error_text(errno);
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// What the name is now: 0 missing, or the _S_IF type bits; -1 with errno on other failures.
int kind_of(const char* path) {
    struct _stat64 st;
    if (_stat64(path, &st) != 0) return errno == ENOENT ? 0 : -1;
    return st.st_mode & _S_IFMT;
}

// A name ending in a separator can only be a directory, as on POSIX systems.
bool names_a_directory(const char* path) {
    const size_t n = std::strlen(path);
    return n > 0 && (path[n - 1] == '/' || path[n - 1] == '\\');
}

// Whether another program holds the file in a way that keeps it from being replaced: a
// refused move says only "access denied", as it does for a read-only file.
bool in_use(const char* path) {
    HANDLE h = CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

std::string directory_of(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::FILE* open_script(const char* path, bool for_writing, std::string* reason) {
    const int kind = kind_of(path);
    if (kind == _S_IFDIR || names_a_directory(path)) { *reason = error_text(EISDIR); return nullptr; }
    if (kind > 0 && kind != _S_IFREG) { *reason = NOT_A_REGULAR_FILE; return nullptr; }
    // The read-only attribute, checked here since a process with the host's privileges
    // (Wine run as root) would be let in.
    if (for_writing && kind == _S_IFREG && _access(path, 2) != 0) { *reason = error_text(errno); return nullptr; }
    int flags = (for_writing ? _O_WRONLY | _O_CREAT : _O_RDONLY) | _O_BINARY | _O_NOINHERIT;
    // A writer shares the file with readers only: a second writer meets a sharing violation
    // before it could empty the file.
    int fd = -1;
    if (_sopen_s(&fd, path, flags, for_writing ? _SH_DENYWR : _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0 || fd < 0) {
        *reason = _doserrno != ERROR_SHARING_VIOLATION ? error_text(errno)
                  : script_locked(path)                 ? SCRIPT_LOCKED
                                                        : FILE_IN_USE;
        return nullptr;
    }
    std::string failure;
    if (for_writing && _chsize_s(fd, 0) != 0) failure = error_text(errno);
    std::FILE* stream = failure.empty() ? _fdopen(fd, for_writing ? "wb" : "rb") : nullptr;
    if (!stream) {
        if (failure.empty()) failure = error_text(errno);
        _close(fd);
        *reason = failure;
        return nullptr;
    }
    if (for_writing) std::setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

// A recording is a writer that lets readers in: a reader that shares with writers gets in,
// one that refuses to share with a writer does not. Another program holding the file
// without sharing it is no recording.
bool script_locked(const char* path) {
    if (kind_of(path) != _S_IFREG) return false;
    auto opens = [path](DWORD share) {
        HANDLE h = CreateFileA(path, GENERIC_READ, share | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        CloseHandle(h);
        return true;
    };
    return !opens(FILE_SHARE_READ) && GetLastError() == ERROR_SHARING_VIOLATION &&
           opens(FILE_SHARE_READ | FILE_SHARE_WRITE);
}

bool write_text(std::FILE* stream, const char* text, size_t n, std::string* reason) {
    return write_fd(_fileno(stream), reinterpret_cast<const unsigned char*>(text), n, reason);
}

bool cut_file(std::FILE* stream, long length, std::string* reason) {
    int fd = _fileno(stream);
    if (_chsize_s(fd, length) != 0 || _lseeki64(fd, length, SEEK_SET) < 0) {
        *reason = error_text(errno);
        return false;
    }
    return true;
}

std::string replace_file(const char* path, const std::vector<unsigned char>& bytes) {
    const int kind = kind_of(path);
    if (kind < 0) return error_text(errno);
    if (kind == _S_IFDIR || names_a_directory(path)) return error_text(EISDIR);
    if (kind > 0 && kind != _S_IFREG) return NOT_A_REGULAR_FILE;
    if (kind == _S_IFREG && _access(path, 2) != 0) return error_text(errno);  // read-only
    const std::string stem = directory_of(path) + ".plotx-snapshot-" + std::to_string(_getpid()) + "-";
    std::string temp;
    int fd = -1;
    for (int n = 0; n < 100 && fd < 0; ++n) {
        temp = stem + std::to_string(n) + ".tmp";
        fd = _open(temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return error_text(errno);
    std::string reason;
    write_fd(fd, bytes.data(), bytes.size(), &reason);
    // Committed before the move, so the name never points at a short file.
    if (reason.empty() && _commit(fd) != 0) reason = error_text(errno);
    if (_close(fd) != 0 && reason.empty()) reason = error_text(errno);
    if (reason.empty() && !MoveFileExA(temp.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        reason = windows_error_text(in_use(path) ? ERROR_SHARING_VIOLATION : error);
    }
    if (!reason.empty()) _unlink(temp.c_str());
    return reason;
}

void set_test_file_size_limit(long long bytes) { g_size_limit = bytes; }

}  // namespace sys
}  // namespace px
