// Screenshots: a presented frame saved as a PNG file in the "shots" folder of the application-data folder, named by the local time
// ("shots/shot%4u_%02u_%02u_%02u_%02u_%02u.png"). Never stops the game.
#pragma once
#include <cstdint>

#include "core/tempData.h"

// Takes the screenshot (the Print Screen hotkey): the next presented frame is
// kept and written as soon as it has been presented. Returns the file's full
// path (named by the local time of the request).
PathString make_screenshot();

// Encodes a captured image (B, G, R, A bytes, rows top first, `pitch` bytes
// apart; alpha is ignored and written as 255) as a PNG file. False when the
// encoding or the write fails.
bool save_screenshot_png(const char* path, const uint8_t* bgra, int width, int height, int pitch);
