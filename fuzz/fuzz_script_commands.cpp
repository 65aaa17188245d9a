// fuzz_script_commands.cpp - sequences of script commands and events: each input byte is
// one operation of a user working Record, Playback, Play One, PLOTX_end, ticks and a full
// disk, run on the headless backend in a private directory. Any crash, or a recording
// that does not hold what was delivered while it was on, aborts with the sequence.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/scratch_dir.h"
#include "support/script_session.h"

namespace {

constexpr size_t MAX_OPS = 48;  // longer inputs add little and cost waits

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!plotx_test::enter_process_scratch_directory("plotx-fuzz")) std::abort();
    plotx_test::ScriptSession session;
    session.open();
    std::string done, error;
    for (size_t i = 0; i < size && i < MAX_OPS && error.empty(); ++i) {
        int op = data[i] % plotx_test::SCRIPT_OP_COUNT;
        done += std::string(done.empty() ? "" : ", ") + plotx_test::script_op_name(op);
        error = session.run(op);
    }
    if (error.empty()) error = session.finish();
    if (!error.empty()) {
        std::fprintf(stderr, "after %s: %s\n", done.c_str(), error.c_str());
        std::abort();
    }
    return 0;
}
