// Process priority: the stored value of the process_priority setting and its
// application to the process. Linux applies it with setpriority() as a best
// effort; an unprivileged process may not raise its priority, which is then
// logged once and otherwise ignored.
#pragma once

// Stores `value` (0 normal, 1 above normal, 2 or more high) and applies it.
// Saving it to settings.cfg is the caller's business.
void set_process_priority(int value);
int get_process_priority();
// Applies the stored value again (start-up, window activation).
void apply_process_priority();
// Nice value used for a stored priority value: 0, -5 or -10.
int process_priority_nice(int value);
