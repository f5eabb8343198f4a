// Until the download and flash writing are built, the update key says so on
// the display and changes nothing: no network set-up, no flash, no restart.
#include "app/update.h"

#include "display/matrix_display.h"

bool tftp_store_image(const str&, const str&, const str&, const str&) {
  theDisplay.Clear();
  theDisplay.Print(0, 0, "Update not built");
  theDisplay.Print(0, 1, "Nothing was changed");
  theDisplay.Flush(true);
  return false;
}
