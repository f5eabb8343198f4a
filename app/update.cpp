// The image step of the update, top to bottom: the download, the checks of
// the header and the checksum, the erase, the write with its percentages and
// the read-back, and the screens of each.
#include "app/update.h"

#include <fcntl.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "app/image_format.h"
#include "app/keypad.h"
#include "app/net_setup.h"
#include "display/matrix_display.h"
#include "tftp/tftp.h"

bool bFlashErased = false;

namespace {

bool open_flash(int& mtd4, int& mtd5, mtd_info_user& info5);
bool erase_write_verify(int mtd4, int mtd5, const str& payload, unsigned long length);
void update_screen(const char* row0, const char* row1);
bool update_error(const char* message, const char* row1 = "Press any key to abort...");
bool update_broken();

}  // namespace

bool tftp_store_image(const str& address, const str& server, const str& gateway,
                      const str& netmask) {
  set_ethernet_device(address, netmask, gateway, "eth0");
  str location = str("tftp://") + address + "/tolv510.bin";
  update_screen("tftp", nullptr);
  // The one copy of the image: the header words are read and the payload is
  // written and read back in place, so that from the first erase to the end
  // nothing allocates more than a screen's text.
  str content = GetTFTPFile(location, server, 0);
  if (content.length() == 0) {
    return update_error(tftp_state == TFTP_NO_MEMORY ? "Out of memory!" : "No File or Server");
  }
  if (content.length() < image_min_file_size) return update_error("Wrong Size!");
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
  if (!open_flash(mtd4, mtd5, info5)) return update_error("Flash Error!");
  if (length > info5.size) {
    close(mtd4);
    close(mtd5);
    return update_error("Wrong Size!");
  }
  return erase_write_verify(mtd4, mtd5, payload, length);
}

bool CheckCRC(const str& payload, unsigned long length, unsigned long checksum) {
  if (image_sum(payload, length) == static_cast<uint32_t>(checksum)) return true;
  return update_error("  CRC error - aborted.", "     Press any key");
}

uint32_t image_word(const str& bytes, int offset) {
  uint32_t word = 0;
  for (int i = 0; i < 4; ++i) {
    word = word << 8 | static_cast<unsigned char>(bytes.get_character(offset + i));
  }
  return word;
}

uint32_t image_sum(const str& payload, unsigned long length) {
  unsigned long n = static_cast<unsigned long>(payload.length());
  if (length < n) n = length;
  n /= 4;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(payload.data());
  uint32_t sum = 0;
  for (unsigned long i = 0; i < n; ++i, p += 4) {
    sum += static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
  }
  return sum;
}

namespace {

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
bool erase_write_verify(int mtd4, int mtd5, const str& payload, unsigned long length) {
  update_screen("Erasing applications...", "DON'T TURN OFF THE POWER");
  bFlashErased = true;
  bool erased = inca_erase_flash(mtd4, 0, -1, false) == 0;
  close(mtd4);
  if (!erased || inca_erase_flash(mtd5, 0, -1, false) != 0 || lseek(mtd5, 0, SEEK_SET) != 0) {
    close(mtd5);
    return update_broken();
  }
  update_screen("Writing applications...", "Update: 0%");
  if (!flash_write_image(mtd5, payload, length)) {
    close(mtd5);
    return update_broken();
  }
  update_screen("Verifying flash...", nullptr);
  bool verified = flash_verify_image(mtd5, payload, length) == 1;
  close(mtd5);
  if (!verified) return update_broken();
  bFlashErased = false;
  return true;
}

// Clears the display and shows row0 over row1 (row1 may be null).
void update_screen(const char* row0, const char* row1) {
  theDisplay.Clear();
  theDisplay.Print(0, 0, row0);
  if (row1 != nullptr) theDisplay.Print(0, 1, row1);
  theDisplay.Flush(false);
}

// An error screen: message over row1, a key (wait_for_key), then
// "Canceled ...". Always false, for the caller to return.
bool update_error(const char* message, const char* row1) {
  update_screen(message, row1);
  wait_for_key();
  update_screen("Canceled ...", nullptr);
  return false;
}

// The screen of a failure once the erasing has begun, whatever failed:
// nothing is canceled then, and the user must not walk away from a phone
// that has no software to start. One key, pressed once the screen is there,
// goes back to the menu. Always false.
bool update_broken() {
  update_screen("Update failed, software", "not intact: press a key");
  wait_for_press();
  return false;
}

}  // namespace

int inca_erase_flash(int fd, int start, int count, bool) {
  mtd_info_user info;
  int result = ioctl(fd, MEMGETINFO, &info);
  if (result != 0) return result;
  erase_info_user erase;
  erase.start = static_cast<uint32_t>(start);
  erase.length = count < 0 ? info.size : info.erasesize;
  int requests = count < 0 ? 1 : count;
  for (int i = 0; i < requests; ++i) {
    if (ioctl(fd, MEMERASE, &erase) != 0) return -1;
    erase.start += info.erasesize;
  }
  return 0;
}

bool flash_write_image(int fd, const str& payload, unsigned long length) {
  const char* bytes = payload.data();
  unsigned long shown = 0;
  unsigned long chunk = 0;
  for (unsigned long at = 0; at < length; at += image_write_chunk, ++chunk) {
    unsigned long n = length - at < image_write_chunk ? length - at : image_write_chunk;
    if (write(fd, bytes + at, n) != static_cast<ssize_t>(n)) return false;
    // The share written before this chunk, so 100% is never shown.
    unsigned long percent =
        static_cast<unsigned long>(static_cast<uint64_t>(chunk) * image_write_chunk * 100 / length);
    if (percent != shown) {
      shown = percent;
      theDisplay.Print(8, 1, str(static_cast<int>(percent), 0) + "%");
      theDisplay.Flush(false);
    }
  }
  return true;
}

int flash_verify_image(int fd, const str& payload, unsigned long length) {
  if (lseek(fd, 0, SEEK_SET) != 0) return -1;
  static char back[image_write_chunk];
  const char* expected = payload.data();
  for (unsigned long at = 0; at < length;) {
    unsigned long n = length - at < sizeof back ? length - at : sizeof back;
    ssize_t got = read(fd, back, n);
    if (got <= 0) return -1;
    if (memcmp(back, expected + at, static_cast<size_t>(got)) != 0) return 0;
    at += static_cast<unsigned long>(got);
  }
  return 1;
}
