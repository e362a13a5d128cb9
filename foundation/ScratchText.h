// A small text area, one per thread, for the short-lived descriptions that value
// types (HPoint, AxisBox) give of themselves. Requests take consecutive slices
// and start again at the beginning when the area is full, so a returned text
// stays valid only for the next few requests (at least 14 of 128 bytes).
#pragma once

const int scratchTextSize = 2048;

// A slice of n bytes (1 .. scratchTextSize). Takes the slice at the current
// fill position when it fits with room to spare, otherwise restarts at the
// beginning. A request for the whole area makes the next request start at 0.
char* scratchText(int n);
