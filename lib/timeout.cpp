#include "lib/timeout.h"

#include "lib/init_order.h"

list_timeoutp timeout::timeouts RUK_INIT(RUK_INIT_TIMERS);

namespace {
// Signed 32-bit milliseconds from now to t, truncating toward zero.
int ms_until(const ctimestamp& t) {
  ctimestamp now = ctimestamp::now();
  return (t.seconds - now.seconds) * 1000 + (t.microseconds - now.microseconds) / 1000;
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

int timeout::remaining_ms() const { return ms_until(expires); }

int timeout::remaining_seconds() const { return (remaining_ms() + 500) / 1000; }

void timeout::next() {
  if (timeouts.empty()) return;
  timeouts.front()->run();
}

timeval timeout::delay() {
  int ms = ms_until(timeouts.front()->expires);
  if (ms < 0) ms = 0;
  timeval tv;
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
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
