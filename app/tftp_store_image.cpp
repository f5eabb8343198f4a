#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "app/flash.h"
#include "app/update.h"
#include "app/image_format.h"
#include "app/image_header.h"
#include "app/net_setup.h"
#include "app/update_screens.h"
#include "tftp/tftp.h"

namespace {

constexpr const char* flash_error = "Flash Error!";

// Opens both partitions and asks their geometry; false (nothing open) when
// any of that fails.
bool open_flash(int& mtd4, int& mtd5, mtd_info_user& info5) {
  mtd_info_user info4;
  mtd4 = open(mtd4_path, O_RDWR);
  mtd5 = open(mtd5_path, O_RDWR);
  if (mtd4 >= 0 && mtd5 >= 0 && ioctl(mtd4, MEMGETINFO, &info4) == 0 &&
      ioctl(mtd5, MEMGETINFO, &info5) == 0) {
    return true;
  }
  if (mtd4 >= 0) close(mtd4);
  if (mtd5 >= 0) close(mtd5);
  return false;
}

// Erases both partitions and writes and verifies the payload on mtd5. Closes
// both descriptors.
bool erase_write_verify(int mtd4, int mtd5, str payload, unsigned long length) {
  update_screen("Erasing applications...", "DON'T TURN OFF THE POWER");
  bool erased = inca_erase_flash(mtd4, 0, -1, false) == 0;
  close(mtd4);
  if (!erased || inca_erase_flash(mtd5, 0, -1, false) != 0 || lseek(mtd5, 0, SEEK_SET) != 0) {
    close(mtd5);
    return update_error(flash_error);
  }
  update_screen("Writing applications...", "Update: 0%");
  payload.touch(0);
  if (!flash_write_image(mtd5, payload, length)) {
    close(mtd5);
    return update_error(flash_error);
  }
  update_screen("Verifying flash...", nullptr);
  int verified = flash_verify_image(mtd5, payload, length);
  close(mtd5);
  if (verified < 0) return update_error(flash_error);
  if (verified == 0) return update_error("Verify Error!");
  return true;
}

}  // namespace

bool tftp_store_image(const str& address, const str& server, const str& gateway,
                      const str& netmask) {
  set_ethernet_device(address, netmask, gateway, "eth0");
  str location = str("tftp://") + address + "/tolv510.bin";
  update_screen("tftp", nullptr);
  str content = GetTFTPFile(location, server, 0);
  if (content.length() == 0) return update_error("No File or Server");
  if (content.length() < image_min_file_size) return update_error("Wrong Size!");
  content.touch(0);
  uint32_t checksum = image_word(content, image_checksum_offset);
  uint32_t length = image_word(content, image_length_offset);
  if (image_word(content, image_magic_offset) != image_magic_value) {
    return update_error("Wrong Image");
  }
  str payload = content.substr(image_header_size, -1);
  if (length == 0 || length > static_cast<uint32_t>(payload.length())) {
    return update_error("Wrong Size!");
  }
  if (!CheckCRC(payload, length, checksum)) return false;

  int mtd4 = -1, mtd5 = -1;
  mtd_info_user info5;
  if (!open_flash(mtd4, mtd5, info5)) return update_error(flash_error);
  if (length > info5.size) {
    close(mtd4);
    close(mtd5);
    return update_error("Wrong Size!");
  }
  return erase_write_verify(mtd4, mtd5, payload, length);
}
