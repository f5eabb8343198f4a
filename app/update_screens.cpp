#include "app/update_screens.h"

#include "display/matrix_display.h"

void update_screen(const char* row0, const char* row1) {
  theDisplay.Clear();
  theDisplay.Print(0, 0, row0);
  if (row1 != nullptr) theDisplay.Print(0, 1, row1);
  theDisplay.Flush(false);
}

bool update_error(const char* message, const char* row1) {
  update_screen(message, row1);
  wait_for_key();
  update_screen("Canceled ...", nullptr);
  return false;
}
