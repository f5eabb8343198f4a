// The wait behind every error screen, on the virtual clock: which key events
// end it, and that it ends after five minutes whatever the keypad does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/keypad.h"
#include "lib/ctimestamp.h"
#include "sim/seam/clock.h"
#include "sim/seam/fresh_phone.h"
#include "sim/seam/keypad_model.h"

namespace {

class WaitForKey : public testing::Test {
 protected:
  void SetUp() override {
    sim::fresh_phone();
    sim::clock::use_virtual(true);
    ctimestamp::now();  // the program's first reading sets the clock; not in the middle of a test
    kbd_fd = open("/dev/keypad", O_RDONLY);
    ASSERT_GE(kbd_fd, 0);
    start_us = sim::clock::now_us();
    start_run_ms = sim::clock::elapsed_us() / 1000;
  }
  void TearDown() override {
    close(kbd_fd);
    kbd_fd = -1;
    sim::keypad::model()->clear();
    sim::clock::use_virtual(false);
  }
  // An event of key ch, ms after the start of the test.
  void key(int64_t ms, char ch, int32_t state = 1) {
    sim::key_event e;
    e.at_ms = start_run_ms + ms;
    e.code = sim::keypad_code(ch);
    e.state = state;
    sim::keypad::model()->schedule(e);
  }
  void failing_read(int64_t ms) {
    sim::key_event e;
    e.at_ms = start_run_ms + ms;
    e.fails = true;
    sim::keypad::model()->schedule(e);
  }
  // Milliseconds that wait_for_key took.
  int64_t waited_ms() {
    wait_for_key();
    return (sim::clock::now_us() - start_us) / 1000;
  }
  int64_t start_us = 0;
  int64_t start_run_ms = 0;
};

TEST_F(WaitForKey, TheFirstKeyDoesNotCountADifferentOneDoesAndTheEventAfterItEndsTheWait) {
  key(1000, '5');
  key(1050, '5', 0);
  key(2000, '5');
  key(2050, '5', 0);
  key(3000, '7');
  key(3050, '7', 0);
  key(9000, '9');
  EXPECT_EQ(waited_ms(), 3050);
  EXPECT_EQ(sim::keypad::model()->pending(), 1) << "the 9 is left for later";
}

TEST_F(WaitForKey, AFailedReadIsAnEventWithoutAKey) {
  failing_read(1000);
  failing_read(2000);
  key(3000, '4');
  failing_read(4000);  // the event after the different key: a failed read does not end it
  key(5000, '4', 0);
  EXPECT_EQ(waited_ms(), 5000);

  sim::keypad::model()->clear();
  start_us = sim::clock::now_us();
  start_run_ms = sim::clock::elapsed_us() / 1000;
  key(1000, '8');
  failing_read(2000);  // no key is not a different key
  key(3000, '8');
  key(4000, '2');
  key(4100, '2', 0);
  EXPECT_EQ(waited_ms(), 4100);
}

TEST_F(WaitForKey, TheWholeWaitEndsAfterFiveMinutesWhateverTheKeypadDoes) {
  EXPECT_EQ(waited_ms(), 300000) << "no key at all";

  start_us = sim::clock::now_us();
  start_run_ms = sim::clock::elapsed_us() / 1000;
  for (int i = 1; i <= 60; ++i) key(i * 9000, '5');  // the same key over and over
  EXPECT_EQ(waited_ms(), 300000);
  EXPECT_GT(sim::keypad::model()->pending(), 0);

  sim::keypad::model()->clear();
  start_us = sim::clock::now_us();
  start_run_ms = sim::clock::elapsed_us() / 1000;
  key(200000, '1');
  key(299000, '2');  // the different key comes in time, the event after it does not
  key(301000, '2', 0);
  EXPECT_EQ(waited_ms(), 300000);
}

TEST_F(WaitForKey, WithoutAKeypadTheWaitRunsOutAfterFiveMinutes) {
  close(kbd_fd);
  kbd_fd = -1;
  EXPECT_EQ(waited_ms(), 300000);
}

TEST_F(WaitForKey, KeysTappedUntilTheScreenCameAreDroppedUntil200msPassWithoutOne) {
  // Quit taps every 50 ms during an erase, going on 40 ms into the wait.
  for (int ms = -1960; ms <= 40; ms += 50) key(ms < 0 ? 0 : ms, 'g');
  key(1000, '6');
  wait_for_press();
  EXPECT_EQ((sim::clock::now_us() - start_us) / 1000, 1000) << "the first press after the quiet";

  sim::keypad::model()->clear();
  start_us = sim::clock::now_us();
  start_run_ms = sim::clock::elapsed_us() / 1000;
  for (int ms = 0; ms <= 150; ms += 50) key(ms, '5');
  key(1000, '1');
  key(2000, '2');
  key(2050, '2', 0);
  EXPECT_EQ(waited_ms(), 2050) << "the stale 5s are not the first key of the wait";

  // A keypad that never stops holds the screen 2 s at most.
  sim::keypad::model()->clear();
  start_us = sim::clock::now_us();
  start_run_ms = sim::clock::elapsed_us() / 1000;
  for (int ms = 0; ms <= 10000; ms += 100) key(ms, '7');
  wait_for_press();
  EXPECT_EQ((sim::clock::now_us() - start_us) / 1000, 2000);
}

TEST_F(WaitForKey, APressEndsTheWaitForOneKeyButNotAKeyPendingBeforeItNorARelease) {
  key(0, '5');  // pressed while the screen was not there yet
  sim::clock::advance_us(1000);
  key(1000, '5', 0);
  key(2000, '1', 0);  // a release alone
  failing_read(3000);
  key(4000, '6');
  key(4050, '6', 0);
  wait_for_press();
  EXPECT_EQ((sim::clock::now_us() - start_us) / 1000, 4000);
  EXPECT_EQ(sim::keypad::model()->pending(), 1) << "the release of 6 is left";

  sim::keypad::model()->clear();
  start_us = sim::clock::now_us();
  wait_for_press();
  EXPECT_EQ((sim::clock::now_us() - start_us) / 1000, 300000) << "no key at all";
}

}  // namespace
