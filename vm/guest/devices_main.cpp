// ruk-devices: the userspace half of the emulated phone's keypad and panel,
// started by the guest's init before the program.
//
//   ruk-devices --transcript PATH --ready-fd N --control-fd N --listener-fd N
//               [--keys SCRIPT] [--dots PATH]
//
// It attaches to the other ends of the two device modules, writes one byte to
// the ready descriptor (the run's clock starts then, and init starts the
// program), and from then on
//   - hands the key script's events to the keypad driver as their times come,
//     and writes a "key" line for each event the program takes;
//   - runs the LCD models on the port driver's requests and answers its read
//     requests;
//   - takes, from the socket of --listener-fd, the listener of the seccomp
//     filter under which init starts the program: the program stops at each
//     of its system calls but the port requests and clock readings until this
//     process has let it go on. The display has settled then (the
//     simulator's rule, sim/seam/settle.h): a "screen" line for a screen that
//     differs from the last (and, with --dots, its pixels to PATH, for a live
//     view);
//   - writes a "flash" line for each request of the program to an MTD
//     partition, as the simulator's flash model words it
//     (vm/guest/flash_requests.h), when the program makes it and before it
//     goes on: each line has left the serial port before the kernel starts
//     on the request, so a run cut short (the power cut drill) shows every
//     request that may have reached the flash, the last one perhaps
//     unfinished;
// until init writes "exit STATUS" (or closes) on the control descriptor: it
// then takes what is still queued, writes "port" (the requests and the bus
// protocol violations counted) and "end" lines, waits until the transcript
// has left, and ends. A program that restarts the machine ends the run
// instead: before its reboot call goes on, "port" and "restart" (the
// command, as the simulator writes it) lines.
//
// A run in which the program broke the panel's bus protocol ends as it does
// in the simulator: a "fault" line that names what it broke (and the same
// text on standard error) in place of the "end" or "restart" line, and
// ruk-devices ends with status 97 (init reports it on the console); a
// restart still goes on.
//
// Transcript lines are the simulator's: "<ms>\t<kind>\t<text>", ms counted
// from the start of the run.
#include <errno.h>
#include <fcntl.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "sim/models/lcd_panel.h"
#include "sim/models/lcd_render.h"
#include "sim/models/transcript_format.h"
#include "vm/guest/flash_requests.h"
#include "vm/guest/key_feeder.h"
#include "vm/guest/request_timing.h"

namespace {

constexpr int64_t ns_per_ms = 1000 * 1000;
// How long a key waits when the keypad driver's queue is full.
constexpr int64_t feed_retry_wait_ns = 20 * ns_per_ms;

int64_t now_ns() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

bool write_all(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void fail(const std::string& what) {
  fprintf(stderr, "ruk-devices: %s\n", what.c_str());
  exit(1);
}

// Hands each record a device's other end holds now to each, in batches of
// up to count.
template <typename record, size_t count, typename handler>
void read_records(int fd, const char* path, handler each) {
  record batch[count];
  for (;;) {
    ssize_t n = read(fd, batch, sizeof batch);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    if (n < 0) fail(std::string(path) + ": " + strerror(errno));
    for (size_t i = 0; i < static_cast<size_t>(n) / sizeof(record); ++i) each(batch[i]);
  }
}

class devices {
 public:
  devices(int transcript, int dots) : transcript_(transcript), dots_(dots) {}

  void attach() {
    lines_ = open("/dev/inca-port-lines", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (lines_ < 0) fail(std::string("/dev/inca-port-lines: ") + strerror(errno));
    feed_ = open("/dev/keypad-feed", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (feed_ < 0) fail(std::string("/dev/keypad-feed: ") + strerror(errno));
    epoch_ns_ = now_ns();
  }

  vm::key_feeder& keys() { return keys_; }

  // Serves both devices until init's word on the control descriptor.
  // Returns the exit status of ruk-devices: 0, or device_fault when the
  // program broke the panel's bus protocol.
  int run(int control, int listener_socket) {
    std::string word;
    for (;;) {
      pollfd fds[4] = {{lines_, POLLIN, 0},
                       {feed_, POLLIN, 0},
                       {control, POLLIN, 0},
                       {listener_ >= 0 ? listener_ : listener_socket, POLLIN, 0}};
      int n = poll(fds, 4, wait_ms());
      if (n < 0 && errno != EINTR) fail(std::string("poll: ") + strerror(errno));
      take_requests();
      take_keys_taken();
      hand_over_keys();
      if (n > 0 && fds[3].revents != 0) {
        if (listener_ < 0) {
          listener_ = receive_listener(listener_socket);
        } else if (fds[3].revents & POLLIN) {
          let_program_go_on();
        } else {
          close(listener_);  // the program has ended
          listener_ = -1;
          listener_socket = -1;
        }
      }
      if (n > 0 && fds[2].revents != 0) {
        char buffer[64];
        ssize_t got = read(control, buffer, sizeof buffer);
        if (got > 0) word.append(buffer, static_cast<size_t>(got));
        if (got <= 0 || word.find('\n') != std::string::npos) break;
      }
    }
    return finish(word.substr(0, word.find('\n')));
  }

 private:
  int64_t run_ms(int64_t ns) const { return (ns - epoch_ns_) / ns_per_ms; }

  void line(int64_t ms, const char* kind, const std::string& text) {
    if (!write_all(transcript_, transcript_format::join(static_cast<long>(ms), kind, text) + "\n"))
      fail(std::string("transcript: ") + strerror(errno));
  }

  // How long poll may sleep: until the next key is due, else until
  // something arrives.
  int wait_ms() const {
    if (keys_.next_ms() < 0) return -1;
    int64_t until = std::max(epoch_ns_ + keys_.next_ms() * ns_per_ms, feed_retry_ns_);
    int64_t now = now_ns();
    if (until <= now) return 0;
    return static_cast<int>((until - now + ns_per_ms - 1) / ns_per_ms);
  }

  static int receive_listener(int socket) {
    int fd = -1;
    char data;
    iovec iov = {&data, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof fd)];
    msghdr m = {};
    m.msg_iov = &iov;
    m.msg_iovlen = 1;
    m.msg_control = control;
    m.msg_controllen = sizeof control;
    if (recvmsg(socket, &m, MSG_CMSG_CLOEXEC) <= 0)
      fail("the program's filter listener never came");
    cmsghdr* c = CMSG_FIRSTHDR(&m);
    if (c == nullptr || c->cmsg_type != SCM_RIGHTS) fail("no filter listener in the message");
    memcpy(&fd, CMSG_DATA(c), sizeof fd);
    return fd;
  }

  // The program has stopped at a system call: what it drew before is on the
  // panel now.
  void let_program_go_on() {
    seccomp_notif call = {};
    if (ioctl(listener_, SECCOMP_IOCTL_NOTIF_RECV, &call) != 0) {
      if (errno == ENOENT || errno == EINTR) return;  // gone before it was read
      fail(std::string("seccomp notification: ") + strerror(errno));
    }
    take_requests();
    settle();
    std::string flash = flash_.text(call);
    if (!flash.empty()) {
      line(run_ms(now_ns()), transcript_format::kind::flash, flash);
      tcdrain(transcript_);
    }
    if (call.data.nr == __NR_reboot) restarting(static_cast<unsigned>(call.data.args[2]));
    seccomp_notif_resp go_on = {};
    go_on.id = call.id;
    go_on.flags = SECCOMP_USER_NOTIF_FLAG_CONTINUE;
    if (ioctl(listener_, SECCOMP_IOCTL_NOTIF_SEND, &go_on) != 0 && errno != ENOENT)
      fail(std::string("seccomp response: ") + strerror(errno));
  }

  void take_requests() {
    read_records<port_line_request, 256>(lines_, "/dev/inca-port-lines",
                                         [this](const port_line_request& r) { apply(r); });
  }

  void apply(const port_line_request& r) {
    timing_.add(r);
    sim::port_record record = {r.port, r.pin, r.value};
    // The kernel's driver has already refused what the pins refuse.
    if (panel_.apply(r.request, &record) < 0) record.value = 0;
    if (r.request == sim::port_request::read) {
      port_line_answer answer = {r.sequence, record.value};
      if (write(lines_, &answer, sizeof answer) != static_cast<ssize_t>(sizeof answer))
        fail(std::string("answering a read: ") + strerror(errno));
    }
  }

  void settle() {
    sim::lcd_change change = panel_.take();
    int64_t ms = run_ms(now_ns());
    if (!change.panel.empty()) line(ms, transcript_format::kind::panel, change.panel);
    if (change.screen.empty()) return;
    line(ms, transcript_format::kind::screen, change.screen);
    if (dots_ >= 0 && !write_all(dots_, sim::lcd_dots_frame(panel_.shown())))
      fail(std::string("dots: ") + strerror(errno));
  }

  void hand_over_keys() {
    while (keys_.next_ms() >= 0 && epoch_ns_ + keys_.next_ms() * ns_per_ms <= now_ns()) {
      keypad_feed_event e = keys_.next_event();
      if (write(feed_, &e, sizeof e) < 0) {
        if (errno == ENOSPC) {  // the program is not taking keys: try later
          feed_retry_ns_ = now_ns() + feed_retry_wait_ns;
          return;
        }
        fail(std::string("/dev/keypad-feed: ") + strerror(errno));
      }
      keys_.handed_over();
    }
  }

  void take_keys_taken() {
    read_records<keypad_taken, 32>(feed_, "/dev/keypad-feed", [this](const keypad_taken& t) {
      line(run_ms(t.time_ns), transcript_format::kind::key, vm::taken_text(t.event));
    });
  }

  // The program asks the kernel to restart the machine: the run ends with
  // the call, so its last lines go out first.
  void restarting(unsigned command) {
    take_keys_taken();
    last_lines(transcript_format::kind::restart, transcript_format::restart_text(command));
  }

  int finish(const std::string& word) {
    take_requests();
    take_keys_taken();
    settle();
    bool kept_rules = last_lines(transcript_format::kind::end, word.empty() ? "unknown" : word);
    return kept_rules ? 0 : transcript_format::status::device_fault;
  }

  // The port requests' count and violations, then the line that ends the
  // transcript, and waits until the transcript has left. A run that broke
  // the panel's bus protocol has failed, whatever the program did besides:
  // as in the simulator, a "fault" line naming what it broke ends it
  // instead (and returns false).
  bool last_lines(const char* kind, const std::string& text) {
    int64_t ms = run_ms(now_ns());
    line(ms, transcript_format::kind::port,
         std::to_string(panel_.requests()) + " requests, " +
             std::to_string(panel_.violations().total()) + " bus protocol violations");
    std::string fault = panel_.violations_text();
    if (fault.empty()) {
      line(ms, kind, text);
    } else {
      line(ms, transcript_format::kind::fault, fault);
      fprintf(stderr, "ruk-devices: %s\n", fault.c_str());
    }
    tcdrain(transcript_);
    fprintf(stderr, "ruk-devices: %s\n", timing_.text().c_str());
    return fault.empty();
  }

  int transcript_;
  int dots_;
  int lines_ = -1;
  int feed_ = -1;
  int listener_ = -1;
  int64_t epoch_ns_ = 0;
  int64_t feed_retry_ns_ = 0;
  sim::lcd_panel panel_;
  vm::key_feeder keys_;
  vm::request_timing timing_;
  vm::flash_requests flash_;
};

int open_channel(const char* path) {
  int fd = open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) fail(std::string(path) + ": " + strerror(errno));
  // A serial port passes the bytes as they are.
  termios t;
  if (tcgetattr(fd, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
  return fd;
}

int descriptor(const char* text) {
  char* rest = nullptr;
  long fd = strtol(text, &rest, 10);
  if (*rest != 0 || fd < 0 || fcntl(static_cast<int>(fd), F_GETFD) < 0)
    fail(std::string("not an open descriptor: ") + text);
  return static_cast<int>(fd);
}

}  // namespace

int main(int argc, char** argv) {
  const char* transcript = nullptr;
  const char* dots = nullptr;
  const char* keys = "";
  int ready = -1;
  int control = -1;
  int listener_socket = -1;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    if (i + 1 == argc) fail("usage: " + option + " needs a value");
    const char* value = argv[++i];
    if (option == "--transcript") {
      transcript = value;
    } else if (option == "--dots") {
      dots = value;
    } else if (option == "--keys") {
      keys = value;
    } else if (option == "--ready-fd") {
      ready = descriptor(value);
    } else if (option == "--control-fd") {
      control = descriptor(value);
    } else if (option == "--listener-fd") {
      listener_socket = descriptor(value);
    } else {
      fail("usage: unknown option " + option);
    }
  }
  if (transcript == nullptr || ready < 0 || control < 0 || listener_socket < 0)
    fail("usage: --transcript, --ready-fd, --control-fd and --listener-fd are needed");

  devices d(open_channel(transcript), dots != nullptr ? open_channel(dots) : -1);
  std::string error;
  if (!d.keys().load(keys, &error)) fail("key script: " + error);
  d.attach();
  if (write(ready, "r", 1) != 1) fail(std::string("ready: ") + strerror(errno));
  close(ready);
  return d.run(control, listener_socket);
}
