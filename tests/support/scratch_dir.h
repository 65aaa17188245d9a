// scratch_dir.h - a fresh temporary folder that a test or a fuzz target works in, so the
// script file each writes in the current directory (PLOTX.SCR) never meets another run's.
#pragma once
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

namespace plotx_test {

// enter() makes a folder named prefix-XXXXXX under the system's temporary folder (TMPDIR
// where set) and makes it current; leave() goes back and removes it with what it holds.
class ScratchDirectory {
public:
    bool enter(const std::string& prefix) {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data())) return false;
        std::error_code ec;
        home_ = std::filesystem::current_path(ec);
        std::filesystem::current_path(pattern, ec);
        if (ec) return false;
        dir_ = pattern;
        return true;
    }
    void leave() {
        if (dir_.empty()) return;
        std::error_code ec;
        std::filesystem::current_path(home_, ec);
        std::filesystem::remove_all(dir_, ec);
        dir_.clear();
    }
    const std::filesystem::path& path() const { return dir_; }

private:
    std::filesystem::path dir_, home_;
};

// Every byte of a file, as stored ("" when it cannot be read).
inline std::string file_bytes(const std::string& path) {
    std::stringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    return ss.str();
}

// For a fuzz target: enters one scratch folder for the whole process, removed at exit.
inline bool enter_process_scratch_directory(const std::string& prefix) {
    static ScratchDirectory scratch;
    static bool entered = false;
    if (!entered && scratch.enter(prefix)) {
        entered = true;
        std::atexit([] { scratch.leave(); });
    }
    return entered;
}

}  // namespace plotx_test
