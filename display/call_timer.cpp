#include "display/call_timer.h"

#include "display/matrix_display.h"

int call_timer_last = -1;

namespace {

struct digit_field {
  const char* name;
  int digit_values;
  int x;
  int y;
  int shown;  // digit value drawn last, -1 for none
  int picture[10];
};

#define NO_PICTURES \
  { -1, -1, -1, -1, -1, -1, -1, -1, -1, -1 }
// In the order they are updated.
digit_field fields[] = {
    {"RTPSEC1", 10, 0, 0, -1, NO_PICTURES},
    {"RTPSEC10", 6, 0, 0, -1, NO_PICTURES},
    {"RTPMIN1", 10, 0, 0, -1, NO_PICTURES},
    {"RTPMIN10", 10, 0, 0, -1, NO_PICTURES},
};
#undef NO_PICTURES

digit_field* find(const str& name) {
  for (digit_field& f : fields) {
    if (name == f.name) return &f;
  }
  return nullptr;
}

}  // namespace

void call_timer_reset() {
  for (digit_field& f : fields) {
    for (int& id : f.picture) id = -1;
  }
}

bool call_timer_set_position(const str& field, int x, int y) {
  digit_field* f = find(field);
  if (f == nullptr) return false;
  f->x = x;
  f->y = y;
  return true;
}

bool call_timer_set_digit_picture(const str& field, const str& digit, int picture_id) {
  digit_field* f = find(field);
  // Unsigned, so that a negative digit counts as too large.
  unsigned d = static_cast<unsigned>(digit.value());
  if (f == nullptr || d >= static_cast<unsigned>(f->digit_values)) return false;
  f->picture[d] = picture_id;
  return true;
}

void call_timer_show(int seconds) {
  if (seconds < 0 || seconds == call_timer_last) return;
  if (call_timer_last >= 3600 && call_timer_last / 60 == seconds / 60) return;
  call_timer_last = seconds;
  int s = seconds > 3599 ? seconds / 60 : seconds;
  const int values[] = {s % 10, (s / 10) % 6, (s / 60) % 10, (s / 600) % 10};
  bool drawn = false;
  for (int i = 0; i < 4; ++i) {
    digit_field& f = fields[i];
    int id = f.picture[values[i]];
    if (values[i] == f.shown || id < 0) continue;
    f.shown = values[i];
    theDisplay.Show(f.x, f.y, id);
    drawn = true;
  }
  if (drawn) theDisplay.Flush(false);
}

bool call_timer_redraw_field(const str& field) {
  digit_field* f = find(field);
  if (f == nullptr) return false;
  theDisplay.Show(f->x, f->y, f->shown >= 0 ? f->picture[f->shown] : -1);
  return true;
}
