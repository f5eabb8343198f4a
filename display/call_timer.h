// The call-duration display: a running duration shown on theDisplay as four
// digit fields drawn from stored pictures (MatrixDisplay::StorePicture),
// redrawing only the digits that change.
//
// Fields, by name (letter case ignored), and what they show below one hour /
// from one hour on:
//   "RTPMIN10"  tens of minutes / tens of hours     digit values 0..9
//   "RTPMIN1"   ones of minutes / ones of hours     0..9
//   "RTPSEC10"  tens of seconds / tens of minutes   0..5
//   "RTPSEC1"   ones of seconds / ones of minutes   0..9
// Each field has a position and one picture id per digit value (-1: none; a
// digit without a picture leaves the field as it is). The state is
// process-wide.
#pragma once

#include "lib/str.h"

// Forgets every field's pictures; positions and shown digits stay.
void call_timer_reset();
// Places a field's top-left corner; false for an unknown field name.
bool call_timer_set_position(const str& field, int x, int y);
// Sets the picture of one digit value (decimal text) of a field; false, and
// nothing stored, for an unknown field or a digit the field does not have.
bool call_timer_set_digit_picture(const str& field, const str& digit, int picture_id);
// Shows a duration of `seconds` (mm:ss, from 3600 on hh:mm, where only a new
// minute redraws), then flushes if any field was drawn. Negative durations
// are ignored.
void call_timer_show(int seconds);
// Draws a field's shown digit again (nothing when it shows none), without
// flushing; false for an unknown field name.
bool call_timer_redraw_field(const str& field);

// The duration last shown; -1 before the first.
extern int call_timer_last;
