// Shared between the developer server's files (not for other subsystems).
#pragma once

// The server's original command table (dev_commands.cpp).
void register_design_dev_commands();
// The tools' table: input, screenshots, state, object counts, speed
// (dev_tool_commands.cpp).
void register_tool_dev_commands();
// "gridCheck": non-finite values in the world grids, water and lava cells (dev_grid_check.cpp).
void register_grid_check_command();

// Releases the keys and buttons pressed for one step only; at the start of
// every update step, before the messages are read.
void dev_input_begin_step();
// Releases everything the server holds down (the client went away).
void dev_input_release_all();
