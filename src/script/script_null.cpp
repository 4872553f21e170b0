// This build carries no script interpreter. The program links this layer in its place: a track
// that ships a script still loads and races (its scripted objects stay where the track's files
// put them), the log says the script was not run, and script messages from demos are dropped.
#include "script/script.h"

#include "data/data_index.h"
#include "demo/demo.h"
#include "race/race.h"
#include "platform/platform.h"
#include "track/track_hooks.h"

namespace {

void script_run(const char *name, int) {
    if (file_index_exists(name))
        platform_log("Track script %s not run: this build has no script host\n", name);
}

void script_tic(int) {}

void script_message(const char *) {}

} // namespace

void script_install(void) {
    track_steps.script_run = script_run;
    race_steps.script_tic = script_tic;
    demo_sink.script = script_message;
}
