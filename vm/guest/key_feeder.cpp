#include "vm/guest/key_feeder.h"

namespace vm {

bool key_feeder::load(const std::string& script, std::string* error) {
  events_.clear();
  next_ = 0;
  return sim::parse_key_script(script, &events_, error);
}

int64_t key_feeder::next_ms() const {
  return next_ < events_.size() ? events_[next_].at_ms : -1;
}

keypad_feed_event key_feeder::next_event() const {
  const sim::key_event& e = events_[next_];
  keypad_feed_event out = {};
  out.code = static_cast<__u8>(e.code);
  out.character = static_cast<__u8>(sim::keypad_char(e.code));
  out.fails = e.fails ? 1 : 0;
  out.state = e.state;
  return out;
}

std::string taken_text(const keypad_feed_event& e) {
  sim::key_event taken;
  taken.code = e.code;
  taken.state = e.state;
  taken.fails = e.fails != 0;
  return sim::key_event_text(taken);
}

}  // namespace vm
