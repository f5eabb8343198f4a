#include "sim/seam/power_cut.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/time.h>
#include <unistd.h>

#include "sim/seam/clock.h"
#include "sim/seam/fd_table.h"
#include "sim/seam/settings.h"
#include "sim/seam/transcript.h"

namespace sim {
namespace {

power_cut_moment armed;
int64_t lines_seen = 0;

void cut() {
  kill(getpid(), SIGKILL);
  for (;;) pause();
}

void cut_from_timer(int) {
  kill(getpid(), SIGKILL);
}

// On the real clock a timer's signal cuts; its handler does nothing else,
// as nothing else is safe there.
void cut_at_elapsed(int64_t t) {
  if (clock::is_virtual()) {
    clock::alarm_at_elapsed_us(t, cut);
    return;
  }
  int64_t wait = t - clock::elapsed_us();
  if (wait <= 0) cut();
  struct sigaction action = {};
  action.sa_handler = cut_from_timer;
  sigaction(SIGALRM, &action, nullptr);
  itimerval timer = {};
  timer.it_value.tv_sec = static_cast<time_t>(wait / 1000000);
  timer.it_value.tv_usec = static_cast<suseconds_t>(wait % 1000000);
  setitimer(ITIMER_REAL, &timer, nullptr);
}

void count_line(const std::string& kind, const std::string&) {
  if (armed.kind != "line" && kind != armed.kind) return;
  if (++lines_seen != armed.after_line) return;
  transcript_observe(nullptr);
  if (armed.us == 0) cut();
  cut_at_elapsed(clock::elapsed_us() + armed.us);
}

bool whole_number(const std::string& text, int64_t* n) {
  if (text.empty() || text.size() > 18) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  *n = strtoll(text.c_str(), nullptr, 10);
  return true;
}

void set_up_from_settings() {
  if (!settings::given(setting::power_cut)) return;
  const std::string& v = settings::value(setting::power_cut);
  power_cut_moment moment;
  if (!parse_power_cut(v, &moment)) {
    settings::refuse(setting::power_cut, "\"" + v +
                                             "\" is neither microseconds (such as 2500000) nor "
                                             "KIND:N+MICROSECONDS (such as flash:12+1500)");
  }
  arm_power_cut(moment);
}

setup_registration from_settings(set_up_from_settings);

}  // namespace

bool parse_power_cut(const std::string& text, power_cut_moment* moment) {
  power_cut_moment m;
  size_t colon = text.find(':');
  if (colon == std::string::npos) {
    if (!whole_number(text, &m.us)) return false;
    *moment = m;
    return true;
  }
  m.kind = text.substr(0, colon);
  if (m.kind.empty()) return false;
  for (char c : m.kind) {
    if (c < 'a' || c > 'z') return false;
  }
  std::string rest = text.substr(colon + 1);
  size_t plus = rest.find('+');
  if (!whole_number(rest.substr(0, plus), &m.after_line) || m.after_line == 0) return false;
  if (plus != std::string::npos && !whole_number(rest.substr(plus + 1), &m.us)) return false;
  *moment = m;
  return true;
}

void arm_power_cut(const power_cut_moment& moment) {
  armed = moment;
  lines_seen = 0;
  if (!moment.kind.empty()) {
    transcript_observe(count_line);
    return;
  }
  cut_at_elapsed(clock::elapsed_us() + moment.us);
}

void disarm_power_cut() {
  armed = power_cut_moment();
  transcript_observe(nullptr);
  clock::alarm_at_elapsed_us(0, nullptr);
  itimerval off = {};
  setitimer(ITIMER_REAL, &off, nullptr);
}

}  // namespace sim
