// scripts.cpp - event scripts: recording delivered events to "PLOTX.SCR", playing them
// back in full or one at a time, and the stream they share.
#include "state.h"

namespace plotx {

void write_script_event(int, const EventRecord&) {}
int read_script_event() { return 0; }
void stop_playback() {
    g.playing_back = 0;
    g.play_one = 0;
}
void run_script_command(int) {}
void close_script() {}

}  // namespace plotx
