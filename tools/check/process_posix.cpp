// process_posix.cpp - run_process on POSIX: fork, setrlimit in the child, its own process
// group so a timeout or its end kills everything it started, a pidfd (or a short poll where
// there is none) for the timeout, wait4 for its processor time.
#include "process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

extern char** environ;

namespace check {
namespace {

struct Unprivileged {
    bool use = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

// RLIMIT_NPROC does not bind root, so a root tool runs programs as nobody.
Unprivileged unprivileged_user(const Limits& limits) {
    Unprivileged u;
    if (!limits.unprivileged || geteuid() != 0) return u;
    struct passwd pw, *found = nullptr;
    char buffer[1024];
    if (getpwnam_r("nobody", &pw, buffer, sizeof buffer, &found) == 0 && found) {
        u.use = true;
        u.uid = pw.pw_uid;
        u.gid = pw.pw_gid;
    }
    return u;
}

void set_limit(int resource, rlim_t soft, rlim_t hard) {
    struct rlimit rl;
    rl.rlim_cur = soft;
    rl.rlim_max = hard;
    setrlimit(resource, &rl);
}

double seconds_of(const struct timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; }

// The process groups of the runs in progress, so that plotx-check stopped by a signal
// (Ctrl+C, a CI system's cancel) takes them with it: they are in groups of their own, which
// the terminal's signal does not reach. Slots hold 0 when free.
constexpr int MAX_RUNNING = 256;
std::atomic<pid_t> running[MAX_RUNNING];

void remember(pid_t group) {
    for (std::atomic<pid_t>& slot : running) {
        pid_t free = 0;
        if (slot.compare_exchange_strong(free, group)) return;
    }
}

void forget(pid_t group) {
    for (std::atomic<pid_t>& slot : running) {
        pid_t mine = group;
        if (slot.compare_exchange_strong(mine, 0)) return;
    }
}

extern "C" void stop_runs_and_exit(int signal) {
    for (std::atomic<pid_t>& slot : running)
        if (pid_t group = slot.load()) killpg(group, SIGKILL);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void install_stop_handlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int s : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction action;
            std::memset(&action, 0, sizeof action);
            action.sa_handler = stop_runs_and_exit;
            sigemptyset(&action.sa_mask);
            sigaction(s, &action, nullptr);
        }
    });
}

// Only async-signal-safe calls between fork and exec: everything is prepared before.
[[noreturn]] void child(char* const* argv, char* const* envp, const char* dir, const char* out, const char* err,
                        const Limits& limits, const Unprivileged& user, int report_fd) {
    setpgid(0, 0);
    int in = open("/dev/null", O_RDONLY);
    if (in >= 0) dup2(in, 0);
    int o = open(out[0] ? out : "/dev/null", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err[0] ? err : "/dev/null", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o >= 0) dup2(o, 1);
    if (e >= 0) dup2(e, 2);
    if (dir[0] && chdir(dir) != 0) {
        int code = errno;
        (void)!write(report_fd, &code, sizeof code);
        _exit(127);
    }
    if (limits.cpu_seconds > 0) {
        const rlim_t cpu = static_cast<rlim_t>(limits.cpu_seconds + 0.999);
        set_limit(RLIMIT_CPU, cpu, cpu + 1);  // SIGXCPU at the limit, SIGKILL a second later
    }
    if (limits.memory_bytes) set_limit(RLIMIT_AS, limits.memory_bytes, limits.memory_bytes);
    if (limits.file_bytes) set_limit(RLIMIT_FSIZE, limits.file_bytes, limits.file_bytes);
    if (limits.processes > 0) set_limit(RLIMIT_NPROC, limits.processes, limits.processes);
    set_limit(RLIMIT_CORE, 0, 0);
    if (user.use) {
        if (setgroups(0, nullptr) != 0 || setgid(user.gid) != 0 || setuid(user.uid) != 0) {
            int code = errno;
            (void)!write(report_fd, &code, sizeof code);
            _exit(127);
        }
    }
    execve(argv[0], argv, envp);
    int code = errno;
    (void)!write(report_fd, &code, sizeof code);
    _exit(127);
}

// Waits for pid to end (leaving it unreaped) until the deadline; false at the deadline.
bool wait_for_end(pid_t pid, double timeout_seconds) {
    using clock = std::chrono::steady_clock;
    const bool bounded = timeout_seconds > 0;
    const auto deadline = clock::now() + std::chrono::duration<double>(timeout_seconds);
#ifdef SYS_pidfd_open
    int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) {
        for (;;) {
            int ms = -1;
            if (bounded) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
                if (left < 0) left = 0;
                ms = static_cast<int>(std::min<long long>(left + 1, 1 << 30));
            }
            struct pollfd p = {fd, POLLIN, 0};
            int n = poll(&p, 1, ms);
            if (n > 0) {
                close(fd);
                return true;
            }
            if (n == 0 && clock::now() >= deadline) {
                close(fd);
                return false;
            }
        }
    }
#endif
    // No pidfd: poll, at first often (most runs are short), then every 5 ms.
    auto pause = std::chrono::microseconds(100);
    for (;;) {
        siginfo_t info;
        info.si_pid = 0;
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid)
            return true;
        if (bounded && clock::now() >= deadline) return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(5000));
    }
}

}  // namespace

ProcessResult run_process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                          const std::string& dir, const std::string& stdout_path,
                          const std::string& stderr_path, const Limits& limits) {
    ProcessResult r;
    if (argv.empty()) {
        r.error = "no program";
        return r;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> env_strings;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "PLOTX_", 6) != 0) env_strings.push_back(*e);
    for (const std::string& e : env) env_strings.push_back(e);
    std::vector<char*> envp;
    for (const std::string& e : env_strings) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const Unprivileged user = unprivileged_user(limits);

    // The child reports a failed exec through this pipe, closed on a successful one.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        r.error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return r;
    }
    install_stop_handlers();
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0) {
        r.error = std::string("cannot fork: ") + std::strerror(errno);
        close(report[0]);
        close(report[1]);
        return r;
    }
    if (pid == 0)
        child(args.data(), envp.data(), dir.c_str(), stdout_path.c_str(), stderr_path.c_str(), limits, user, report[1]);
    setpgid(pid, pid);  // also here, so the group exists before any kill below
    remember(pid);
    close(report[1]);
    int code = 0;
    const bool failed = read(report[0], &code, sizeof code) == static_cast<ssize_t>(sizeof code);
    close(report[0]);

    r.timed_out = !wait_for_end(pid, limits.timeout_seconds);
    // The program's group goes, with whatever it left running, while its own pid is still
    // held (not yet reaped), so the group id cannot have been reused.
    killpg(pid, SIGKILL);
    forget(pid);
    int status = 0;
    struct rusage usage;
    std::memset(&usage, 0, sizeof usage);
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.cpu_seconds = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
    if (failed) {
        r.error = std::strerror(code);
        return r;
    }
    r.started = true;
    if (r.timed_out) return r;
    if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    return r;
}

void give_directory_to_program(const std::string& dir, const Limits& limits) {
    const Unprivileged user = unprivileged_user(limits);
    if (user.use) (void)!chown(dir.c_str(), user.uid, user.gid);
}

std::string describe(const ProcessResult& r, const Limits& limits) {
    if (!r.started) return "could not be started: " + r.error;
    if (r.timed_out) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "stopped at the timeout (%g s)", limits.timeout_seconds);
        return buffer;
    }
    if (r.signal == 0) return "exited with status " + std::to_string(r.exit_code);
    const char* name = sigabbrev_np(r.signal);
    std::string text = "killed by signal " + std::to_string(r.signal);
    if (name) text += std::string(" (SIG") + name;
    switch (r.signal) {
        case SIGSEGV: text += ", a bad memory access"; break;
        case SIGXCPU: text += ", the processor-time limit"; break;
        case SIGXFSZ: text += ", the file-size limit"; break;
        case SIGKILL:
            if (limits.cpu_seconds > 0 && r.cpu_seconds >= limits.cpu_seconds) text += ", the processor-time limit";
            break;
        default: break;
    }
    if (name) text += ")";
    return text;
}

int shell_status(const ProcessResult& r) {
    if (!r.started) return 127;
    if (r.timed_out) return 124;
    if (r.signal) return 128 + r.signal;
    return r.exit_code;
}

double own_cpu_seconds() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
}

}  // namespace check
