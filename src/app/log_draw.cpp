// Drawing of the visual log and the on-screen error message with the bitmap
// font. Filled in by the renderer once the font exists.
#include "app/log.h"

void draw_visual_log() {} // drawn with the bitmap font once the renderer provides it
void draw_error_message() {} // drawn with the bitmap font once the renderer provides it
