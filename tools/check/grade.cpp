// grade.cpp - grade and merge: finding the programs and scripts, building sources against the
// library, running everything on a pool of threads, comparing, writing thumbnails.
#include "grade.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <thread>
#include <tuple>

#include "compare.h"
#include "gif_reader.h"
#include "report.h"
#include "host/png/png_writer.h"
#include "session.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace check {
namespace {

constexpr unsigned THUMB_WIDTH = 160;
constexpr int BUILD_ERROR_LINES = 8;

struct Program {
    std::string name;     // the submission's name: its folder's or file's
    std::string key;      // the name as its files under the report folder are named
    fs::path source;      // the folder or file it came from
    std::string path;     // the program to run ("" when it did not build)
    std::string build_error;
};

bool is_source(const fs::path& p) {
    const std::string e = p.extension().string();
    return e == ".c" || e == ".cpp" || e == ".cc" || e == ".cxx";
}

bool is_program(const fs::path& p) {
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) return false;
#ifdef _WIN32
    return p.extension() == ".exe";
#else
    return access(p.c_str(), X_OK) == 0;
#endif
}

std::string file_text(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::vector<std::string> split_words(const std::string& s) {
    std::istringstream in(s);
    return {std::istream_iterator<std::string>(in), {}};
}

std::string first_lines(const std::string& text, int n) {
    std::string out;
    std::istringstream in(text);
    std::string line;
    for (int i = 0; i < n && std::getline(in, line); ++i) out += (i ? "\n" : "") + line;
    return out;
}

void parallel(size_t count, int jobs, const std::function<void(size_t)>& work) {
    std::atomic<size_t> next{0};
    std::vector<std::thread> threads;
    const int n = std::max(1, std::min<int>(jobs, static_cast<int>(count)));
    for (int t = 0; t < n; ++t)
        threads.emplace_back([&] {
            for (size_t i; (i = next++) < count;) work(i);
        });
    for (std::thread& t : threads) t.join();
}

fs::path executable_dir() {
#ifdef _WIN32
    char buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    return fs::path(std::string(buffer, n)).parent_path();
#else
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).parent_path();
#endif
}

// The compiler flags that build and link a program against the library: beside this tool
// when it is installed, the build tree it was built in, or pkg-config's. Windows links the
// static library, so the programs need no DLL beside them.
std::vector<std::string> library_flags(const std::string& given) {
    if (!given.empty()) return split_words(given);
    std::error_code ec;
    const fs::path prefix = executable_dir().parent_path();
    const fs::path libdir = prefix / PLOTX_CHECK_INSTALL_LIBDIR;
#ifdef _WIN32
    if (fs::exists(prefix / "include" / "plotx.h", ec) && fs::exists(libdir / "libplotx.a", ec))
        return {"-I" + (prefix / "include").string(), (libdir / "libplotx.a").string(), "-lstdc++", "-lgdi32",
                "-luser32", "-static"};
    return {};
#else
    if (fs::exists(prefix / "include" / "plotx.h", ec) && fs::exists(libdir / "libplotx.so", ec))
        return {"-I" + (prefix / "include").string(), "-L" + libdir.string(), "-Wl,-rpath," + libdir.string(), "-lplotx"};
    const fs::path build_lib = PLOTX_CHECK_BUILD_LIBDIR;
    if (fs::exists(build_lib / "libplotx.so", ec))
        return {"-I" PLOTX_CHECK_BUILD_INCLUDE, "-L" + build_lib.string(), "-Wl,-rpath," + build_lib.string(), "-lplotx"};
    std::vector<std::string> flags;
    if (FILE* p = popen("pkg-config --cflags --libs plotx 2>/dev/null", "r")) {
        std::string out;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
        if (pclose(p) == 0) flags = split_words(out);
    }
    return flags;
#endif
}

// Builds a folder of sources into dir/program; a folder with no sources but one program
// in it, or a program itself, is taken as it is.
void build(Program& program, const std::vector<std::string>& flags, const fs::path& dir) {
    std::error_code ec;
    if (!fs::is_directory(program.source, ec)) {
        if (is_program(program.source)) program.path = fs::absolute(program.source).string();
        else program.build_error = program.source.string() + " is neither a folder of sources nor a program";
        return;
    }
    std::vector<fs::path> sources, programs;
    for (const fs::directory_entry& e : fs::directory_iterator(program.source, ec)) {
        if (is_source(e.path())) sources.push_back(e.path());
        else if (is_program(e.path())) programs.push_back(e.path());
    }
    std::sort(sources.begin(), sources.end());
    if (sources.empty()) {
        if (programs.size() == 1) program.path = fs::absolute(programs[0]).string();
        else program.build_error = "no C or C++ sources, and not exactly one program, in " + program.source.string();
        return;
    }
    fs::create_directories(dir, ec);
    const bool cxx = std::any_of(sources.begin(), sources.end(), [](const fs::path& p) { return p.extension() != ".c"; });
    const char* env_compiler = std::getenv(cxx ? "CXX" : "CC");
#ifdef _WIN32
    const char* default_compiler = cxx ? "g++" : "gcc";  // MinGW's, found on PATH by CreateProcess
#else
    const char* default_compiler = cxx ? "c++" : "cc";
#endif
    std::vector<std::string> argv = split_words(env_compiler && *env_compiler ? env_compiler : default_compiler);
#ifdef _WIN32
    const fs::path out = fs::absolute(dir / "program.exe");
#else
    const fs::path out = fs::absolute(dir / "program");
#endif
    argv.insert(argv.end(), {"-O1", "-o", out.string()});
    for (const fs::path& s : sources) argv.push_back(fs::absolute(s).string());
    argv.insert(argv.end(), flags.begin(), flags.end());
    argv.push_back("-lm");
#ifndef _WIN32
    // The compiler is found on PATH, as a shell would.
    if (argv[0].find('/') == std::string::npos) {
        std::string found;
        std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
        for (std::string d; std::getline(path, d, ':');)
            if (is_program(fs::path(d) / argv[0])) {
                found = (fs::path(d) / argv[0]).string();
                break;
            }
        if (found.empty()) {
            program.build_error = "the compiler " + argv[0] + " was not found";
            return;
        }
        argv[0] = found;
    }
#endif
    Limits limits;  // the compiler is the teacher's: generous limits, as the user running this tool
    limits.timeout_seconds = 120;
    limits.cpu_seconds = 120;
    limits.memory_bytes = 0;
    limits.processes = 0;
    limits.unprivileged = false;
    const fs::path log = fs::absolute(dir / "build.log");
    ProcessResult r = run_process(argv, {}, fs::absolute(dir).string(), log.string(), log.string(), limits);
    if (r.started && !r.timed_out && r.signal == 0 && r.exit_code == 0) {
        program.path = out.string();
        return;
    }
    std::string text = first_lines(file_text(log), BUILD_ERROR_LINES);
    program.build_error = "build failed (" + describe(r, limits) + ")" + (text.empty() ? "" : ":\n" + text);
}

std::string safe_name(const std::string& s) {
    std::string out;
    for (char c : s) out += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.') ? c : '_';
    return out;
}

// The first line where two logs differ: "line 3: expected ..., got ..."; "" when the same.
std::string first_log_difference(const fs::path& expected, const fs::path& actual) {
    std::istringstream e(file_text(expected)), a(file_text(actual));
    std::string le, la;
    for (int line = 1;; ++line) {
        const bool he = static_cast<bool>(std::getline(e, le)), ha = static_cast<bool>(std::getline(a, la));
        if (!he && !ha) return "";
        if (he && ha && le == la) continue;
        auto cut = [](const std::string& s) { return s.size() > 160 ? s.substr(0, 160) + "..." : s; };
        return "line " + std::to_string(line) + ": expected " + (he ? cut(le) : "the end of the log") + ", got " +
               (ha ? cut(la) : "the end of the log");
    }
}

// Whether a PNG file's header gives the picture's size (the rest unread).
bool same_size(const std::string& png, const px::Png& picture) {
    if (png.size() < 24 || png.compare(12, 4, "IHDR") != 0) return false;
    auto be32 = [&](size_t at) {
        return (uint32_t{static_cast<unsigned char>(png[at])} << 24) | (uint32_t{static_cast<unsigned char>(png[at + 1])} << 16) |
               (uint32_t{static_cast<unsigned char>(png[at + 2])} << 8) | static_cast<unsigned char>(png[at + 3]);
    };
    return be32(16) == picture.width && be32(20) == picture.height;
}

struct Run {
    size_t program, script;
    ProcessResult process;
};

}  // namespace

int grade(const GradeOptions& o) {
    const auto start = std::chrono::steady_clock::now();
    std::error_code ec;
    const int jobs = o.jobs > 0 ? o.jobs : std::max(1u, std::thread::hardware_concurrency());
    std::vector<fs::path> scripts;
    for (const fs::directory_entry& e : fs::directory_iterator(o.scripts, ec))
        if (e.is_regular_file() && e.path().filename().string()[0] != '.') scripts.push_back(e.path());
    if (ec || scripts.empty()) {
        std::cerr << "plotx-check: no scripts in " << o.scripts << (ec ? ": " + ec.message() : "") << "\n";
        return 2;
    }
    std::sort(scripts.begin(), scripts.end());
    std::vector<fs::path> entries;
    // Hidden entries (.git, an editor's files) are not submissions.
    for (const fs::directory_entry& e : fs::directory_iterator(o.submissions, ec))
        if (e.path().filename().string()[0] != '.') entries.push_back(e.path());
    if (ec) {
        std::cerr << "plotx-check: cannot read the submissions folder " << o.submissions << ": " << ec.message() << "\n";
        return 2;
    }
    std::sort(entries.begin(), entries.end());
    // programs[0] is the reference; then this shard's submissions.
    std::vector<Program> programs(1);
    programs[0].name = "reference";
    programs[0].source = o.reference;
    programs[0].key = "_reference";
    for (size_t i = 0; i < entries.size(); ++i)
        if (static_cast<int>(i % o.shards) == o.shard - 1) {
            Program p;
            p.name = entries[i].filename().string();
            p.source = entries[i];
            // A name changed to be a safe file name gets its place in the class, so that two
            // names made alike stay apart.
            p.key = safe_name(p.name);
            if (p.key != p.name || p.key[0] == '_') p.key += "-" + std::to_string(i + 1);
            programs.push_back(p);
        }

    const fs::path out = o.report;
    fs::create_directories(out / "thumbs", ec);
    if (ec) {
        std::cerr << "plotx-check: cannot make the report folder " << o.report << ": " << ec.message() << "\n";
        return 2;
    }
    const std::vector<std::string> flags = library_flags(o.build_flags);
    parallel(programs.size(), jobs, [&](size_t i) {
        build(programs[i], flags, out / "build" / programs[i].key);
    });
    if (programs[0].path.empty()) {
        std::cerr << "plotx-check: the reference cannot be used: " << programs[0].build_error << "\n";
        return 2;
    }

    std::vector<Run> runs;
    for (size_t p = 0; p < programs.size(); ++p)
        if (!programs[p].path.empty())
            for (size_t s = 0; s < scripts.size(); ++s) runs.push_back({p, s, {}});
    auto run_dir = [&](size_t p, size_t s) {
        return out / "runs" / programs[p].key / safe_name(scripts[s].stem().string());
    };
    parallel(runs.size(), jobs, [&](size_t i) {
        Session session;
        session.program = programs[runs[i].program].path;
        session.script = scripts[runs[i].script].string();
        session.seed = o.seed;
        session.limits = o.limits;
        session.gif = o.frames;
        runs[i].process = run_session(session, run_dir(runs[i].program, runs[i].script).string());
    });

    // The reference's pictures and their thumbnails, one per script.
    std::vector<px::Png> expected(scripts.size());
    std::vector<std::string> expected_bytes(scripts.size());
    std::vector<std::string> expected_thumb(scripts.size());
    for (const Run& r : runs) {
        if (r.program != 0) continue;
        const std::string name = scripts[r.script].stem().string();
        expected[r.script] = px::read_png((run_dir(0, r.script) / CANVAS_FILE).string());
        expected_bytes[r.script] = file_text(run_dir(0, r.script) / CANVAS_FILE);
        if (!expected[r.script].ok) {
            std::cerr << "plotx-check: the reference left no picture for " << name << " ("
                      << describe(r.process, o.limits) << "); see " << run_dir(0, r.script).string() << "\n";
            return 2;
        }
        const px::Png& e = expected[r.script];
        expected_thumb[r.script] = "expected." + safe_name(name) + ".png";
        write_file((out / "thumbs" / expected_thumb[r.script]).string(), thumbnail_png(e.rgb, e.width, e.height, THUMB_WIDTH));
    }
    // With --frames, the reference's captures (a library without capture leaves none: then
    // only the last canvases are compared, and the report says so).
    std::vector<GifFrames> expected_frames(scripts.size());
    if (o.frames)
        for (size_t s = 0; s < scripts.size(); ++s) {
            expected_frames[s] = read_gif((run_dir(0, s) / GIF_FILE).string());
            if (!expected_frames[s].ok)
                std::cerr << "plotx-check: no capture produced for the reference's " << scripts[s].stem().string()
                          << " (" << expected_frames[s].error << "): its frames are not compared\n";
        }
    std::vector<const ProcessResult*> reference_process(scripts.size());
    for (const Run& r : runs)
        if (r.program == 0) reference_process[r.script] = &r.process;

    std::vector<Result> results;
    std::mutex results_lock;
    for (size_t p = 1; p < programs.size(); ++p)
        if (programs[p].path.empty())
            for (size_t s = 0; s < scripts.size(); ++s) {
                Result r;
                r.submission = programs[p].name;
                r.script = scripts[s].stem().string();
                r.outcome = "build-error";
                r.detail = programs[p].build_error;
                r.expected_thumb = expected_thumb[s];
                results.push_back(r);
            }
    parallel(runs.size(), jobs, [&](size_t i) {
        const Run& run = runs[i];
        if (run.program == 0) return;
        Result r;
        const Program& program = programs[run.program];
        const fs::path dir = run_dir(run.program, run.script);
        const std::string stem = program.key + "." + safe_name(scripts[run.script].stem().string());
        r.submission = program.name;
        r.script = scripts[run.script].stem().string();
        r.expected_thumb = expected_thumb[run.script];
        r.seconds = run.process.seconds;
        r.detail = describe(run.process, o.limits);
        if (run.process.started) r.status = std::to_string(shell_status(run.process));
        r.log = first_log_difference(run_dir(0, run.script) / LOG_FILE, dir / LOG_FILE);
        const ProcessResult& ref = *reference_process[run.script];
        // The library writes the same canvas as the same bytes: a file equal to the
        // reference's is the same picture, with no decoding (most of a class, most runs).
        const std::string canvas = file_text(dir / CANVAS_FILE);
        const bool same_file = !canvas.empty() && canvas == expected_bytes[run.script];
        px::Png actual;
        if (same_file) {
            r.actual_thumb = expected_thumb[run.script];
        } else if (!canvas.empty() && !same_size(canvas, expected[run.script])) {
            // Not decoded: a picture of another size cannot agree, and a program may have
            // left any file there, however large it would unpack.
            r.detail = "the canvas is not " + std::to_string(expected[run.script].width) + "x" +
                       std::to_string(expected[run.script].height);
        } else if (!canvas.empty()) {
            actual = px::read_png((dir / CANVAS_FILE).string());
            if (!actual.ok) r.detail = "the canvas cannot be read: " + actual.error;
            if (actual.ok) {
                r.actual_thumb = "actual." + stem + ".png";
                write_file((out / "thumbs" / r.actual_thumb).string(), thumbnail_png(actual.rgb, actual.width, actual.height, THUMB_WIDTH));
            }
        }
        if (!run.process.started) r.outcome = "error";
        else if (run.process.timed_out) r.outcome = "timeout";
        else if (run.process.signal) r.outcome = "crash";
        else if (!same_file && !actual.ok) r.outcome = canvas.empty() ? "no-canvas" : "differ";
        else if (same_file) {
            r.pixels = 0;
            r.outcome = run.process.exit_code == ref.exit_code ? "pass" : "exit";
            if (r.outcome == "exit") r.detail += "; the reference's status is " + std::to_string(ref.exit_code);
        } else {
            Comparison c = compare_pictures(expected[run.script], actual, o.max_pixels);
            r.frame = c.status == 0 ? "" : "final";
            if (c.status == 2) {
                r.outcome = "differ";
                r.detail = c.error;
            } else {
                r.pixels = c.differing;
                if (c.differing > 0) {
                    r.box = std::to_string(c.left) + "," + std::to_string(c.top) + "-" + std::to_string(c.right) + "," +
                            std::to_string(c.bottom);
                    r.diff_thumb = "diff." + stem + ".png";
                    write_file((out / "thumbs" / r.diff_thumb).string(),
                               thumbnail_png(c.diff, actual.width, actual.height, THUMB_WIDTH, true));
                    write_file((dir / "diff.png").string(), [&] {
                        std::vector<unsigned char> png;
                        px::encode_png(c.diff.data(), static_cast<int>(actual.width), static_cast<int>(actual.height), &png);
                        return png;
                    }());
                }
                if (c.status == 1) r.outcome = "differ";
                else if (run.process.exit_code != ref.exit_code) {
                    r.outcome = "exit";
                    r.detail += "; the reference's status is " + std::to_string(ref.exit_code);
                } else r.outcome = "pass";
            }
        }
        if (o.frames && expected_frames[run.script].ok && (r.outcome == "pass" || r.outcome == "differ")) {
            const GifFrames frames = read_gif((dir / GIF_FILE).string());
            if (!frames.ok) {
                r.outcome = "differ";
                r.detail = "no capture produced (" + frames.error + ")";
            } else if (const size_t first = first_differing_frame(expected_frames[run.script], frames)) {
                r.outcome = "differ";
                r.frame = std::to_string(first);
                if (first > frames.frames.size() || first > expected_frames[run.script].frames.size())
                    r.detail = std::to_string(frames.frames.size()) + " frames, the reference's " +
                               std::to_string(expected_frames[run.script].frames.size());
            }
        }
        std::lock_guard<std::mutex> hold(results_lock);
        results.push_back(r);
    });
    std::sort(results.begin(), results.end(), [](const Result& a, const Result& b) {
        return std::tie(a.submission, a.script) < std::tie(b.submission, b.script);
    });
    const std::string error = write_report(o.report, results);
    if (!error.empty()) {
        std::cerr << "plotx-check: " << error << "\n";
        return 2;
    }
    size_t failed = 0;
    for (const Result& r : results) failed += !r.passed();
    std::cout << programs.size() - 1 << " submissions x " << scripts.size() << " scripts: " << results.size() - failed
              << " passed, " << failed << " failed; report in " << (out / "index.html").string() << "\n";
    // Where the time went: the programs' runs (not the compilers') against plotx-check's own work.
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double own = own_cpu_seconds();
    double in_runs = 0, children = 0;
    for (const Run& r : runs) {
        in_runs += r.process.seconds;
        children += r.process.cpu_seconds;
    }
    char line[300];
    std::snprintf(line, sizeof line,
                  "%zu runs in %.2f s (%.1f a second); the programs ran %.1f %% of %d jobs' time; processor time: "
                  "programs %.2f s, plotx-check %.2f s (%.1f %%)\n",
                  runs.size(), wall, runs.size() / wall, 100 * in_runs / (jobs * wall), jobs, children, own,
                  100 * own / std::max(1e-9, own + children));
    std::cout << line;
    return failed ? 1 : 0;
}

int merge(const std::string& report, const std::vector<std::string>& shards) {
    std::vector<Result> results;
    std::error_code ec;
    fs::create_directories(fs::path(report) / "thumbs", ec);
    if (ec) {
        std::cerr << "plotx-check: cannot make the report folder " << report << ": " << ec.message() << "\n";
        return 2;
    }
    for (const std::string& shard : shards) {
        const std::string error = read_results((fs::path(shard) / "results.csv").string(), &results);
        if (!error.empty()) {
            std::cerr << "plotx-check: " << error << "\n";
            return 2;
        }
        if (fs::equivalent(fs::path(shard), fs::path(report), ec)) continue;
        for (const fs::directory_entry& e : fs::directory_iterator(fs::path(shard) / "thumbs", ec))
            fs::copy_file(e.path(), fs::path(report) / "thumbs" / e.path().filename(),
                          fs::copy_options::overwrite_existing, ec);
    }
    std::sort(results.begin(), results.end(), [](const Result& a, const Result& b) {
        return std::tie(a.submission, a.script) < std::tie(b.submission, b.script);
    });
    const std::string error = write_report(report, results);
    if (!error.empty()) {
        std::cerr << "plotx-check: " << error << "\n";
        return 2;
    }
    size_t failed = 0;
    for (const Result& r : results) failed += !r.passed();
    std::cout << results.size() << " results from " << shards.size() << " shards: " << results.size() - failed
              << " passed, " << failed << " failed; report in " << (fs::path(report) / "index.html").string() << "\n";
    return failed ? 1 : 0;
}

}  // namespace check
