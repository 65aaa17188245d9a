// session.cpp - run_session: the folder, the script as PLOTX.SCR, and the PLOTX_ variables
// that make the run headless, replayed and recorded.
#include "session.h"

#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace check {

ProcessResult run_session(const Session& session, const std::string& dir) {
    ProcessResult failed;
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
    if (ec) {
        failed.error = "cannot make the folder " + dir + ": " + ec.message();
        return failed;
    }
    const fs::path folder = fs::absolute(dir);
    std::vector<std::string> env = {"PLOTX_BACKEND=headless", "PLOTX_SEED=" + session.seed,
                                    "PLOTX_SNAPSHOT=" + (folder / CANVAS_FILE).string(),
                                    "PLOTX_LOG_JSON=" + (folder / LOG_FILE).string()};
    if (session.gif) env.push_back("PLOTX_GIF=" + (folder / GIF_FILE).string());
    if (!session.script.empty()) {
        fs::copy_file(session.script, folder / "PLOTX.SCR", fs::copy_options::overwrite_existing, ec);
        if (ec) {
            failed.error = "cannot copy the script " + session.script + ": " + ec.message();
            return failed;
        }
        env.push_back("PLOTX_PLAYBACK=1");
    }
    give_directory_to_program(folder.string(), session.limits);
    std::vector<std::string> argv = {fs::absolute(session.program).string()};
    argv.insert(argv.end(), session.args.begin(), session.args.end());
    return run_process(argv, env, folder.string(), (folder / STDOUT_FILE).string(),
                       (folder / STDERR_FILE).string(), session.limits);
}

std::string make_scratch_directory() {
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec) return "";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = base / ("plotx-check-" + std::to_string(random()));
        if (fs::create_directory(candidate, ec)) return candidate.string();
    }
    return "";
}

}  // namespace check
