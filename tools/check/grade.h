// grade.h - grading a class: the reference and every submission (a folder of C or C++
// sources, built here, or a built program) run every script; their last canvases and logs
// are compared with the reference's; the results go into a report (report.h).
#pragma once
#include <string>
#include <vector>

#include "process.h"

namespace check {

struct GradeOptions {
    std::string reference, submissions, scripts, report;
    int jobs = 0;                   // 0: the number of cores
    int shard = 1, shards = 1;      // this machine takes submissions shard-1, shard-1+shards, ...
    std::string seed = "1";
    long long max_pixels = 0;
    bool frames = false;            // also compare every frame of the runs' GIF captures
    std::string build_flags;        // replaces the flags found for building against the library
    Limits limits;
};

// Returns the tool's exit status: 0 every submission passed every script, 1 some did not,
// 2 the grading could not be done (said on standard error).
int grade(const GradeOptions& options);

// Joins shards' report folders into one report: 0, 1 or 2 as grade.
int merge(const std::string& report, const std::vector<std::string>& shards);

}  // namespace check
