// The keypad model: scripts, the event record, select's view, one-byte reads.
#include "sim/seam/keypad_model.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "sim/seam/clock.h"
#include "sim/seam/fresh_phone.h"
#include "sim/seam/transcript.h"

namespace {

constexpr unsigned long read_event = 0x400C4701UL;

std::string events_text(const std::vector<sim::key_event>& events) {
  std::string text;
  for (const sim::key_event& e : events) {
    if (!text.empty()) text += ' ';
    text += std::to_string(e.at_ms) + ":" +
            (e.fails ? "!" : std::to_string(e.code) + "/" + std::to_string(e.state));
  }
  return text;
}

std::string parse_error(const std::string& script) {
  std::vector<sim::key_event> events;
  std::string error;
  EXPECT_FALSE(sim::parse_key_script(script, &events, &error)) << script;
  EXPECT_TRUE(events.empty());
  return error;
}

TEST(KeyScript, TapsStatesCodesAndTimes) {
  std::vector<sim::key_event> events;
  std::string error;
  ASSERT_TRUE(sim::parse_key_script("@1000 g +400 1 #84/1  . #/0 !", &events, &error)) << error;
  EXPECT_EQ(
      events_text(events),
      "1000:20/1 1050:20/0 1500:22/1 1550:22/0 1600:84/1 1700:25/1 1750:25/0 1800:0/0 1900:!");
}

TEST(KeyScript, AtMayGoBackAndEventsComeOutInTimeOrder) {
  std::vector<sim::key_event> events;
  std::string error;
  ASSERT_TRUE(sim::parse_key_script("@500 5/1 @200 6/1 @500 7/0", &events, &error)) << error;
  EXPECT_EQ(events_text(events), "200:10/1 500:16/1 500:14/0");
}

TEST(KeyScript, AFaultyWordIsNamedWithItsPlace) {
  EXPECT_EQ(
      parse_error("@100 g x"),
      "word 3 \"x\": not a key (the keys are #psvduh*0963jc7852ibg41ga.ket.mo.r, #CODE and !)");
  EXPECT_EQ(parse_error("@1.5 g"), "word 1 \"@1.5\": \"@\" needs a whole number of milliseconds");
  EXPECT_EQ(parse_error("+ g"), "word 1 \"+\": \"+\" needs a whole number of milliseconds");
  EXPECT_EQ(parse_error("#256"), "word 1 \"#256\": a key code is 0 to 255");
  EXPECT_EQ(parse_error("g/-1"), "word 1 \"g/-1\": a state after \"/\" is a whole number");
  EXPECT_EQ(
      parse_error("gh"),
      "word 1 \"gh\": not a key (the keys are #psvduh*0963jc7852ibg41ga.ket.mo.r, #CODE and !)");
}

class Keypad : public testing::Test {
 protected:
  void SetUp() override {
    sim::fresh_phone();
    sim::clock::use_virtual(true);
    model = sim::keypad::model();
    fd = open("/dev/keypad", O_RDONLY);
    ASSERT_GE(fd, 0);
  }
  void TearDown() override {
    close(fd);
    model->clear();
    sim::clock::use_virtual(false);
  }
  int64_t now_ms() { return sim::clock::elapsed_us() / 1000; }
  void at(int64_t ms, int code, int32_t state) {
    sim::key_event e;
    e.at_ms = now_ms() + ms;
    e.code = code;
    e.state = state;
    model->schedule(e);
  }
  // select on the keypad alone: which sets it is marked in, -1 on time-out.
  int wait(bool read_set, int limit_ms) {
    fd_set r, e;
    FD_ZERO(&r);
    FD_ZERO(&e);
    FD_SET(fd, read_set ? &r : &e);
    timeval limit = {limit_ms / 1000, (limit_ms % 1000) * 1000};
    int n = select(fd + 1, &r, nullptr, &e, &limit);
    if (n <= 0) return -1;
    return FD_ISSET(fd, &r) ? 1 : FD_ISSET(fd, &e) ? 2 : 0;
  }
  std::shared_ptr<sim::keypad> model;
  int fd = -1;
};

TEST_F(Keypad, APendingEventMarksTheExceptionSetWhenItIsDue) {
  at(300, 20, 1);
  int64_t start = now_ms();
  EXPECT_EQ(wait(false, 200), -1) << "not due yet";
  EXPECT_EQ(wait(false, 1000), 2);
  EXPECT_EQ(now_ms() - start, 300) << "select woke exactly when the key came";
  unsigned char record[12];
  ASSERT_EQ(ioctl(fd, read_event, record), 0);
  EXPECT_EQ(wait(false, 100), -1) << "taken: nothing pending";
}

TEST_F(Keypad, TheRecordHoldsTheCodeAndTheStateInThisMachinesByteOrder) {
  model->push(84, 1);
  model->push(6, 0x01020304);
  unsigned char record[12];
  memset(record, 0, sizeof record);
  ASSERT_EQ(ioctl(fd, read_event, record), 0);
  EXPECT_EQ(record[0], 84) << "the whole code byte, unmasked";
  int32_t state;
  memcpy(&state, record + 4, 4);
  EXPECT_EQ(state, 1);
  ASSERT_EQ(ioctl(fd, read_event, record), 0);
  memcpy(&state, record + 4, 4);
  EXPECT_EQ(state, 0x01020304);
  uint16_t probe = 1;
  bool little = *reinterpret_cast<unsigned char*>(&probe) == 1;
  EXPECT_EQ(record[4], little ? 0x04 : 0x01);
  EXPECT_EQ(record[1], 0xEE) << "unused bytes are not zero, so nobody relies on them";
  EXPECT_EQ(record[11], 0xEE);
}

TEST_F(Keypad, NothingDueFailsWithoutBlockingAndOtherRequestsAreRefused) {
  unsigned char record[12];
  errno = 0;
  EXPECT_EQ(ioctl(fd, read_event, record), -1);
  EXPECT_EQ(errno, EAGAIN);
  model->push(1, 1);
  EXPECT_EQ(ioctl(fd, 0x800C4701UL, record), -1) << "the request with another direction encoding";
  EXPECT_EQ(errno, ENOTTY);
  char c;
  EXPECT_EQ(read(fd, &c, 1), 1);
}

TEST_F(Keypad, AOneByteReadTakesTheNextPressAsItsKeyCharacter) {
  model->push(20, 0);  // a release first: not readable by itself
  EXPECT_EQ(wait(true, 50), -1);
  EXPECT_EQ(wait(false, 50), 2);
  at(100, 23, 1);
  EXPECT_EQ(wait(true, 500), 1);
  char c = 0;
  EXPECT_EQ(read(fd, &c, 1), 1);
  EXPECT_EQ(c, 'g');
  EXPECT_EQ(model->pending(), 0) << "the release before the press went with it";
  EXPECT_EQ(read(fd, &c, 1), -1);
  EXPECT_EQ(errno, EAGAIN);
}

TEST_F(Keypad, ATakenEventIsAKeyLineAndAFailingOneFailsTheRequest) {
  sim::key_event failing;
  failing.at_ms = now_ms();
  failing.fails = true;
  model->schedule(failing);
  model->push(6, 1);
  model->push(40, 0);
  model->push(13, 7);
  unsigned char record[12];
  EXPECT_EQ(ioctl(fd, read_event, record), -1);
  EXPECT_EQ(errno, EIO);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ioctl(fd, read_event, record), 0);
  EXPECT_EQ(sim::transcript_texts("key"),
            (std::vector<std::string>{"read failed", "press h 6", "release ? 40", "state 7 c 13"}));
}

TEST_F(Keypad, KeysTypedIntoAFeedAreTapsAndWakeSelect) {
  int feed[2];
  ASSERT_EQ(pipe(feed), 0);
  model->feed_from(feed[0]);
  EXPECT_EQ(model->input_fd(), feed[0]);
  ASSERT_EQ(write(feed[1], "1x*", 3), 3);
  EXPECT_EQ(wait(false, 1000), 2);
  unsigned char record[12];
  std::vector<int> taken;
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(wait(false, 1000), 2);
    ASSERT_EQ(ioctl(fd, read_event, record), 0);
    int32_t state;
    memcpy(&state, record + 4, 4);
    taken.push_back(record[0] * 10 + state);
  }
  EXPECT_EQ(taken, (std::vector<int>{221, 71, 220, 70})) << "1 and * pressed, 'x' skipped";

  // select waits for the feed without a limit, and wakes when a key comes.
  std::thread typist([&] {
    timespec pause = {0, 20000000};
    nanosleep(&pause, nullptr);
    EXPECT_EQ(write(feed[1], "5", 1), 1);
  });
  fd_set e;
  FD_ZERO(&e);
  FD_SET(fd, &e);
  EXPECT_EQ(select(fd + 1, nullptr, nullptr, &e, nullptr), 1);
  typist.join();
  ASSERT_EQ(ioctl(fd, read_event, record), 0);
  EXPECT_EQ(record[0], 16);

  close(feed[1]);
  EXPECT_EQ(wait(false, 1000), 2) << "the release of 5";
  EXPECT_EQ(model->input_fd(), -1) << "the feed ended with its writer";
}

TEST_F(Keypad, AMissingDeviceDoesNotOpen) {
  sim::keypad::attach_missing("/dev/keypad");
  errno = 0;
  EXPECT_EQ(open("/dev/keypad", O_RDONLY), -1);
  EXPECT_EQ(errno, ENOENT);
  sim::keypad::attach("/dev/kbd");
  int other = open("/dev/kbd", O_RDONLY);
  EXPECT_GE(other, 0) << "served at another path";
  close(other);
  sim::keypad::attach("/dev/keypad");
}

}  // namespace
