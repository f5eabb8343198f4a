// The keypad model: the phone's keypad device as the program sees it.
//
// A queue of key events, each due at a time on the run's clock. Due events
// mark the descriptor in select's exception set; the read-event request
// (0x400C4701) takes the first of them and fills the 12-byte record, the
// state in this machine's byte order as the driver writes it; while a press
// is due the descriptor is also readable, and a one-byte read takes it as its
// key character (a transfer's abort key). Neither the request nor the read
// blocks: with nothing due they fail with EAGAIN. Every event the program
// takes is written to the transcript as a "key" line: "press g 20",
// "release g 20", "state 7 g 20" ("?" for a code beyond the keys), or
// "read failed".
//
// Keys can also be typed live, by a front end such as ruk-sim: each byte
// read from a feed descriptor is a key character, tapped when it arrives (a
// press now, its release key_hold_ms later); bytes that are no key are
// skipped. select wakes for the feed as for a scripted key.
//
// Set-up from the environment: RUK_SIM_KEYS holds a key script
// (sim/models/keypad_script.h); RUK_SIM_KEYS_FD=N feeds typed keys from the open
// descriptor N; RUK_SIM_KEYPAD=missing makes the device missing (open fails
// with ENOENT), RUK_SIM_KEYPAD=/some/path serves it at that path instead of
// /dev/keypad.
#pragma once

#include <stdint.h>

#include <deque>
#include <memory>
#include <string>

#include "sim/seam/file.h"
#include "sim/models/keypad_script.h"

namespace sim {

class keypad : public file {
 public:
  // The phone's one keypad.
  static std::shared_ptr<keypad> model();

  // Serves the keypad at path; any other path it was served at is released.
  static void attach(const std::string& path);
  // Makes the device missing at path: opening it fails with ENOENT.
  static void attach_missing(const std::string& path);
  static void detach();

  // Queues an event (its time on the run's clock); equal times in the order
  // of queueing.
  void schedule(const key_event& e);
  // Queues an event that is due now.
  void push(int code, int32_t state);
  // Takes typed keys from fd from now on (the model owns it, and closes it
  // at its end); -1 for no feed.
  void feed_from(int fd);

  // Events not yet taken, due or not.
  int pending() const { return static_cast<int>(queue_.size()); }
  void clear() { queue_.clear(); }

  int ioctl(unsigned long request, void* arg) override;
  ssize_t read(void* buffer, size_t n) override;
  bool readable() override;
  bool exceptional() override;
  int64_t wake_at_us() override;
  int input_fd() override { return feed_fd_; }

 private:
  bool due(const key_event& e) const;
  static void log_taken(const key_event& e);
  // Queues what the feed holds now.
  void take_feed();

  std::deque<key_event> queue_;
  int feed_fd_ = -1;
};

}  // namespace sim
