// The developer server: external tools and tests drive and inspect the
// running game through a local socket, one binary message per command
// (dev_message.h), one text reply each. Started only with "-devserver" on
// the command line; see docs/devserver.md for the commands.
//
// Commands live in one registry by name: the built-in ones, and those the
// game-object module adds through register_dev_command. The module's
// commands are forgotten whenever the module is unlinked (their code goes
// with it), so the module registers them again each time it is linked.
#pragma once
#include "devtools/dev_message.h"
#include "devtools/local_server.h"

// A command's work: reads its parameters from `msg` (a failed lookup throws
// DevMessageError, answered "eBad message format"), may append data after
// the reply's "k" or make it a failure.
using DevCommandFn = void (*)(const DevMessage& msg, DevReply& reply);
// Adds " key=value" pairs to the reply of "getState".
using DevStateFn = void (*)(DevReply& reply);

class DevServer : public LocalServer {
public:
  void handleMessage(const char* data, int length) override;
  void handleOversizedMessage(int length) override;
  void clientDisconnected() override;
};

// {===== Registry (exported for the game-object module)

// Adds or replaces the command `name`; false for an empty or null name or
// handler. Commands registered by the module are dropped when it is unlinked.
bool register_dev_command(const char* name, DevCommandFn fn);
// Adds a getState contributor (each function once); dropped like the
// module's commands.
void register_dev_state(DevStateFn fn);

// The host's own commands, registered as built in (never dropped).
void register_builtin_dev_command(const char* name, DevCommandFn fn);
// Forgets every command and state function the module registered.
void drop_module_dev_commands();
// Calls every registered state function.
void append_dev_state(DevReply& reply);

// {===== The program's server and its hooks

extern DevServer dev_server;
// The developer mode ("startShowWorldPal" switches to it), handed over by the
// program at start-up; null in tests, where the command leaves the mode alone.
class GameMode;
extern GameMode* dev_server_dev_mode;

// Socket path: $RUNEHOLM_DEV_SOCKET, else "runeholm-dev.sock" in
// $XDG_RUNTIME_DIR, else in the application-data folder.
std::string dev_socket_path();
// True when the command line holds "-devserver".
bool dev_server_wanted(int argc, char** argv);
// Registers the built-in commands and, when `wanted`, starts the server
// ("DevServer: listening on '%s'") and registers its stop as the first step
// of closing the scene. Call at the end of start-up.
void dev_server_start(bool wanted, GameMode* dev_mode = nullptr);
// At the start of every update step: releases keys pressed for one step,
// then serves the client's messages.
void dev_server_poll();
void dev_server_stop();

// The "speed" command's factor (1 normally): update steps per 0.05 s of
// real time. dev_server_steps_due adds the factor to a running total and
// returns the whole steps to run for this loop step (0 to 16).
extern double dev_speed_factor;
int dev_server_steps_due();
