#include "app/update.h"
#include "app/image_header.h"
#include "app/update_screens.h"

bool CheckCRC(const str& payload, unsigned long length, unsigned long checksum) {
  if (image_sum(payload, length) == static_cast<uint32_t>(checksum)) return true;
  return update_error("  CRC error - aborted.", "     Press any key");
}
