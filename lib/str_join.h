// Building a text from pieces, for the str operations that return an edited
// copy of a string.
#pragma once

#include "lib/str.h"

// The count pieces one after the other. When the non-empty pieces lie back
// to back in one buffer the result is a view of it and nothing is copied;
// otherwise one buffer of exactly the total length is filled.
str join_texts(const str* const* pieces, int count);
