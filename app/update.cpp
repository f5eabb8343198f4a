// The image step of the update, top to bottom: the download, the checks of
// the header and the checksum, the erase, the write with its percentages and
// the read-back, and the screens of each.
#include "app/update.h"

#include <fcntl.h>
#include <stdint.h>
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

// The payload's first bytes, written last: until they are on the flash the
// partition's head reads erased, and the next start-up knows that the update
// did not finish.
constexpr unsigned long image_head_size = 16;

// What the read-back compares against, a chunk at a time. Touched before the
// first erase, so that its first use cannot wake the kernel's out-of-memory
// killer while the phone has no software.
char read_back[image_write_chunk];

bool flash_geometry(const char* path, mtd_info_user& info);
bool flash_ready();
bool head_reads_erased(const char* bytes, unsigned long n);
bool erase_write_verify(const str& payload, unsigned long length, const mtd_info_user& info5);
void update_screen(const char* row0, const char* row1);
bool update_error(const char* message, const char* row1 = "Press any key to abort...");
bool update_broken();

}  // namespace

bool tftp_store_image(const str& address, const str& server, const str& gateway,
                      const str& netmask) {
  set_ethernet_device(address, netmask, gateway, "eth0");
  // The location's host is the phone's own address, as the phone has always
  // built it: GetTFTPFile takes only the file name from it and sends the
  // request to server, so the host part changes nothing on the wire.
  str location = str("tftp://") + address + "/tolv510.bin";
  // The partition's size bounds the download: a larger file is refused as it
  // arrives, not after it has filled the memory.
  mtd_info_user info5;
  if (!flash_geometry(mtd5_path, info5)) return update_error("Flash Error!");
  update_screen("tftp", nullptr);
  long long most = static_cast<long long>(image_header_size) + info5.size;
  tftp_size_limit = most > INT32_MAX ? INT32_MAX : static_cast<int32_t>(most);
  // The one copy of the image: the header words are read and the payload is
  // written and read back in place, so that from the first erase to the end
  // nothing allocates more than a screen's text.
  str content = GetTFTPFile(location, server, 0);
  tftp_size_limit = 0;
  if (content.length() == 0) {
    if (tftp_state == TFTP_NO_MEMORY) return update_error("Out of memory!");
    if (tftp_state == TFTP_TOO_LARGE) return update_error("Wrong Size!");
    return update_error("No File or Server");
  }
  if (content.length() < image_min_file_size) return update_error("Wrong Size!");
  uint32_t checksum = image_word(content, image_checksum_offset);
  uint32_t length = image_word(content, image_length_offset);
  if (image_word(content, image_magic_offset) != image_magic_value) {
    return update_error("Wrong Image");
  }
  str payload = content.substr(image_header_size, -1);
  // The download's limit has kept the payload within mtd5.
  if (length == 0 || length > static_cast<uint32_t>(payload.length())) {
    return update_error("Wrong Size!");
  }
  // Such a payload, once written, could not be told from an update cut
  // short: the phone would never start it.
  if (head_reads_erased(payload.data(), length)) return update_error("Wrong Image");
  if (!CheckCRC(payload, length, checksum)) return false;
  if (!flash_ready()) return update_error("Flash Error!");
  return erase_write_verify(payload, length, info5);
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

bool update_interrupted() {
  int fd = open(mtd5_path, O_RDONLY);
  if (fd < 0) return false;
  char head[image_head_size];
  bool whole = read(fd, head, sizeof head) == static_cast<ssize_t>(sizeof head);
  close(fd);
  return whole && head_reads_erased(head, sizeof head);
}

void not_intact_screen() {
  update_screen("Software not intact:", "update needed, press key");
  wait_for_press();
}

namespace {

// The geometry of the partition at path; false when it does not open,
// answer, or answers with no erase blocks to erase.
bool flash_geometry(const char* path, mtd_info_user& info) {
  int fd = open(path, O_RDONLY);
  if (fd < 0) return false;
  bool answered = ioctl(fd, MEMGETINFO, &info) == 0;
  close(fd);
  return answered && info.erasesize != 0 && info.size >= info.erasesize;
}

// Whether both partitions open for writing and answer their geometry: the
// last check before anything is erased.
bool flash_ready() {
  const char* paths[] = {mtd4_path, mtd5_path};
  mtd_info_user info;
  for (const char* path : paths) {
    int fd = open(path, O_RDWR);
    if (fd < 0) return false;
    bool answered = ioctl(fd, MEMGETINFO, &info) == 0;
    close(fd);
    if (!answered) return false;
  }
  return true;
}

// Whether the first bytes the partition would hold read as erased flash.
bool head_reads_erased(const char* bytes, unsigned long n) {
  if (n > image_head_size) n = image_head_size;
  for (unsigned long i = 0; i < n; ++i) {
    if (static_cast<unsigned char>(bytes[i]) != 0xFF) return false;
  }
  return true;
}

// Each step below opens its partition and closes it when done: closing an
// MTD device syncs it, so that a step is on the flash before the next
// begins (a device behind a page cache would otherwise lose it, or reorder
// it, in a power cut). True when the step was done and the close succeeded.
bool close_step(int fd, bool done) {
  return close(fd) == 0 && done;
}

bool erase_step(const char* path, int start, int count) {
  int fd = open(path, O_RDWR);
  return fd >= 0 && close_step(fd, inca_erase_flash(fd, start, count, false) == 0);
}

// Writes payload[from, length) to mtd5 at from through flash_write_image:
// the body with its percentage, or the head, which lies inside the first
// chunk and so goes in one write with no percentage.
bool write_step(const str& payload, unsigned long from, unsigned long length) {
  int fd = open(mtd5_path, O_RDWR);
  if (fd < 0) return false;
  bool written = lseek(fd, static_cast<off_t>(from), SEEK_SET) == static_cast<off_t>(from) &&
                 flash_write_image(fd, payload, from, length);
  return close_step(fd, written);
}

bool verify_step(const str& payload, unsigned long from, unsigned long length) {
  int fd = open(mtd5_path, O_RDONLY);
  return fd >= 0 && close_step(fd, flash_verify_image(fd, payload, from, length) == 1);
}

// Erases both partitions and writes and verifies the payload on mtd5, in
// the order that keeps mtd5's head erased from the first erase until all
// the rest is written and verified: a power cut at any moment leaves either
// the old software untouched or an erased head, which the next start-up
// takes for an update to finish. length is at most mtd5's size: the
// download's limit (tftp_size_limit) has kept it there.
bool erase_write_verify(const str& payload, unsigned long length, const mtd_info_user& info5) {
  memset(read_back, 0, sizeof read_back);
  update_screen("Erasing applications...", "DON'T TURN OFF THE POWER");
  bFlashErased = true;
  int blocks = static_cast<int>(info5.size / info5.erasesize);
  if (!erase_step(mtd5_path, 0, 1) || !erase_step(mtd4_path, 0, -1) ||
      (blocks > 1 && !erase_step(mtd5_path, static_cast<int>(info5.erasesize), blocks - 1))) {
    return update_broken();
  }
  update_screen("Writing applications...", "Update: 0%");
  unsigned long head = length < image_head_size ? length : image_head_size;
  if (!write_step(payload, head, length)) return update_broken();
  update_screen("Verifying flash...", nullptr);
  if (!verify_step(payload, head, length) || !write_step(payload, 0, head) ||
      !verify_step(payload, 0, head)) {
    return update_broken();
  }
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

// An error screen before anything is erased: message over row1, a key
// (wait_for_key), then "Canceled ...". But with the software already
// erased by an earlier try nothing is canceled: the screen says so, and one
// press goes back to the menu. Always false, for the caller to return.
bool update_error(const char* message, const char* row1) {
  if (bFlashErased) {
    update_screen(message, "Still not intact: a key");
    wait_for_press();
    return false;
  }
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

bool flash_write_image(int fd, const str& payload, unsigned long from, unsigned long length) {
  const char* bytes = payload.data();
  unsigned long shown = 0;
  for (unsigned long at = from; at < length;) {
    // Chunks end where the payload's 8192-byte chunks end, whatever from is.
    unsigned long chunk = at / image_write_chunk;
    unsigned long end = (chunk + 1) * image_write_chunk;
    unsigned long n = (end < length ? end : length) - at;
    if (write(fd, bytes + at, n) != static_cast<ssize_t>(n)) return false;
    at += n;
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

int flash_verify_image(int fd, const str& payload, unsigned long from, unsigned long length) {
  if (lseek(fd, static_cast<off_t>(from), SEEK_SET) != static_cast<off_t>(from)) return -1;
  const char* expected = payload.data();
  for (unsigned long at = from; at < length;) {
    unsigned long n = length - at < sizeof read_back ? length - at : sizeof read_back;
    ssize_t got = read(fd, read_back, n);
    if (got <= 0) return -1;
    if (memcmp(read_back, expected + at, static_cast<size_t>(got)) != 0) return 0;
    at += static_cast<unsigned long>(got);
  }
  return 1;
}
