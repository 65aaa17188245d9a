// main.cpp - plotx-check's command line: run, compare, grade and merge, their options, the
// help text and the exit statuses (also in the README's "Checking a class's programs").
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "compare.h"
#include "grade.h"
#include "host/png/png_writer.h"
#include "session.h"

namespace fs = std::filesystem;
using namespace check;

namespace {

const char* const HELP = R"(plotx-check - runs PLOTX programs headless and checks their pictures against a reference

  plotx-check run PROGRAM [ARGS...] [--script FILE] [--seed N] [--timeout SECONDS]
                  [--png OUT] [--gif OUT] [--log OUT] [--stdout OUT] [--stderr OUT] [LIMITS]
      Runs PROGRAM headless in a scratch folder, FILE played from the start (PLOTX_PLAYBACK),
      and keeps its last canvas (--png), its GIF capture (--gif), its log as JSON Lines, one
      record per line with the event number and tick it came at (--log), its standard
      output and error. Prints how it ended and its time on standard error.
      Exit status: the program's own; 124 stopped at the timeout; 128+N killed by signal N
      (a limit, or a crash); 125 plotx-check itself failed; 127 PROGRAM could not be started.

  plotx-check compare EXPECTED.png ACTUAL.png [--diff OUT.png] [--max-pixels N]
      Exit status: 0 they agree (up to N differing pixels, default 0); 1 they differ (prints
      the count and the bounding box; OUT.png marks the differing pixels over a faded copy of
      EXPECTED); 2 a file cannot be read or the sizes differ (says which).

  plotx-check grade --reference REF --submissions DIR --scripts DIR --report OUT
                    [--jobs N] [--shard K/N] [--seed N] [--max-pixels N] [--frames]
                    [--build-flags "FLAGS"] [LIMITS]
      REF and each entry of DIR: a folder of C or C++ sources (built with cc or c++, or $CC
      and $CXX, against the installed library; a build error is a result) or a program.
      Every one runs every script in the scripts folder; its last canvas is compared with
      the reference's; with --frames every frame of their GIF captures (PLOTX_GIF) too.
      --shard K/N takes every N-th submission from the K-th (1..N).
      Writes OUT/index.html, OUT/results.csv, OUT/junit.xml; each run's files stay in
      OUT/runs/NAME/SCRIPT/. Exit status: 0 all passed; 1 some did not; 2 it could not grade.

  plotx-check merge --report OUT SHARD_REPORT...
      Joins the reports of grade's shards into OUT. Exit status as grade.

  LIMITS (every run of a student's program): --timeout SECONDS (wall clock, default 10),
      --cpu SECONDS (processor time, default 10), --memory MB (address space, default 2048),
      --file-size MB (default 64), --processes N (default 64). Run as root, programs run as
      the user nobody, since the process limit does not bind root. Grade untrusted programs
      inside a container or a virtual machine as well.

  plotx-check --help    this text
)";

[[noreturn]] void usage_error(const std::string& message, int status) {
    std::cerr << "plotx-check: " << message << "\n(plotx-check --help tells the commands and their options)\n";
    std::exit(status);
}

// The option parser the commands share: --name VALUE pairs and positional words.
struct Arguments {
    std::vector<std::string> words;
    int status_on_error;
    size_t i = 0;
    bool more() const { return i < words.size(); }
    const std::string& next() { return words[i++]; }
    std::string value(const std::string& option) {
        if (!more()) usage_error(option + " needs a value", status_on_error);
        return next();
    }
    double number(const std::string& option, double low) {
        std::string v = value(option);
        char* end = nullptr;
        double d = std::strtod(v.c_str(), &end);
        if (v.empty() || *end || !(d >= low)) usage_error(option + " takes a number of at least " + std::to_string(low) + ", not " + v, status_on_error);
        return d;
    }
};

bool limit_option(Arguments& a, const std::string& option, Limits* limits) {
    if (option == "--timeout") limits->timeout_seconds = a.number(option, 0.001);
    else if (option == "--cpu") limits->cpu_seconds = a.number(option, 1);
    else if (option == "--memory") limits->memory_bytes = static_cast<uint64_t>(a.number(option, 16) * 1048576);
    else if (option == "--file-size") limits->file_bytes = static_cast<uint64_t>(a.number(option, 1) * 1048576);
    else if (option == "--processes") limits->processes = static_cast<int>(a.number(option, 1));
    else return false;
    return true;
}

bool copy_out(const fs::path& from, const std::string& to, const char* what) {
    if (to.empty()) return true;
    std::error_code ec;
    if (!fs::exists(from, ec)) {
        std::cerr << "plotx-check: no " << what << " produced (nothing for " << to << ")\n";
        return true;
    }
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) std::cerr << "plotx-check: cannot write " << to << ": " << ec.message() << "\n";
    return !ec;
}

// The program's output, passed on when it was not asked for in a file.
void relay(const fs::path& file, std::ostream& to) {
    std::ifstream in(file, std::ios::binary);
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) to.write(buffer, in.gcount());
    to.flush();
}

int command_run(Arguments a) {
    Session session;
    std::string png, gif, log, out, err;
    while (a.more()) {
        const std::string w = a.next();
        if (!session.program.empty() && (w.rfind("--", 0) != 0 || w == "--")) {
            // After the program, words that are not this tool's options are its arguments.
            if (w == "--") {
                while (a.more()) session.args.push_back(a.next());
                break;
            }
            session.args.push_back(w);
        } else if (w == "--script") session.script = a.value(w);
        else if (w == "--seed") session.seed = a.value(w);
        else if (w == "--png") png = a.value(w);
        else if (w == "--gif") gif = a.value(w);
        else if (w == "--log") log = a.value(w);
        else if (w == "--stdout") out = a.value(w);
        else if (w == "--stderr") err = a.value(w);
        else if (limit_option(a, w, &session.limits)) {
        } else if (w.rfind("--", 0) == 0) usage_error("run: unknown option " + w, 125);
        else session.program = w;
    }
    if (session.program.empty()) usage_error("run: which program?", 125);
    std::error_code ec;
    if (!session.script.empty() && !fs::is_regular_file(session.script, ec))
        usage_error("run: the script " + session.script + " is not a file", 125);
    session.gif = !gif.empty();
    const std::string scratch = make_scratch_directory();
    if (scratch.empty()) usage_error("run: cannot make a scratch folder", 125);
    const ProcessResult r = run_session(session, scratch);
    bool kept = copy_out(fs::path(scratch) / CANVAS_FILE, png, "canvas (the program did not reach PLOTX_end)") &&
                copy_out(fs::path(scratch) / GIF_FILE, gif, "capture") &&
                copy_out(fs::path(scratch) / LOG_FILE, log, "log") &&
                copy_out(fs::path(scratch) / STDOUT_FILE, out, "standard output") &&
                copy_out(fs::path(scratch) / STDERR_FILE, err, "standard error");
    if (out.empty()) relay(fs::path(scratch) / STDOUT_FILE, std::cout);
    if (err.empty()) relay(fs::path(scratch) / STDERR_FILE, std::cerr);
    char times[96];
    std::snprintf(times, sizeof times, " after %.3f s (%.3f s of processor time)\n", r.seconds, r.cpu_seconds);
    std::cerr << "plotx-check: " << session.program << " " << describe(r, session.limits) << times;
    fs::remove_all(scratch, ec);
    if (!r.started && r.error.rfind("cannot", 0) == 0) return 125;
    return kept ? shell_status(r) : 125;
}

int command_compare(Arguments a) {
    std::vector<std::string> files;
    std::string diff;
    long long max_pixels = 0;
    while (a.more()) {
        const std::string w = a.next();
        if (w == "--diff") diff = a.value(w);
        else if (w == "--max-pixels") max_pixels = static_cast<long long>(a.number(w, 0));
        else if (w.rfind("--", 0) == 0) usage_error("compare: unknown option " + w, 2);
        else files.push_back(w);
    }
    if (files.size() != 2) usage_error("compare takes two pictures: EXPECTED.png ACTUAL.png", 2);
    const px::Png expected = px::read_png(files[0]);
    if (!expected.ok) {
        std::cerr << "plotx-check: cannot read " << files[0] << ": " << expected.error << "\n";
        return 2;
    }
    const px::Png actual = px::read_png(files[1]);
    if (!actual.ok) {
        std::cerr << "plotx-check: cannot read " << files[1] << ": " << actual.error << "\n";
        return 2;
    }
    const Comparison c = compare_pictures(expected, actual, max_pixels);
    if (c.status == 2) {
        std::cerr << "plotx-check: " << files[0] << " and " << files[1] << ": " << c.error << "\n";
        return 2;
    }
    std::cout << (c.status == 0 ? "agree: " : "differ: ") << summary(c, max_pixels) << "\n";
    if (!diff.empty()) {
        std::vector<unsigned char> png;
        const std::string error = px::encode_png(c.diff.data(), static_cast<int>(expected.width),
                                                 static_cast<int>(expected.height), &png);
        if (!error.empty() || !write_file(diff, png)) {
            std::cerr << "plotx-check: cannot write " << diff << "\n";
            return 2;
        }
    }
    return c.status;
}

int command_grade(Arguments a) {
    GradeOptions o;
    while (a.more()) {
        const std::string w = a.next();
        if (w == "--reference") o.reference = a.value(w);
        else if (w == "--submissions") o.submissions = a.value(w);
        else if (w == "--scripts") o.scripts = a.value(w);
        else if (w == "--report") o.report = a.value(w);
        else if (w == "--jobs") o.jobs = static_cast<int>(a.number(w, 1));
        else if (w == "--seed") o.seed = a.value(w);
        else if (w == "--max-pixels") o.max_pixels = static_cast<long long>(a.number(w, 0));
        else if (w == "--build-flags") o.build_flags = a.value(w);
        else if (w == "--frames") o.frames = true;
        else if (w == "--shard") {
            const std::string v = a.value(w);
            if (std::sscanf(v.c_str(), "%d/%d", &o.shard, &o.shards) != 2 || o.shards < 1 || o.shard < 1 ||
                o.shard > o.shards)
                usage_error("grade: --shard takes K/N with 1 <= K <= N, not " + v, 2);
        } else if (!limit_option(a, w, &o.limits)) usage_error("grade: unknown option " + w, 2);
    }
    if (o.reference.empty() || o.submissions.empty() || o.scripts.empty() || o.report.empty())
        usage_error("grade needs --reference, --submissions, --scripts and --report", 2);
    return grade(o);
}

int command_merge(Arguments a) {
    std::string report;
    std::vector<std::string> shards;
    while (a.more()) {
        const std::string w = a.next();
        if (w == "--report") report = a.value(w);
        else if (w.rfind("--", 0) == 0) usage_error("merge: unknown option " + w, 2);
        else shards.push_back(w);
    }
    if (report.empty() || shards.empty()) usage_error("merge needs --report OUT and the shards' report folders", 2);
    return merge(report, shards);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty() || words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        std::cout << HELP;
        return words.empty() ? 2 : 0;
    }
    const std::string command = words[0];
    words.erase(words.begin());
    if (command == "run") return command_run({words, 125});
    if (command == "compare") return command_compare({words, 2});
    if (command == "grade") return command_grade({words, 2});
    if (command == "merge") return command_merge({words, 2});
    usage_error("unknown command " + command, 2);
}
