// The update step, tftp_store_image, from the download to the read-back:
// what the panel shows (read back from the simulated LCD), what the flash
// partitions hold afterwards, and that every check comes before the first
// erase. The image comes from the test peer on loopback; a person "answers"
// each error screen with two different keys once it is shown.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/update.h"
#include "app/keypad.h"
#include "display/matrix_display.h"
#include "sim/seam/clock.h"
#include "sim/seam/fresh_phone.h"
#include "sim/seam/keypad_model.h"
#include "sim/models/keypad_script.h"
#include "sim/seam/lcd_model.h"
#include "sim/seam/mtd_model.h"
#include "sim/seam/port69.h"
#include "sim/seam/settle.h"
#include "sim/seam/transcript.h"
#include "tests/temp_dir.h"
#include "tests/tftp_peer.h"
#include "tftp/tftp.h"
#include "tools/image.h"

namespace {

using bytes = std::vector<uint8_t>;
using ruk_test::read_bytes;

constexpr sim::mtd::geometry mtd4_geometry = {128u << 10, 4u << 10};
constexpr sim::mtd::geometry mtd5_geometry = {1u << 20, 64u << 10};

void put_word(std::string& s, size_t at, uint32_t w) {
  ruk_image::put_be32(reinterpret_cast<uint8_t*>(&s[at]), w);
}

uint32_t sum_of(const std::string& payload, uint32_t length) {
  return ruk_image::payload_sum(reinterpret_cast<const uint8_t*>(payload.data()), payload.size(),
                                length);
}

std::string random_payload(size_t n, unsigned seed = 3) {
  std::mt19937 random(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(random());
  return s;
}

// A valid image of payload, no pad bytes, the unused word not zero (the
// update must not read it); a test may spoil it afterwards.
std::string image_of(const std::string& payload) {
  std::string image(16, '\0');
  put_word(image, 0, sum_of(payload, payload.size()));
  put_word(image, 4, static_cast<uint32_t>(payload.size()));
  put_word(image, 8, 253);
  put_word(image, 12, 0xDEADBEEF);
  return image + payload;
}

bytes as_bytes(const std::string& s) {
  return bytes(s.begin(), s.end());
}

// Whether the partition's bytes from offset 0 are exactly data.
bool holds(const bytes& partition, const std::string& data) {
  return partition.size() >= data.size() &&
         bytes(partition.begin(), partition.begin() + data.size()) == as_bytes(data);
}

// "Press any key to abort..." has 25 characters; the row shows the first 24.
const std::string abort_row = "Press any key to abort..";

// The screen of a failure after the first erase: the partitions no longer
// hold the old software, nor the new.
const std::string broken = "\"Update failed, software\" \"not intact: press a key\"";

// Presses two different keys whenever an error screen has just been shown
// (once for each time it appears), and again while it still waits with no
// key left to come: a wait may drop keys that came before it began, and on
// a slow machine (qemu) the first ones can come that early.
bool answered = false;
std::string shown_row1;
void answer_error_screens() {
  std::string row1 = sim::lcd_model::instance().screen().row_text(1);
  bool appeared = row1 != shown_row1;
  shown_row1 = row1;
  bool waits = row1 == abort_row || row1 == "     Press any key" ||
               row1 == "not intact: press a key" || row1 == "Still not intact: a key";
  bool given_keys_gone = answered && sim::keypad::model()->pending() == 0;
  if (!waits || !(given_keys_gone || (!answered && appeared))) return;
  answered = true;
  // A while after the screen came: keys within 200 ms of it are taken for
  // keys typed before it, and dropped unread.
  int64_t at = sim::clock::elapsed_us() / 1000 + 300;
  for (char key : {'1', '2'}) {
    for (int32_t state : {1, 0}) {
      sim::key_event e;
      e.at_ms = at;
      e.code = sim::keypad_code(key);
      e.state = state;
      sim::keypad::model()->schedule(e);
    }
  }
}

class Update : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    sim::fresh_phone();
    theDisplay.SetDevice("/dev/inca-port");
    sim::on_settle(answer_error_screens);
  }
  void SetUp() override {
    new_flash();
    sim::keypad::model()->clear();
    kbd_fd = open("/dev/keypad", O_RDONLY);
    answered = false;
    bFlashErased = false;
  }
  void TearDown() override {
    close(kbd_fd);
    kbd_fd = -1;
    sim::redirect_port69(0);
    sim::mtd::clear_faults();
  }

  // Partitions with their old contents, in a folder of their own, and no faults.
  void new_flash() {
    sim::mtd::clear_faults();
    dir = ruk_test::temp_dir("ruk-update-test");
    sim::mtd::serve(4, dir.path(), mtd4_geometry);
    sim::mtd::serve(5, dir.path(), mtd5_geometry);
    for (const char* path : {"/dev/mtd4", "/dev/mtd5"}) close(open(path, O_RDONLY));
    mtd4_before = read_bytes(dir / "mtd4");
    mtd5_before = read_bytes(dir / "mtd5");
  }

  // Runs the update with file served by the peer; the screens it showed.
  bool update(const std::string& file, ruk_test::tftp_peer_script script = {}) {
    script.content = file;
    ruk_test::tftp_peer peer(script);
    sim::redirect_port69(peer.port());
    peer.start();
    sim::transcript_clear();
    bool result = tftp_store_image("10.0.0.2", "127.0.0.1", "0.0.0.0", "255.255.255.0");
    sim::settle();  // the last screen is recorded once the program does something else
    peer.stop();
    screens = sim::transcript_texts("screen");
    return result;
  }
  // The update as update() runs it, in a child process whose memory is
  // limited to what it uses now plus allowance bytes. Returns the child's exit
  // status: 0 the update returned true, 1 false, other the process ended on
  // its own (255: out of memory).
  int update_in_memory(const std::string& file, size_t allowance) {
    ruk_test::tftp_peer_script script;
    script.content = file;
    ruk_test::tftp_peer peer(script);
    sim::redirect_port69(peer.port());
    int screen_pipe[2];
    EXPECT_EQ(pipe(screen_pipe), 0);
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
      close(screen_pipe[0]);
      // Large blocks from their own mappings, as in a fresh process, whatever
      // the tests before this one left in the allocator's state.
      mallopt(M_MMAP_THRESHOLD, 128 << 10);
      rlimit limit;
      limit.rlim_cur = limit.rlim_max = data_in_use() + allowance;
      setrlimit(RLIMIT_DATA, &limit);
      sim::transcript_clear();
      bool result = tftp_store_image("10.0.0.2", "127.0.0.1", "0.0.0.0", "255.255.255.0");
      sim::settle();
      std::string shown;
      for (const std::string& screen : sim::transcript_texts("screen")) shown += screen + "\n";
      ssize_t written = write(screen_pipe[1], shown.data(), shown.size());
      _exit(written == static_cast<ssize_t>(shown.size()) && result ? 0 : 1);
    }
    close(screen_pipe[1]);
    peer.start();
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = read(screen_pipe[0], buffer, sizeof buffer)) > 0;) shown.append(buffer, n);
    close(screen_pipe[0]);
    int status = 0;
    waitpid(child, &status, 0);
    peer.stop();
    screens.clear();
    for (size_t at = 0, next; (next = shown.find('\n', at)) != std::string::npos; at = next + 1) {
      screens.push_back(shown.substr(at, next - at));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  // Bytes of data (heap and private mappings) this process has now.
  static size_t data_in_use() {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
      if (word == "VmData:") {
        size_t kib = 0;
        status >> kib;
        return kib << 10;
      }
    }
    return 0;
  }

  // The screens after the download's byte counts.
  std::vector<std::string> after_download() const {
    std::vector<std::string> rest;
    for (const std::string& s : screens) {
      if (s.compare(0, 7, "\"tftp\" ") != 0) rest.push_back(s);
    }
    return rest;
  }
  bool flash_unchanged() {
    return read_bytes(dir / "mtd4") == mtd4_before && read_bytes(dir / "mtd5") == mtd5_before;
  }

  ruk_test::temp_dir dir{"ruk-update-test"};  // new_flash() gives each run its own
  bytes mtd4_before, mtd5_before;
  std::vector<std::string> screens;
};

// The screens of erasing and writing a payload of length bytes when `writes`
// chunks are written (the last of them may fail): the share written before
// each chunk, in percent, whenever it changes. A percentage shown after the
// last write is drawn over at once by the next screen, and no one sees it.
std::vector<std::string> writing_screens(int length, int writes) {
  std::vector<std::string> screens = {"\"Erasing applications...\" \"DON'T TURN OFF THE POWER\"",
                                      "\"Writing applications...\" \"Update: 0%\""};
  int shown = 0;
  for (long long k = 1; k < writes - 1; ++k) {
    int percent = static_cast<int>(k * 819200 / length);
    if (percent == shown) continue;
    shown = percent;
    screens.push_back("\"Writing applications...\" \"Update: " + std::to_string(percent) + "%\"");
  }
  return screens;
}

std::vector<std::string> failure(const std::string& row0, const std::string& row1 = abort_row) {
  return {"\"" + row0 + "\" \"" + row1 + "\"", "\"Canceled ...\" \"\""};
}

TEST_F(Update, AMillionByteImageIsWrittenWithPercentagesOneToNinetyNineAndVerified) {
  std::string payload = random_payload(1000000);
  ASSERT_TRUE(update(image_of(payload)));

  ASSERT_GE(screens.size(), 3u);
  EXPECT_EQ(screens[0], "\"tftp\" \"\"");
  EXPECT_EQ(screens[1], "\"tftp\" \"512\"");
  EXPECT_EQ(screens[2], "\"tftp\" \"1024\"");
  // 1% first after the third chunk, 99% after the last; never 100%.
  std::vector<std::string> expected = {"\"Erasing applications...\" \"DON'T TURN OFF THE POWER\"",
                                       "\"Writing applications...\" \"Update: 0%\""};
  for (int p = 1; p <= 99; ++p) {
    expected.push_back("\"Writing applications...\" \"Update: " + std::to_string(p) + "%\"");
  }
  expected.push_back("\"Verifying flash...\" \"\"");
  EXPECT_EQ(writing_screens(1000000, 123),
            std::vector<std::string>(expected.begin(), expected.end() - 1));
  EXPECT_EQ(after_download(), expected);
  EXPECT_EQ(screens[screens.size() - expected.size() - 1], "\"tftp\" \"1000016\"");

  bytes mtd5 = read_bytes(dir / "mtd5");
  EXPECT_TRUE(holds(mtd5, payload)) << "the payload from offset 0";
  EXPECT_EQ(std::count(mtd5.begin() + 1000000, mtd5.end(), 0xFF), (1 << 20) - 1000000)
      << "the rest erased";
  EXPECT_EQ(read_bytes(dir / "mtd4"), bytes(128u << 10, 0xFF)) << "mtd4 erased";
  int writes = 0;
  for (const std::string& flash : sim::transcript_texts("flash"))
    writes += flash.compare(0, 10, "write mtd5") == 0;
  EXPECT_EQ(writes, 124) << "the first chunk but its 16-byte head, 121 chunks of 8192 bytes, "
                            "one of 576, and last the head";
}

TEST_F(Update, OddLengthsAllZeroPayloadsAndTheSmallestFileAreAccepted) {
  // 5003 bytes: the last three are left out of the sum but written.
  std::string payload = random_payload(5003);
  std::string image = image_of(payload);
  put_word(image, 0, sum_of(payload, 5000));
  image[16 + 5002] ^= 0x55;  // outside the sum: does not matter to the check
  ASSERT_TRUE(update(image));
  bytes mtd5 = read_bytes(dir / "mtd5");
  EXPECT_TRUE(holds(mtd5, image.substr(16)));
  EXPECT_EQ(mtd5[5003], 0xFF);

  std::string zeros(4096, '\0');
  image = image_of(zeros);
  EXPECT_EQ(image.substr(0, 4), std::string(4, '\0')) << "the sum of zeros is 0";
  ASSERT_TRUE(update(image));
  mtd5 = read_bytes(dir / "mtd5");
  EXPECT_EQ(std::count(mtd5.begin(), mtd5.begin() + 4096, 0), 4096);

  // 1024 bytes in all, and bytes past the announced length are not written.
  image = image_of(random_payload(1008));
  put_word(image, 4, 1000);
  put_word(image, 0, sum_of(image.substr(16), 1000));
  ASSERT_EQ(image.size(), 1024u);
  ASSERT_TRUE(update(image));
  mtd5 = read_bytes(dir / "mtd5");
  EXPECT_TRUE(holds(mtd5, image.substr(16, 1000)));
  EXPECT_EQ(mtd5[1000], 0xFF);
}

TEST_F(Update, EveryCheckFailsBeforeTheFlashIsTouched) {
  std::string good = image_of(random_payload(20000));
  struct bad_image {
    const char* what;
    std::string file;
    std::vector<std::string> screens;
  };
  std::vector<bad_image> cases;
  cases.push_back({"empty file", "", failure("No File or Server")});
  cases.push_back({"1023 bytes", good.substr(0, 1023), failure("Wrong Size!")});
  std::string image = good;
  put_word(image, 8, 254);
  cases.push_back({"magic 254", image, failure("Wrong Image")});
  image = good;
  put_word(image, 4, 0);
  put_word(image, 0, 0);
  cases.push_back({"length 0", image, failure("Wrong Size!")});
  image = good;
  put_word(image, 4, 20001);
  cases.push_back({"length beyond the file", image, failure("Wrong Size!")});
  image = image_of(std::string((1u << 20) + 4, '\0'));
  cases.push_back({"larger than mtd5", image, failure("Wrong Size!")});
  image = good;
  image[100] ^= 1;
  cases.push_back({"checksum", image, failure("  CRC error - aborted.", "     Press any key")});
  // Once written it would read as an update cut short, and never start.
  cases.push_back({"an erased head", image_of(std::string(16, '\xFF') + random_payload(5000)),
                   failure("Wrong Image")});

  for (const bad_image& c : cases) {
    EXPECT_FALSE(update(c.file)) << c.what;
    EXPECT_EQ(after_download(), c.screens) << c.what;
    EXPECT_TRUE(flash_unchanged()) << c.what;
    EXPECT_EQ(sim::keypad::model()->pending(), 0) << c.what << ": the wait took the keys";
    answered = false;
  }

  ruk_test::tftp_peer_script refusing;
  refusing.faults = {{1, ruk_test::block_fault::error}};
  EXPECT_FALSE(update(good, refusing));
  EXPECT_EQ(after_download(), failure("No File or Server"));
  EXPECT_TRUE(flash_unchanged());
}

TEST_F(Update, AFlashDeviceThatDoesNotOpenOrAnswerIsAnErrorBeforeAnyErase) {
  std::string image = image_of(random_payload(20000));
  for (const char* fault : {"mtd4:open", "mtd5:open", "mtd4:info", "mtd5:info"}) {
    std::vector<sim::mtd::fault> faults;
    std::string error;
    ASSERT_TRUE(sim::mtd::parse_faults(fault, &faults, &error));
    sim::mtd::clear_faults();
    sim::mtd::inject(faults[0]);
    EXPECT_FALSE(update(image)) << fault;
    EXPECT_EQ(after_download(), failure("Flash Error!")) << fault;
    EXPECT_TRUE(flash_unchanged()) << fault;
    answered = false;
  }
}

TEST_F(Update, AFailedEraseOrWriteOrADifferenceOnReadingBackIsNeverASuccess) {
  std::string payload = random_payload(100000);
  payload[70000] = '\xFF';  // bits the old contents of a worn byte lack
  struct flash_fault {
    sim::mtd::fault fault;
    std::vector<std::string> screens;
  };
  const std::string erasing = "\"Erasing applications...\" \"DON'T TURN OFF THE POWER\"";
  auto then = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  // Not "Canceled ...": nothing can be called off once the erasing has begun.
  const flash_fault cases[] = {
      {{4, sim::mtd::fault_kind::erase, 0}, {erasing, broken}},
      {{5, sim::mtd::fault_kind::erase, 65536}, {erasing, broken}},
      {{5, sim::mtd::fault_kind::write, 40000},
       then(writing_screens(100000, 5), {broken})},  // the fifth chunk fails
      {{5, sim::mtd::fault_kind::worn, 70000},
       // 98% stays on the panel while the partition is closed, before the read-back.
       then(writing_screens(100000, 14), {"\"Verifying flash...\" \"\"", broken})},
  };
  for (const flash_fault& c : cases) {
    new_flash();
    sim::mtd::inject(c.fault);
    std::string what = "fault on mtd" + std::to_string(c.fault.partition) + " at " +
                       std::to_string(c.fault.offset);
    EXPECT_FALSE(update(image_of(payload))) << what;
    EXPECT_EQ(after_download(), c.screens) << what;
    EXPECT_TRUE(bFlashErased) << what << ": the phone has nothing to start";
    answered = false;
  }
  sim::mtd::clear_faults();
  EXPECT_TRUE(update(image_of(payload)));
  EXPECT_FALSE(bFlashErased) << "an image written and verified";
}

TEST_F(Update, MemoryForOneCopyOfTheImageIsEnoughAndTooLittleEndsBeforeAnyErase) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "skipped: the address sanitizer's allocator maps its own memory";
#endif
  const char* emulator = getenv("RUK_EMULATOR");
  if (emulator != nullptr && *emulator != 0) {
    GTEST_SKIP() << "skipped: under the emulator the limit would hold the emulator's memory too";
  }
  std::string payload = random_payload(1u << 20);
  std::string image = image_of(payload);
  EXPECT_EQ(update_in_memory(image, image.size() * 3 / 2), 0) << "room for one copy, not two";
  EXPECT_TRUE(holds(read_bytes(dir / "mtd5"), payload));

  new_flash();
  answered = false;
  EXPECT_EQ(update_in_memory(image, image.size() / 2), 1) << "an update that cannot hold the image";
  EXPECT_EQ(after_download(), failure("Out of memory!"));
  EXPECT_TRUE(flash_unchanged());
}

}  // namespace
