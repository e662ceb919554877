// Start-up settings: settings.cfg keys and the command line, applied to the
// globals of app_globals.h.
#pragma once

// Sets the defaults, reads the settings keys (a missing key keeps the default),
// applies the process priority, then walks the command-line arguments after
// the program name: each known argument overrides, later ones win, unknown
// ones are ignored.
void read_app_settings(int argc, char** argv);

// Applies one command-line argument; false when it is not one of ours.
bool apply_app_argument(const char* arg);
