#include "sim/seam/keypad_model.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

#include "sim/models/transcript_format.h"
#include "sim/seam/clock.h"
#include "sim/models/phone_wire.h"
#include "sim/seam/fd_table.h"
#include "sim/seam/settings.h"
#include "sim/seam/transcript.h"
#include "sim/seam/real.h"

namespace sim {

namespace kind = transcript_format::kind;

namespace {

constexpr unsigned long read_event_request = PHONE_KEYPAD_READ_EVENT;
constexpr int record_size = PHONE_KEYPAD_RECORD_SIZE;
// Written into the record's unused bytes, so that a reader that strays into
// them sees nonsense rather than a harmless zero.
constexpr unsigned char unused_fill = 0xEE;

std::string served_path;

int64_t run_ms() {
  return clock::elapsed_us() / 1000;
}

}  // namespace

std::shared_ptr<keypad> keypad::model() {
  static std::shared_ptr<keypad> instance = std::make_shared<keypad>();
  return instance;
}

void keypad::attach(const std::string& path) {
  detach();
  served_path = path;
  attach_path(path, [](int) -> std::shared_ptr<file> { return model(); });
}

void keypad::attach_missing(const std::string& path) {
  detach();
  served_path = path;
  attach_path(path, [](int) -> std::shared_ptr<file> {
    errno = ENOENT;
    return nullptr;
  });
}

void keypad::detach() {
  if (!served_path.empty()) detach_path(served_path);
  served_path.clear();
}

void keypad::schedule(const key_event& e) {
  auto later =
      std::upper_bound(queue_.begin(), queue_.end(), e,
                       [](const key_event& a, const key_event& b) { return a.at_ms < b.at_ms; });
  queue_.insert(later, e);
}

void keypad::push(int code, int32_t state) {
  key_event e;
  e.at_ms = run_ms();
  e.code = code;
  e.state = state;
  schedule(e);
}

void keypad::feed_from(int fd) {
  if (feed_fd_ >= 0 && feed_fd_ != fd) __real_close(feed_fd_);
  feed_fd_ = fd;
  if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void keypad::take_feed() {
  while (feed_fd_ >= 0) {
    char typed[64];
    ssize_t n = __real_read(feed_fd_, typed, sizeof typed);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    if (n <= 0) {
      __real_close(feed_fd_);
      feed_fd_ = -1;
      return;
    }
    for (ssize_t i = 0; i < n; ++i) {
      int code = keypad_code(typed[i]);
      if (code < 0) continue;
      push(code, 1);
      key_event release;
      release.at_ms = run_ms() + key_hold_ms;
      release.code = code;
      release.state = 0;
      schedule(release);
    }
  }
}

bool keypad::due(const key_event& e) const {
  return e.at_ms * 1000 <= clock::elapsed_us();
}

void keypad::log_taken(const key_event& e) {
  transcript(kind::key, key_event_text(e));
}

int keypad::ioctl(unsigned long request, void* arg) {
  take_feed();
  if (request != read_event_request) return fail(ENOTTY);
  if (queue_.empty() || !due(queue_.front())) return fail(EAGAIN);
  key_event e = queue_.front();
  queue_.pop_front();
  log_taken(e);
  if (e.fails) return fail(EIO);
  unsigned char record[record_size];
  memset(record, unused_fill, sizeof record);
  record[0] = static_cast<unsigned char>(e.code);
  memcpy(record + 4, &e.state, sizeof e.state);  // the machine's byte order, as the driver's
  memcpy(arg, record, sizeof record);
  return 0;
}

ssize_t keypad::read(void* buffer, size_t n) {
  take_feed();
  if (n == 0) return 0;
  // A read takes the next press; releases before it go with it.
  auto press = std::find_if(queue_.begin(), queue_.end(), [this](const key_event& e) {
    return due(e) && !e.fails && e.state == 1;
  });
  if (press == queue_.end()) return fail(EAGAIN);
  key_event e = *press;
  queue_.erase(queue_.begin(), press + 1);
  log_taken(e);
  static_cast<char*>(buffer)[0] = keypad_char(e.code);
  return 1;
}

bool keypad::readable() {
  take_feed();
  return std::any_of(queue_.begin(), queue_.end(),
                     [this](const key_event& e) { return due(e) && !e.fails && e.state == 1; });
}

bool keypad::exceptional() {
  take_feed();
  return !queue_.empty() && due(queue_.front());
}

int64_t keypad::wake_at_us() {
  take_feed();
  for (const key_event& e : queue_) {
    if (!due(e)) return clock::now_us() + (e.at_ms * 1000 - clock::elapsed_us());
  }
  return -1;
}

namespace {

void set_up_from_settings() {
  const std::string& path = settings::value(setting::keypad);
  if (path == "missing") {
    keypad::attach_missing(row_of(setting::keypad).fallback);
  } else if (path[0] == '/') {
    keypad::attach(path);
  } else {
    settings::refuse(setting::keypad,
                     "\"" + path + "\" is neither \"missing\" nor an absolute path");
  }
  if (settings::given(setting::keys_fd)) {
    int fd = static_cast<int>(settings::number(setting::keys_fd));
    if (fcntl(fd, F_GETFD) < 0) {
      settings::refuse(setting::keys_fd, "\"" + std::to_string(fd) + "\" is not an open descriptor");
    }
    keypad::model()->feed_from(fd);
  }
  if (!settings::given(setting::keys)) return;
  std::vector<key_event> events;
  std::string error;
  if (!parse_key_script(settings::value(setting::keys), &events, &error)) {
    settings::refuse(setting::keys, error);
  }
  for (const key_event& e : events) keypad::model()->schedule(e);
}

setup_registration from_settings(set_up_from_settings);

}  // namespace
}  // namespace sim
