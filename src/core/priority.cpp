// Process priority over setpriority(). The stored value lives in the global
// `process_priority` (a setting); the nice values mirror the three Windows
// priority classes the setting was designed for.
#include "core/priority.h"

#include "core/app_globals.h"
#include "core/log.h"

#include <cerrno>
#include <cstring>
#include <sys/resource.h>

int process_priority_nice(int value)
{
    if (value == 1)
        return -5;
    if (value >= 2)
        return -10;
    return 0;
}

void apply_process_priority()
{
    static bool reported = false;
    int nice_value = process_priority_nice(process_priority);
    // Only ever lower the nice value, or restore 0: an unprivileged process
    // could never come back from a raised one.
    if (setpriority(PRIO_PROCESS, 0, nice_value) != 0 && !reported) {
        reported = true;
        debug("APP: process priority %d not applied (%s)", process_priority, strerror(errno));
    }
}

void set_process_priority(int value)
{
    process_priority = value;
    apply_process_priority();
}

int get_process_priority()
{
    return process_priority;
}
