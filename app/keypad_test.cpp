// inca_get_key against the simulator's keypad.
#include "app/keypad.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stddef.h>
#include <unistd.h>

#include "sim/seam/fresh_phone.h"
#include "sim/seam/keypad_model.h"
#include "sim/models/keypad_script.h"

namespace {

class InCaGetKey : public testing::Test {
 protected:
  void SetUp() override {
    sim::fresh_phone();
    keypad = sim::keypad::model();
    kbd_fd = open("/dev/keypad", O_RDONLY);
    ASSERT_GE(kbd_fd, 0);
  }
  void TearDown() override {
    close(kbd_fd);
    kbd_fd = -1;
  }
  std::shared_ptr<sim::keypad> keypad;
};

TEST(KeyEvent, TheDriversLayout) {
  EXPECT_EQ(offsetof(key_event_t, code), 0u);
  EXPECT_EQ(offsetof(key_event_t, state), 4u);
  EXPECT_EQ(sizeof(key_event_t), 12u);
}

TEST(KeyMap, AgreesWithThePhonesKeypad) {
  EXPECT_EQ(sizeof key_map - 1, 34u);
  for (int code = 0; code < key_map_size; ++code) {
    EXPECT_EQ(key_map[code], sim::keypad_char(code)) << "code " << code;
  }
}

TEST_F(InCaGetKey, EveryCodeGivesItsCharacterAndTheState) {
  for (int code = 0; code < key_map_size; ++code) keypad->push(code, code % 2);
  for (int code = 0; code < key_map_size; ++code) {
    key_event_t event;
    char key = 0;
    ASSERT_EQ(inca_get_key(event, key), 1);
    EXPECT_EQ(key, key_map[code]);
    EXPECT_EQ(event.state, code % 2);
  }
}

TEST_F(InCaGetKey, OnlyTheLowSixBitsOfTheCodeCount) {
  keypad->push(64 + 128 + 7, 1);
  key_event_t event;
  char key = 0;
  ASSERT_EQ(inca_get_key(event, key), 1);
  EXPECT_EQ(key, '*');
}

TEST_F(InCaGetKey, CodesBeyondTheTableAndFailedReadsAreDropped) {
  keypad->push(34, 1);
  keypad->push(63, 1);
  keypad->push(64 + 40, 1);
  key_event_t event;
  char key = 'x';
  for (int i = 0; i < 3; ++i) EXPECT_EQ(inca_get_key(event, key), 0);
  EXPECT_EQ(key, 'x') << "the key stays as it was";
  EXPECT_EQ(keypad->pending(), 0) << "each event was read once";
  EXPECT_EQ(inca_get_key(event, key), 0) << "nothing pending";
  close(kbd_fd);
  kbd_fd = -1;
  EXPECT_EQ(inca_get_key(event, key), 0) << "no keypad";
  EXPECT_EQ(key, 'x');
}

}  // namespace
