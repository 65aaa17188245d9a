// report.h - a grading's results and the files a teacher and a CI system read: OUT/index.html
// (one row per submission, one column per script, thumbnails inline, sortable, no network),
// OUT/results.csv and OUT/junit.xml; and reading results.csv back to merge shards.
#pragma once
#include <string>
#include <vector>

namespace check {

// One submission's run of one script, as compared with the reference's.
struct Result {
    std::string submission, script;
    std::string outcome;      // pass, differ, no-canvas, exit, crash, timeout, build-error, error
    std::string status;       // the program's status as a shell reports it ("" when it did not run)
    double seconds = 0;
    long long pixels = -1;    // differing pixels (-1: not compared)
    std::string box;          // their bounding box, "left,top-right,bottom"
    std::string frame;        // the first differing frame ("final": the last canvas)
    std::string log;          // the log's first differing line
    std::string detail;       // what happened, in words (a build error's first lines)
    // Thumbnails, as files under OUT/thumbs/ ("" when there is none).
    std::string expected_thumb, actual_thumb, diff_thumb;
    bool passed() const { return outcome == "pass"; }
};

// Writes index.html, results.csv and junit.xml into dir (thumbnails must be in dir/thumbs/).
// Returns "" or what could not be written.
std::string write_report(const std::string& dir, const std::vector<Result>& results);

// Reads a results.csv this tool wrote; "" or why it cannot.
std::string read_results(const std::string& csv_path, std::vector<Result>* out);

}  // namespace check
