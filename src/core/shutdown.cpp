// The ordered shutdown (see shutdown.h). State is a cursor over fixed step
// lists: the current stage and the steps still registered in it.
#include "core/shutdown.h"

#include "core/input.h"
#include "core/log.h"

namespace {

constexpr int STAGE_COUNT = int(ShutdownStage::Count);
constexpr int MAX_STEPS_PER_STAGE = 64;

const char* const stage_log[STAGE_COUNT] = {
    "closed scene", "closed misc stuff", "freed all meshes", "freed all textures", "closed d3d", "closed all systems",
};

struct StepList {
    ShutdownFn steps[MAX_STEPS_PER_STAGE];
    int count;
};

StepList stages[STAGE_COUNT];
bool started = false;
int cur_stage = 0; // next stage to finish; STAGE_COUNT when done

} // namespace

void shutdown_register(ShutdownStage stage, ShutdownFn fn)
{
    int s = int(stage);
    ASSERT(s >= 0 && s < STAGE_COUNT);
    if (!fn)
        return;
    StepList& list = stages[s];
    if (list.count >= MAX_STEPS_PER_STAGE)
        fatal("too many shutdown steps in stage %d (at most %d)", s, MAX_STEPS_PER_STAGE);
    list.steps[list.count++] = fn;
}

void shutdown_systems()
{
    if (!started) {
        started = true;
        debug("closing...");
    }
    // Re-read the cursor after every step: a step may have re-entered and
    // finished the sequence already.
    while (cur_stage < STAGE_COUNT) {
        StepList& list = stages[cur_stage];
        if (list.count > 0) {
            ShutdownFn fn = list.steps[--list.count];
            fn();
            continue;
        }
        int finished = cur_stage++;
        if (finished == int(ShutdownStage::Input))
            discard_input_events();
        debug("%s", stage_log[finished]);
    }
}

bool shutdown_started()
{
    return started;
}

void shutdown_reset_for_tests()
{
    for (StepList& list : stages)
        list.count = 0;
    started = false;
    cur_stage = 0;
}
