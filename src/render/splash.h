// The splash screen's drawing and the scene image behind it. The window
// (core, below the renderer) calls these through window_device_ops, which the device
// layer installs when it comes up.
#pragma once
#include "render/device.h"

// Screen-sized render texture created at start-up; the grabbed scene.
extern Texture* scene_image;
// Background of the splash screen: null until grab_scene_as_splash.
extern Texture* splash_background;

// Text drawing of the splash until the fonts exist: the bitmap font installs
// this (centred text at x, y in pixels) and the line height it uses.
extern void (*splash_draw_text_fn)(const char* text, float x, float y);
extern float splash_line_height;

void draw_splash();
bool grab_scene_for_splash(); // copy_back_buffer into scene_image
void splash_install_window_ops();
void splash_remove_window_ops();
