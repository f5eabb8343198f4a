#include "lib/timeout.h"

#include <stdint.h>
#include <sys/select.h>

#include "lib/init_order.h"

list_timeoutp timeout::timeouts RUK_INIT(RUK_INIT_TIMERS);

namespace {
// Milliseconds from now to t, truncating toward zero. In 64 bits: a timer
// armed for the longest delay is INT32_MAX ms away, and the seconds part
// alone, before the microseconds are taken off, can exceed that.
long long ms_until(const ctimestamp& t) {
  ctimestamp now = ctimestamp::now();
  return (static_cast<long long>(t.seconds) - now.seconds) * 1000 +
         (t.microseconds - now.microseconds) / 1000;
}

int clamped_to_int(long long value) {
  return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : static_cast<int>(value);
}
}  // namespace

timeout::timeout(const timeout& source)
    : function(source.function),
      arg1(source.arg1),
      arg2(source.arg2),
      expires(source.expires),
      position() {
  if (function != nullptr) add_to_list();
}

timeout& timeout::operator=(const timeout& source) {
  if (this == &source) return *this;
  if (function != nullptr) remove_from_list();
  function = source.function;
  arg1 = source.arg1;
  arg2 = source.arg2;
  expires = source.expires;
  if (function != nullptr) add_to_list();
  return *this;
}

timeout::~timeout() {
  if (function != nullptr) {
    remove_from_list();
    function = nullptr;
  }
}

void timeout::callback(int ms, function_t f, void* a1, void* a2) {
  if (function != nullptr) remove_from_list();
  function = f;
  arg1 = a1;
  arg2 = a2;
  // A delay below 0 is due at once, like 0; taken as it stands it would
  // leave the microseconds below 0 and out of step with the list's order.
  if (ms < 0) ms = 0;
  ctimestamp now = ctimestamp::now();
  expires.seconds = now.seconds + ms / 1000;
  expires.microseconds = now.microseconds + (ms % 1000) * 1000;
  while (expires.microseconds > 999999) {
    expires.microseconds -= 1000000;
    ++expires.seconds;
  }
  add_to_list();
}

void timeout::clear() {
  if (function != nullptr) remove_from_list();
  function = nullptr;
}

void timeout::run() {
  function_t f = function;
  remove_from_list();
  void* a1 = arg1;
  void* a2 = arg2;
  function = nullptr;
  f(a1, a2);
}

int timeout::remaining_ms() const {
  return clamped_to_int(ms_until(expires));
}

int timeout::remaining_seconds() const {
  return clamped_to_int((ms_until(expires) + 500) / 1000);
}

void timeout::next() {
  if (timeouts.empty()) return;
  timeouts.front()->run();
}

timeval timeout::delay() {
  long long ms = ms_until(timeouts.front()->expires);
  if (ms < 0) ms = 0;
  timeval tv;
  tv.tv_sec = static_cast<time_t>(ms / 1000);
  tv.tv_usec = static_cast<suseconds_t>(ms % 1000 * 1000);
  return tv;
}

void timeout::add_to_list() {
  for (list_timeoutp::iterator i = timeouts.begin(); i != timeouts.end(); i++) {
    if ((*i)->expires > expires) {
      position = timeouts.insert(i, this);
      return;
    }
  }
  position = timeouts.push_back(this);
}

void timeout::remove_from_list() {
  if (position == timeouts.end()) return;
  timeouts.erase(position);
  position = list_timeoutp::iterator();
}

void select_backoff(int failures) {
  long ms = 10;
  for (int i = 1; i < failures && ms < 1000; ++i) ms *= 2;
  if (ms > 1000) ms = 1000;
  timeval pause = {ms / 1000, ms % 1000 * 1000};
  select(0, nullptr, nullptr, nullptr, &pause);
}
