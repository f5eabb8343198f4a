// A downloaded file into the image checks: the update step as the program runs
// it (tftp_store_image), the file served by the TFTP test peer on loopback,
// the flash partitions in the MTD model, and a person who answers each error
// screen with two different keys. A reference reading of the image format
// decides: at least 1024 bytes, magic 253, a payload length that is not 0,
// arrived whole and fits mtd5, and the sum of its whole big-endian words as
// the checksum. A file that fails leaves both partitions exactly as they were
// (nothing erased, nothing written) and the update returns false; a file that
// passes leaves mtd4 erased, mtd5 holding the payload with erased bytes after
// it, and true.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include "app/keypad.h"
#include "app/update.h"
#include "display/matrix_display.h"
#include "fuzz/fuzz_check.h"
#include "sim/fd_table.h"
#include "sim/keypad_model.h"
#include "sim/keypad_script.h"
#include "sim/lcd_model.h"
#include "sim/mtd_model.h"
#include "sim/port69.h"
#include "sim/settle.h"
#include "tests/tftp_peer.h"

namespace {

constexpr sim::mtd::geometry mtd4_geometry = {8u << 10, 1u << 10};
constexpr sim::mtd::geometry mtd5_geometry = {4u << 10, 1u << 10};
std::string dir;

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t word(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (size_t k = 0; k < 4; ++k) {
    v = v << 8 | (at + k < b.size() ? static_cast<unsigned char>(b[at + k]) : 0u);
  }
  return v;
}

// The payload length of a file that passes every check, else -1.
long accepted_length(const std::string& file) {
  if (file.size() < 1024 || word(file, 8) != 253) return -1;
  uint32_t length = word(file, 4);
  if (length == 0 || length > file.size() - 16 || length > mtd5_geometry.size) return -1;
  uint32_t sum = 0;
  for (size_t i = 0; i + 4 <= length; i += 4) sum += word(file, 16 + i);
  return sum == word(file, 0) ? static_cast<long>(length) : -1;
}

// Presses two different keys whenever an error screen has just been shown.
bool answered = false;
void answer_error_screens() {
  std::string row1 = sim::lcd_model::instance().screen().row_text(1);
  if (answered || (row1 != "Press any key to abort.." && row1 != "     Press any key")) return;
  answered = true;
  for (char key : {'1', '2'}) {
    sim::keypad::model()->push(sim::keypad_code(key), 1);
    sim::keypad::model()->push(sim::keypad_code(key), 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sim::run_setup_once();
  theDisplay.SetDevice("/dev/inca-port");
  sim::on_settle(answer_error_screens);
  char pattern[] = "/tmp/ruk-fuzz-flash-XXXXXX";
  FUZZ_CHECK(mkdtemp(pattern) != nullptr);
  dir = pattern;
  sim::mtd::serve(4, dir, mtd4_geometry);
  sim::mtd::serve(5, dir, mtd5_geometry);
  kbd_fd = open("/dev/keypad", O_RDONLY);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string file(reinterpret_cast<const char*>(data), size);
  // Fresh partitions with the old firmware's pattern.
  unlink((dir + "/mtd4").c_str());
  unlink((dir + "/mtd5").c_str());
  for (const char* path : {"/dev/mtd4", "/dev/mtd5"}) close(open(path, O_RDONLY));
  std::string mtd4_before = contents(dir + "/mtd4");
  std::string mtd5_before = contents(dir + "/mtd5");
  FUZZ_CHECK(mtd4_before.size() == mtd4_geometry.size && mtd5_before.size() == mtd5_geometry.size);
  sim::keypad::model()->clear();
  answered = false;

  ruk_test::tftp_peer_script script;
  script.content = file;
  ruk_test::tftp_peer peer(script);
  sim::redirect_port69(peer.port());
  peer.start();
  bool written = tftp_store_image("10.0.0.2", "127.0.0.1", "0.0.0.0", "255.255.255.0");
  sim::settle();
  peer.stop();

  long length = accepted_length(file);
  std::string mtd4 = contents(dir + "/mtd4");
  std::string mtd5 = contents(dir + "/mtd5");
  if (length < 0) {
    FUZZ_CHECK(!written);
    FUZZ_CHECK(mtd4 == mtd4_before);
    FUZZ_CHECK(mtd5 == mtd5_before);
  } else {
    size_t n = static_cast<size_t>(length);
    FUZZ_CHECK(written);
    FUZZ_CHECK(mtd4 == std::string(mtd4_geometry.size, '\xFF'));
    FUZZ_CHECK(mtd5.compare(0, n, file, 16, n) == 0);
    FUZZ_CHECK(mtd5.substr(n) == std::string(mtd5_geometry.size - n, '\xFF'));
  }
  return 0;
}
