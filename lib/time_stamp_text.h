#pragma once

#include "lib/str.h"

// The local date and time as "YYYYMMDDhhmmss", followed by the tenths and
// hundredths of the second when hundredths is set. Reads the clock without
// setting it.
str time_stamp_text(bool hundredths);
