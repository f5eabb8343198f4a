// A downloaded file into the image checks: the update step as the program runs
// it (tftp_store_image), the file served by the TFTP test peer on loopback,
// the flash partitions in the MTD model, and a person who answers each error
// screen with the keys it asks for. A file of odd length is tried on a phone
// whose software an earlier try already erased (bFlashErased set).
//
// What a file should come to is decided by the image tool's reading of the
// format (ruk_image::check, written apart from the program's decoder), after
// the one check made while the file arrives: at most 16 bytes more than mtd5
// holds (a larger file is refused then: the server gets ERROR 3 and no block
// past that size is taken). mtd5's geometry is asked before the download. A
// file that fails shows the error of the first check it fails, erases and
// writes nothing, leaves both partitions exactly as they were and the update
// returns false; the error is answered with two keys and ends in
// "Canceled ...", or, on a phone already erased, says the software is still not
// intact and takes one key. A file that passes is written in the order that
// keeps mtd5's head erased until the rest is on the flash: mtd5's first erase
// block erased, then mtd4, then the rest of mtd5 block by block, the payload
// but its head written (in writes that end where its 8 KiB chunks end) and read
// back, then the head written and read back, each step in its own open and
// close; it leaves mtd4 erased, mtd5 holding the payload with erased bytes
// after it, bFlashErased clear, and true. No wait for a key outlasts the keys:
// each ends with them.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/keypad.h"
#include "app/update.h"
#include "display/matrix_display.h"
#include "fuzz/fuzz_check.h"
#include "sim/seam/clock.h"
#include "sim/seam/fresh_phone.h"
#include "sim/seam/keypad_model.h"
#include "sim/models/keypad_script.h"
#include "sim/models/transcript_format.h"
#include "sim/seam/lcd_model.h"
#include "sim/seam/mtd_model.h"
#include "sim/seam/port69.h"
#include "sim/seam/settle.h"
#include "sim/seam/transcript.h"
#include "tests/tftp_peer.h"
#include "tools/image.h"

namespace {

using transcript_format::screen_text;

constexpr sim::mtd::geometry mtd4_geometry = {8u << 10, 1u << 10};
constexpr sim::mtd::geometry mtd5_geometry = {4u << 10, 1u << 10};
using ruk_image::head_size;  // the payload's bytes written last
using ruk_image::header_size;
std::string dir;
bool tracing = false;  // RUK_FUZZ_TRACE: the transcript on stderr

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the update makes of a file: the payload length it writes, or the
// error screen's first row (and second, before "Canceled ...").
struct verdict {
  long length = -1;
  std::string message;
  std::string row1 = "Press any key to abort..";  // the screen's 24 characters
};

verdict judge(const std::string& file) {
  verdict v;
  if (file.size() > header_size + mtd5_geometry.size) {
    v.message = "Wrong Size!";
    return v;
  }
  // The phone shows the first fault it finds.
  ruk_image::report r = ruk_image::check({file.begin(), file.end()}, mtd5_geometry.size);
  if (r.faults.empty()) {
    v.length = static_cast<long>(r.fields.length);
  } else if (r.faults[0].phone_words == "CRC error") {
    v.message = "  CRC error - aborted.";
    v.row1 = "     Press any key";
  } else {
    v.message = r.faults[0].phone_words;
  }
  return v;
}

// The person at the phone: when a screen that waits for keys has just come,
// the keys it asks for, a while later (keys within 200 ms of a screen are
// taken for keys typed before it, and dropped). The wait runs on the
// simulated clock from then on, so that it takes no real time; the download,
// over real sockets, is over by then. Only a screen that comes counts: the
// last one of an input stays on the display while the next begins.
bool answered = false;
std::string& shown_row1 = *new std::string;  // never destroyed: the hook runs at exit too
void answer_error_screens() {
  std::string row1 = sim::lcd_model::instance().screen().row_text(1);
  bool came = row1 != shown_row1;
  shown_row1 = row1;
  bool two_keys = row1 == "Press any key to abort.." || row1 == "     Press any key";
  bool one_key = row1 == "Still not intact: a key";
  if (answered || !came || !(two_keys || one_key)) return;
  answered = true;
  sim::clock::use_virtual(true);
  int64_t at = sim::clock::elapsed_us() / 1000 + 300;
  // Two different keys, each pressed and released; or one press.
  std::vector<std::pair<char, int32_t>> events = {{'1', 1}};
  if (two_keys) events.insert(events.end(), {{'1', 0}, {'2', 1}, {'2', 0}});
  for (const auto& event : events) {
    sim::key_event e;
    e.at_ms = at;
    e.code = sim::keypad_code(event.first);
    e.state = event.second;
    sim::keypad::model()->schedule(e);
  }
}

// One open-to-close session of a partition, with its erases, writes and reads
// as [from, to) ranges.
struct session {
  std::string device;
  std::string kind;  // "erase", "write" or "read"; empty for none
  std::vector<std::pair<size_t, size_t>> ranges;
};

// The flash transcript's sessions that erase, write or read, in order; the
// others only ask the geometry. Sessions never overlap, and each does one
// kind of thing.
std::vector<session> flash_steps(const std::vector<std::string>& flash) {
  std::vector<session> steps;
  session open;
  for (const std::string& line : flash) {
    FUZZ_CHECK(line.find(" failed") == std::string::npos);
    size_t space = line.find(' ');
    std::string verb = line.substr(0, space);
    std::string rest = line.substr(space + 1);
    std::string device = rest.substr(0, rest.find(' '));
    if (verb == "open") {
      FUZZ_CHECK(open.device.empty());
      open = session();
      open.device = device;
      continue;
    }
    FUZZ_CHECK(device == open.device);
    if (verb == "close") {
      if (!open.kind.empty()) steps.push_back(open);
      open = session();
    } else if (verb != "info") {
      FUZZ_CHECK(open.kind.empty() || open.kind == verb);
      open.kind = verb;
      std::string range = rest.substr(device.size() + 1);
      size_t at = std::stoul(range.substr(0, range.find('+')));
      size_t n = std::stoul(range.substr(range.find('+') + 1));
      open.ranges.push_back({at, at + n});
    }
  }
  FUZZ_CHECK(open.device.empty());
  return steps;
}

// Whether ranges follow each other from `from` to `to`, each ending at a
// multiple of chunk or at `to` (chunk 0: anywhere).
bool covers(const session& s, size_t from, size_t to, size_t chunk) {
  size_t at = from;
  for (const auto& r : s.ranges) {
    if (r.first != at || r.second <= r.first || r.second > to) return false;
    if (chunk != 0 && r.second != to && r.second % chunk != 0) return false;
    at = r.second;
  }
  return at == to;
}

// The erase, write and read steps of a payload of length bytes.
void check_write_order(const std::vector<session>& steps, size_t length) {
  size_t head = std::min(length, head_size);
  size_t block = mtd5_geometry.erasesize;
  std::vector<std::pair<std::string, std::string>> want = {
      {"mtd5", "erase"}, {"mtd4", "erase"}, {"mtd5", "erase"}};
  // A payload of no more than its head has nothing to write before it.
  if (head < length) want.insert(want.end(), {{"mtd5", "write"}, {"mtd5", "read"}});
  want.insert(want.end(), {{"mtd5", "write"}, {"mtd5", "read"}});
  FUZZ_CHECK(steps.size() == want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    FUZZ_CHECK(steps[i].device == want[i].first && steps[i].kind == want[i].second);
  }
  FUZZ_CHECK(steps[0].ranges == (std::vector<std::pair<size_t, size_t>>{{0, block}}));
  FUZZ_CHECK(covers(steps[1], 0, mtd4_geometry.size, 0));
  FUZZ_CHECK(covers(steps[2], block, mtd5_geometry.size, block));
  for (const auto& r : steps[2].ranges) FUZZ_CHECK(r.second - r.first == block);
  size_t i = 3;
  if (head < length) {
    FUZZ_CHECK(covers(steps[i++], head, length, 8192));
    FUZZ_CHECK(covers(steps[i++], head, length, 0));
  }
  FUZZ_CHECK(covers(steps[i++], 0, head, 0));
  FUZZ_CHECK(covers(steps[i++], 0, head, 0));
}

// The partitions' folder goes when the run ends (a crash leaves it, with the
// partitions as the failing input left them).
void remove_flash_dir() {
  unlink((dir + "/mtd4").c_str());
  unlink((dir + "/mtd5").c_str());
  rmdir(dir.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // libFuzzer's memory watch sleeps a second at a time, from a thread of its
  // own, through the simulated sleep: that would settle the display models
  // under the update's feet and, while the clock is virtual, move it. It is
  // switched off (the flags are read after this function; the last of a
  // flag counts).
  static std::vector<char*> args(*argv, *argv + *argc);
  static char no_rss_watch[] = "-rss_limit_mb=0";
  args.push_back(no_rss_watch);
  args.push_back(nullptr);
  *argc = static_cast<int>(args.size()) - 1;
  *argv = args.data();
  sim::fresh_phone();
  theDisplay.SetDevice("/dev/inca-port");
  sim::on_settle(answer_error_screens);
  char pattern[] = "/tmp/ruk-fuzz-flash-XXXXXX";
  FUZZ_CHECK(mkdtemp(pattern) != nullptr);
  dir = pattern;
  atexit(remove_flash_dir);
  sim::mtd::serve(4, dir, mtd4_geometry);
  sim::mtd::serve(5, dir, mtd5_geometry);
  kbd_fd = open("/dev/keypad", O_RDONLY);
  tracing = getenv("RUK_FUZZ_TRACE") != nullptr;
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
  shown_row1 = sim::lcd_model::instance().screen().row_text(1);
  bool erased_before = file.size() % 2 == 1;
  bFlashErased = erased_before;

  ruk_test::tftp_peer_script script;
  script.content = file;
  ruk_test::tftp_peer peer(script);
  sim::redirect_port69(peer.port());
  peer.start();
  sim::transcript_clear();
  int64_t start_us = sim::clock::now_us();
  bool written = tftp_store_image("10.0.0.2", "127.0.0.1", "0.0.0.0", "255.255.255.0");
  sim::settle();
  int64_t took_us = sim::clock::now_us() - start_us;
  sim::clock::use_virtual(false);
  peer.stop();

  // The screens and flash requests, and which came before the download.
  std::vector<std::string> screens, flash_before, flash_after;
  bool downloading = false;
  for (const std::string& line : sim::transcript_lines()) {
    if (tracing) fprintf(stderr, "%s\n", line.c_str());
    if (line.compare(0, 7, "screen\t") == 0) {
      screens.push_back(line.substr(7));
      downloading = downloading || screens.back() == screen_text("tftp", "");
    }
    if (line.compare(0, 6, "flash\t") == 0) {
      (downloading ? flash_after : flash_before).push_back(line.substr(6));
    }
  }
  // Only mtd5's geometry is asked before the download.
  FUZZ_CHECK(flash_before ==
             (std::vector<std::string>{
                 "open mtd5",
                 transcript_format::flash_info("mtd5", mtd5_geometry.size, mtd5_geometry.erasesize),
                 "close mtd5"}));
  FUZZ_CHECK(std::count(screens.begin(), screens.end(), screen_text("tftp", "")) == 1);
  // A file larger than mtd5 can take is refused as it arrives.
  size_t most = header_size + mtd5_geometry.size;
  if (file.size() > most) {
    FUZZ_CHECK(peer.errors == std::vector<std::string>{std::string("\0\5\0\3File too large\0", 19)});
    for (int block : peer.acks) FUZZ_CHECK(static_cast<size_t>(block) * 512 <= most);
  } else {
    FUZZ_CHECK(peer.errors.empty() && peer.finished);
  }

  verdict v = judge(file);
  std::string mtd4 = contents(dir + "/mtd4");
  std::string mtd5 = contents(dir + "/mtd5");
  // Each wait took its keys and ended with them, long before a wait's limit
  // (300 s) would have ended it.
  FUZZ_CHECK(sim::keypad::model()->pending() == 0);
  FUZZ_CHECK(took_us < 60 * 1000000LL);
  if (v.length < 0) {
    FUZZ_CHECK(!written);
    FUZZ_CHECK(bFlashErased == erased_before);
    FUZZ_CHECK(flash_steps(flash_after).empty());
    FUZZ_CHECK(mtd4 == mtd4_before);
    FUZZ_CHECK(mtd5 == mtd5_before);
    std::vector<std::string> end =
        erased_before ? std::vector<std::string>{screen_text(v.message, "Still not intact: a key")}
                      : std::vector<std::string>{screen_text(v.message, v.row1),
                                                 screen_text("Canceled ...", "")};
    FUZZ_CHECK(screens.size() >= end.size() &&
               std::equal(end.begin(), end.end(), screens.end() - end.size()));
  } else {
    size_t n = static_cast<size_t>(v.length);
    FUZZ_CHECK(written);
    FUZZ_CHECK(!answered);
    FUZZ_CHECK(!bFlashErased);
    check_write_order(flash_steps(flash_after), n);
    FUZZ_CHECK(mtd4 == std::string(mtd4_geometry.size, '\xFF'));
    FUZZ_CHECK(mtd5.compare(0, n, file, header_size, n) == 0);
    FUZZ_CHECK(mtd5.substr(n) == std::string(mtd5_geometry.size - n, '\xFF'));
  }
  bFlashErased = false;
  return 0;
}
