// Wall-clock seconds from a monotonic high-resolution counter.
#pragma once

long double currentSeconds();
