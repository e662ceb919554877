// The UI icon atlas: one drawn icon for every spell, global resource and
// interface symbol (names as the spell catalogue and the interface use them).
#pragma once
#include <string>

// Writes ui_icons.txt and ui_icons.dds into `dir`.
bool make_icons(const std::string& dir);
