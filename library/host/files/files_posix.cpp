// files_posix.cpp - the library's file and signal calls on POSIX systems: the script file
// opened without blocking and only when regular, writes that report a full disk instead of
// dying, snapshots replaced atomically and only over what may be replaced, and SIGINT and
// SIGTERM turned into a readable descriptor.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include "host/files/files.h"

namespace px {
namespace sys {
namespace {

std::string error_text(int error) { return std::strerror(error ? error : EIO); }

// While alive, a write that exceeds a file size limit fails with EFBIG instead of killing
// the process, and one into a pipe without reader fails with EPIPE. Only signals left at
// their default action are touched: an application's own handler still runs.
class QuietWriteSignals {
public:
    QuietWriteSignals() {
        ignore(SIGXFSZ, &xfsz_, &restore_xfsz_);
        ignore(SIGPIPE, &pipe_, &restore_pipe_);
    }
    ~QuietWriteSignals() {
        if (restore_xfsz_) sigaction(SIGXFSZ, &xfsz_, nullptr);
        if (restore_pipe_) sigaction(SIGPIPE, &pipe_, nullptr);
    }
    QuietWriteSignals(const QuietWriteSignals&) = delete;
    QuietWriteSignals& operator=(const QuietWriteSignals&) = delete;

private:
    static void ignore(int sig, struct sigaction* old, bool* restore) {
        *restore = false;
        if (sigaction(sig, nullptr, old) != 0 || (old->sa_flags & SA_SIGINFO) || old->sa_handler != SIG_DFL) return;
        struct sigaction quiet;
        std::memset(&quiet, 0, sizeof quiet);
        quiet.sa_handler = SIG_IGN;
        sigemptyset(&quiet.sa_mask);
        *restore = sigaction(sig, &quiet, nullptr) == 0;
    }
    struct sigaction xfsz_, pipe_;
    bool restore_xfsz_ = false, restore_pipe_ = false;
};

bool write_fd(int fd, const unsigned char* p, size_t n, std::string* reason) {
    QuietWriteSignals quiet;
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            *reason = error_text(w < 0 ? errno : ENOSPC);
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

std::string directory_of(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows symbolic links from `path` to the name that will be written: the last link's
// target, or the path itself. Checks that what it names may be replaced; *mode gets the
// permissions of an existing file (or -1 for a new one).
std::string replacement_target(const char* path, std::string* target, int* mode) {
    *target = path;
    *mode = -1;
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (lstat(target->c_str(), &st) != 0) return errno == ENOENT ? std::string() : error_text(errno);
        if (S_ISLNK(st.st_mode)) {
            if (hops == 40) return error_text(ELOOP);
            std::vector<char> link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
            ssize_t n = readlink(target->c_str(), link.data(), link.size() - 1);
            if (n < 0) return error_text(errno);
            std::string next(link.data(), static_cast<size_t>(n));
            *target = next[0] == '/' ? next : directory_of(*target) + next;
            continue;
        }
        if (S_ISDIR(st.st_mode)) return error_text(EISDIR);
        if (!S_ISREG(st.st_mode)) return NOT_A_REGULAR_FILE;
        if (faccessat(AT_FDCWD, target->c_str(), W_OK, AT_EACCESS) != 0) return error_text(errno);
        *mode = static_cast<int>(st.st_mode & 07777);
        return std::string();
    }
}

// A new file beside the target; O_EXCL so a leftover is never reused.
int open_temp(const std::string& target, std::string* temp) {
    std::string stem = directory_of(target) + ".plotx-snapshot-" + std::to_string(static_cast<long>(getpid())) + "-";
    for (int n = 0; n < 100; ++n) {
        *temp = stem + std::to_string(n) + ".tmp";
        int fd = open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// The quit signals' self-pipe: the handler writes a byte, the backend's wait wakes on it.
volatile sig_atomic_t quit_signal_arrived = 0;
int quit_pipe[2] = {-1, -1};
const int QUIT_SIGNALS[] = {SIGINT, SIGTERM};

extern "C" void on_quit_signal(int) {
    int saved = errno;
    quit_signal_arrived = 1;
    struct sigaction deflt;
    std::memset(&deflt, 0, sizeof deflt);
    deflt.sa_handler = SIG_DFL;
    sigemptyset(&deflt.sa_mask);
    for (int sig : QUIT_SIGNALS) sigaction(sig, &deflt, nullptr);
    char byte = 1;
    if (quit_pipe[1] >= 0 && ::write(quit_pipe[1], &byte, 1) < 0) {
        // Full already: the wait has a byte to wake on.
    }
    errno = saved;
}

}  // namespace

int catch_quit_signals() {
    if (quit_pipe[0] < 0) {
        if (pipe(quit_pipe) != 0) return -1;
        for (int fd : quit_pipe) {
            fcntl(fd, F_SETFD, FD_CLOEXEC);
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
    }
    bool taken = false;
    for (int sig : QUIT_SIGNALS) {
        struct sigaction old;
        if (sigaction(sig, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) continue;
        struct sigaction quit;
        std::memset(&quit, 0, sizeof quit);
        quit.sa_handler = on_quit_signal;
        sigemptyset(&quit.sa_mask);
        quit.sa_flags = SA_RESTART;
        taken |= sigaction(sig, &quit, nullptr) == 0;
    }
    return taken ? quit_pipe[0] : -1;
}

bool take_quit_signal() {
    if (!quit_signal_arrived) return false;
    quit_signal_arrived = 0;
    char buffer[16];
    while (quit_pipe[0] >= 0 && ::read(quit_pipe[0], buffer, sizeof buffer) > 0) {
    }
    return true;
}

std::FILE* open_script(const char* path, bool for_writing, std::string* reason) {
    // O_NONBLOCK: opening a FIFO would otherwise wait for its peer. Not truncated yet:
    // only a regular file may be emptied.
    int flags = (for_writing ? O_WRONLY | O_CREAT : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = open(path, flags, 0666);
    struct stat st;
    if (fd < 0) {
        int error = errno;
        // A FIFO without reader refuses a writer with ENXIO; say what it is instead.
        *reason = stat(path, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) ? NOT_A_REGULAR_FILE
                                                                                       : error_text(error);
        return nullptr;
    }
    std::string failure;
    if (fstat(fd, &st) != 0) failure = error_text(errno);
    else if (S_ISDIR(st.st_mode)) failure = error_text(EISDIR);
    else if (!S_ISREG(st.st_mode)) failure = NOT_A_REGULAR_FILE;
    else if (for_writing && ftruncate(fd, 0) != 0) failure = error_text(errno);
    else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) failure = error_text(errno);
    std::FILE* stream = failure.empty() ? fdopen(fd, for_writing ? "w" : "r") : nullptr;
    if (!stream) {
        if (failure.empty()) failure = error_text(errno);
        close(fd);
        *reason = failure;
        return nullptr;
    }
    if (for_writing) std::setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

bool write_text(std::FILE* stream, const char* text, size_t n, std::string* reason) {
    return write_fd(fileno(stream), reinterpret_cast<const unsigned char*>(text), n, reason);
}

bool cut_file(std::FILE* stream, long length, std::string* reason) {
    int fd = fileno(stream);
    if (ftruncate(fd, static_cast<off_t>(length)) != 0 || lseek(fd, static_cast<off_t>(length), SEEK_SET) < 0) {
        *reason = error_text(errno);
        return false;
    }
    return true;
}

std::string replace_file(const char* path, const std::vector<unsigned char>& bytes) {
    std::string target, temp;
    int mode = -1;
    std::string reason = replacement_target(path, &target, &mode);
    if (!reason.empty()) return reason;
    int fd = open_temp(target, &temp);
    if (fd < 0) return error_text(errno);
    // Synced before the rename, so the name never points at a short file.
    if (mode >= 0 && fchmod(fd, static_cast<mode_t>(mode)) != 0) reason = error_text(errno);
    if (reason.empty()) write_fd(fd, bytes.data(), bytes.size(), &reason);
    if (reason.empty() && fsync(fd) != 0) reason = error_text(errno);
    if (close(fd) != 0 && reason.empty()) reason = error_text(errno);
    if (reason.empty() && std::rename(temp.c_str(), target.c_str()) != 0) reason = error_text(errno);
    if (!reason.empty()) unlink(temp.c_str());
    return reason;
}

}  // namespace sys
}  // namespace px
