// Colouring the monochrome high-resolution map: artifact colour (plain or
// blurred) into the 16-colour palette, or an NTSC composite decode into 24 bits.
#pragma once

#include "cli/image.h"

void colour_bitmap(image_info* picture, int join_ends, int blur);
int retouch_bitmap(image_info* picture, int join_ends, int phase_offset);
double average_hue(int a, int b);
