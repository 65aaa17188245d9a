// child_process.h - runs part of a test in a forked child: to survive what would end the
// test program, or as a user that file permissions apply to (as root, as CI runs, the child
// becomes nobody). POSIX; Node runs no child processes, so there is no such user there.
#pragma once
#include <grp.h>
#include <pwd.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <functional>

namespace plotx_test {

// Runs body in a child process; its exit status, or 128 + the signal that ended it, or -1
// when there was no child.
inline int in_child(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int result = body();
        std::fflush(nullptr);
        _exit(result);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The user permission checks apply to: this process's own unless it is root, then nobody;
// null when there is none.
inline const passwd* unprivileged_user() {
#ifdef __EMSCRIPTEN__
    return nullptr;
#else
    static const passwd* nobody = getpwnam("nobody");
    return geteuid() == 0 ? nobody : getpwuid(geteuid());
#endif
}

// in_child() as unprivileged_user(); 255 when the child could not become that user.
inline int run_unprivileged(const std::function<int()>& body) {
#ifdef __EMSCRIPTEN__
    (void)body;
    return -1;
#else
    const passwd* user = unprivileged_user();
    if (!user) return -1;
    const uid_t uid = user->pw_uid;
    const gid_t gid = user->pw_gid;
    return in_child([&] {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)) return 255;
        return body();
    });
#endif
}

}  // namespace plotx_test
