// The GUI runtime's place in start-up: after the device, the bitmap font and
// init_controls (the controls set-up registers "keybox" here, since input
// lies in core, below the GUI). Registers its close step.
#pragma once

void init_gui_runtime();
