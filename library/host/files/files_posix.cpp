// files_posix.cpp - the library's file and signal calls on POSIX systems: the script file
// opened without blocking and only when regular, writes that report a full disk instead of
// dying, snapshots replaced atomically and only over what may be replaced, and SIGINT and
// SIGTERM turned into a readable descriptor.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
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

#ifdef __EMSCRIPTEN__
long long g_size_limit = -1;  // set_test_file_size_limit
#endif

bool write_fd(int fd, const unsigned char* p, size_t n, std::string* reason) {
    QuietWriteSignals quiet;
    while (n > 0) {
        size_t chunk = n;
#ifdef __EMSCRIPTEN__
        const long long at = g_size_limit < 0 ? -1 : static_cast<long long>(lseek(fd, 0, SEEK_CUR));
        if (at >= 0 && at + static_cast<long long>(chunk) > g_size_limit) {
            if (at >= g_size_limit) {
                *reason = error_text(ENOSPC);
                return false;
            }
            chunk = static_cast<size_t>(g_size_limit - at);
        }
#endif
        ssize_t w = ::write(fd, p, chunk);
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
// permissions of an existing file (or -1 for a new one), *in_place whether a rename would
// change what the file is (it has other names, another owner, or its directory takes no
// new name), so it must be written where it is.
std::string replacement_target(const char* path, std::string* target, int* mode, bool* in_place) {
    *target = path;
    *mode = -1;
    *in_place = false;
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
        std::string dir = directory_of(*target);
        *in_place = st.st_nlink > 1 || st.st_uid != geteuid() ||
                    faccessat(AT_FDCWD, dir.empty() ? "." : dir.c_str(), W_OK | X_OK, AT_EACCESS) != 0;
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
constexpr int QUIT_SIGNAL_COUNT = 2;
// What each quit signal did before it was taken over, while it is.
struct sigaction quit_previous[QUIT_SIGNAL_COUNT];
bool quit_taken[QUIT_SIGNAL_COUNT] = {};

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

// The writer's lock: flock, held by the open file description, so a second writer is
// refused whether it is another process or another stream of this one. A file system
// without locks takes the recording unlocked.
bool lock_for_writing(int fd, std::string* failure) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EWOULDBLOCK) {
        *failure = SCRIPT_LOCKED;
        return false;
    }
    return true;
}

}  // namespace

bool script_locked(const char* path) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool locked = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_SH | LOCK_NB) != 0 &&
                  errno == EWOULDBLOCK;
    close(fd);
    return locked;
}

int catch_quit_signals() {
    if (quit_pipe[0] < 0) {
        if (pipe(quit_pipe) != 0) return -1;
        for (int fd : quit_pipe) {
            fcntl(fd, F_SETFD, FD_CLOEXEC);
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
    }
    bool taken = false;
    for (int i = 0; i < QUIT_SIGNAL_COUNT; ++i) {
        struct sigaction old;
        if (sigaction(QUIT_SIGNALS[i], nullptr, &old) != 0) continue;
        if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == on_quit_signal) {
            taken = true;  // still ours from an earlier call
            continue;
        }
        if ((old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) continue;
        struct sigaction quit;
        std::memset(&quit, 0, sizeof quit);
        quit.sa_handler = on_quit_signal;
        sigemptyset(&quit.sa_mask);
        quit.sa_flags = SA_RESTART;
        if (sigaction(QUIT_SIGNALS[i], &quit, nullptr) == 0) {
            quit_previous[i] = old;
            quit_taken[i] = true;
            taken = true;
        }
    }
    return taken ? quit_pipe[0] : -1;
}

void release_quit_signals() {
    for (int i = 0; i < QUIT_SIGNAL_COUNT; ++i) {
        if (!quit_taken[i]) continue;
        quit_taken[i] = false;
        struct sigaction now;
        // One the program installed since is its own now, and stays.
        if (sigaction(QUIT_SIGNALS[i], nullptr, &now) == 0 && !(now.sa_flags & SA_SIGINFO) &&
            now.sa_handler == on_quit_signal)
            sigaction(QUIT_SIGNALS[i], &quit_previous[i], nullptr);
    }
    quit_signal_arrived = 0;
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
    else if (for_writing && !lock_for_writing(fd, &failure)) {
    } else if (for_writing && ftruncate(fd, 0) != 0) failure = error_text(errno);
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

// Writes over the file itself: its links, owner and permissions stay, at the cost of a
// moment in which the name shows a part-written file.
std::string write_in_place(const std::string& target, const std::vector<unsigned char>& bytes) {
    int fd = open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return error_text(errno);
    std::string reason;
    write_fd(fd, bytes.data(), bytes.size(), &reason);
    if (reason.empty() && ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) reason = error_text(errno);
    if (reason.empty() && fsync(fd) != 0) reason = error_text(errno);
    if (close(fd) != 0 && reason.empty()) reason = error_text(errno);
    return reason;
}

std::string replace_file(const char* path, const std::vector<unsigned char>& bytes) {
    std::string target, temp;
    int mode = -1;
    bool in_place = false;
    std::string reason = replacement_target(path, &target, &mode, &in_place);
    if (!reason.empty()) return reason;
    if (in_place) return write_in_place(target, bytes);
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

#ifdef __EMSCRIPTEN__
void set_test_file_size_limit(long long bytes) { g_size_limit = bytes; }
#endif

}  // namespace sys
}  // namespace px
