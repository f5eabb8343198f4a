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
//     partition, as the simulator's flash model words it ("open mtd5",
//     "info mtd5 size 8388608 erasesize 65536", "erase mtd5 0+65536",
//     "write mtd5 16+8176", "read mtd5 0+16", "close mtd5"), when the
//     program makes it and before it goes on: each line has left the serial
//     port before the kernel starts on the request, so a run cut short (the
//     power cut drill) shows every request that may have reached the flash,
//     the last one perhaps unfinished. Whether a request succeeded is not
//     seen here;
// until init writes "exit STATUS" (or closes) on the control descriptor: it
// then takes what is still queued, writes "port" (the requests and the bus
// protocol violations counted) and "end" lines, waits until the transcript
// has left, and ends. A program that restarts the machine ends the run
// instead: before its reboot call goes on, "port" and "restart" (the
// command, as the simulator writes it) lines.
//
// Transcript lines are the simulator's: "<ms>\t<kind>\t<text>", ms counted
// from the start of the run.
#include <errno.h>
#include <fcntl.h>
#include <linux/major.h>
#include <linux/seccomp.h>
#include <mtd/mtd-abi.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>

#include "sim/models/lcd_render.h"
#include "vm/guest/key_feeder.h"
#include "vm/guest/lcd_agent.h"

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

// What the port requests cost the program, for the console: the time from
// a read request to the program's next request (a round trip through this
// process), and the time between two other requests in the same drawing.
class request_timing {
 public:
  void add(const port_line_request& r) {
    int64_t since = r.time_ns - last_ns_;
    if (last_was_read_) {
      read_ns_ += since;
      ++reads_;
    } else if (requests_ > 0 && since < ns_per_ms) {
      write_ns_ += since;
      ++writes_;
    }
    ++requests_;
    last_ns_ = r.time_ns;
    last_was_read_ = r.request == PHONE_PORT_READ;
  }

  std::string text() const {
    char out[200];
    snprintf(out, sizeof out,
             "%ld port requests; a read answered in %lld us on average (%ld reads), "
             "other requests %lld us apart within a drawing",
             requests_, reads_ ? static_cast<long long>(read_ns_ / reads_ / 1000) : 0LL, reads_,
             writes_ ? static_cast<long long>(write_ns_ / writes_ / 1000) : 0LL);
    return out;
  }

 private:
  long requests_ = 0;
  long reads_ = 0;
  long writes_ = 0;
  int64_t read_ns_ = 0;
  int64_t write_ns_ = 0;
  int64_t last_ns_ = 0;
  bool last_was_read_ = false;
};

// The program's requests to the flash partitions (/dev/mtdN), read from the
// system call it stopped at: the path of an open, the descriptor's device
// and position (a duplicate of the program's descriptor, closed again before
// the call goes on, so that the program's close stays the last), an erase's
// range from the program's memory.
class flash_requests {
 public:
  // The transcript text of the call, empty when it is no flash request.
  std::string text(const seccomp_notif& call) {
    unsigned long arg[6];
    for (int i = 0; i < 6; ++i) arg[i] = static_cast<unsigned long>(call.data.args[i]);
    switch (call.data.nr) {
      case __NR_open:
        return opened(call.pid, arg[0]);
      case __NR_openat:
        return opened(call.pid, arg[1]);
      case __NR_read:
      case __NR_write:
      case __NR_ioctl:
      case __NR_close:
        return on_descriptor(call, arg);
      default:
        return "";
    }
  }

 private:
  struct partition {
    int number = -1;
    int fd = -1;  // the duplicate
    uint32_t size = 0;
    uint32_t erasesize = 0;
  };

  bool attach(pid_t pid) {
    if (pid == pid_) return pidfd_ >= 0 && memory_ >= 0;
    if (pidfd_ >= 0) close(pidfd_);
    if (memory_ >= 0) close(memory_);
    pid_ = pid;
    pidfd_ = static_cast<int>(syscall(__NR_pidfd_open, pid, 0));
    memory_ = open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
    return pidfd_ >= 0 && memory_ >= 0;
  }

  // Reads the program's memory; false unless all n bytes came.
  bool peek(unsigned long address, void* out, size_t n) {
    return pread(memory_, out, n, static_cast<off_t>(address)) == static_cast<ssize_t>(n);
  }

  std::string opened(pid_t pid, unsigned long path_address) {
    if (!attach(pid)) return "";
    // Byte by byte, so that a path that ends near the end of its mapping is
    // read too.
    char path[32];
    size_t n = 0;
    for (; n < sizeof path; ++n) {
      if (!peek(path_address + n, &path[n], 1)) return "";
      if (path[n] == 0) break;
    }
    if (n == sizeof path) return "";
    std::string p(path, n);
    if (p.compare(0, 8, "/dev/mtd") != 0 || p.size() == 8 ||
        p.find_first_not_of("0123456789", 8) != std::string::npos)
      return "";
    return "open " + p.substr(5);
  }

  // The partition behind the program's descriptor fd, its duplicate open;
  // number -1 when it is none.
  partition find(int fd) {
    partition p;
    p.fd = static_cast<int>(syscall(__NR_pidfd_getfd, pidfd_, fd, 0));
    if (p.fd < 0) return p;
    struct stat st;
    if (fstat(p.fd, &st) != 0 || !S_ISCHR(st.st_mode) || major(st.st_rdev) != MTD_CHAR_MAJOR)
      return p;
    p.number = static_cast<int>(minor(st.st_rdev) / 2);
    auto known = geometry_.find(p.number);
    if (known == geometry_.end()) {
      mtd_info_user info = {};
      if (ioctl(p.fd, MEMGETINFO, &info) != 0) {
        p.number = -1;
        return p;
      }
      known = geometry_.emplace(p.number, std::make_pair(info.size, info.erasesize)).first;
    }
    p.size = known->second.first;
    p.erasesize = known->second.second;
    return p;
  }

  static std::string range(uint64_t at, uint64_t n) {
    return std::to_string(at) + "+" + std::to_string(n);
  }

  std::string on_descriptor(const seccomp_notif& call, const unsigned long* arg) {
    if (!attach(call.pid)) return "";
    partition p = find(static_cast<int>(arg[0]));
    std::string out;
    if (p.number >= 0) {
      std::string name = "mtd" + std::to_string(p.number);
      if (call.data.nr == __NR_read || call.data.nr == __NR_write) {
        off_t at = lseek(p.fd, 0, SEEK_CUR);
        if (at >= 0) {
          uint64_t n = static_cast<uint64_t>(at) >= p.size
                           ? 0
                           : std::min<uint64_t>(arg[2], p.size - static_cast<uint64_t>(at));
          out = std::string(call.data.nr == __NR_read ? "read " : "write ") + name + " " +
                range(static_cast<uint64_t>(at), n);
        }
      } else if (call.data.nr == __NR_close) {
        out = "close " + name;
      } else if (static_cast<unsigned>(arg[1]) == static_cast<unsigned>(MEMGETINFO)) {
        out = "info " + name + " size " + std::to_string(p.size) + " erasesize " +
              std::to_string(p.erasesize);
      } else if (static_cast<unsigned>(arg[1]) == static_cast<unsigned>(MEMERASE)) {
        erase_info_user e;
        if (peek(arg[2], &e, sizeof e)) out = "erase " + name + " " + range(e.start, e.length);
      }
    }
    if (p.fd >= 0) close(p.fd);
    return out;
  }

  pid_t pid_ = 0;
  int pidfd_ = -1;
  int memory_ = -1;
  std::map<int, std::pair<uint32_t, uint32_t>> geometry_;  // size, erase size
};

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
  void run(int control, int listener_socket) {
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
    finish(word.substr(0, word.find('\n')));
  }

 private:
  int64_t run_ms(int64_t ns) const { return (ns - epoch_ns_) / ns_per_ms; }

  void line(int64_t ms, const char* kind, const std::string& text) {
    if (!write_all(transcript_, std::to_string(ms) + "\t" + kind + "\t" + text + "\n"))
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
      line(run_ms(now_ns()), "flash", flash);
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
    int level = lcd_.apply(r);
    if (r.request == PHONE_PORT_READ) {
      port_line_answer answer = {r.sequence, level};
      if (write(lines_, &answer, sizeof answer) != static_cast<ssize_t>(sizeof answer))
        fail(std::string("answering a read: ") + strerror(errno));
    }
  }

  void settle() {
    std::string panel, text;
    bool taken = lcd_.take_screen(&panel, &text);
    if (!panel.empty()) line(run_ms(now_ns()), "panel", panel);
    if (!taken) return;
    line(run_ms(now_ns()), "screen", text);
    // The simulator's dots file: a screen's pixel rows and an empty line.
    if (dots_ >= 0 && !write_all(dots_, sim::lcd_render_dots(lcd_.shown()) + "\n"))
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
      line(run_ms(t.time_ns), "key", vm::taken_text(t.event));
    });
  }

  // The program asks the kernel to restart the machine: the run ends with
  // the call, so its last lines go out first.
  void restarting(unsigned command) {
    take_keys_taken();
    char text[16];
    snprintf(text, sizeof text, "0x%08X", command);
    last_lines("restart", text);
  }

  void finish(const std::string& word) {
    take_requests();
    take_keys_taken();
    settle();
    last_lines("end", word.empty() ? "unknown" : word);
  }

  // The port requests' count and violations, then the line that ends the
  // transcript, and waits until the transcript has left.
  void last_lines(const char* kind, const std::string& text) {
    int64_t ms = run_ms(now_ns());
    line(ms, "port",
         std::to_string(lcd_.requests()) + " requests, " +
             std::to_string(lcd_.violations().total()) + " bus protocol violations");
    line(ms, kind, text);
    tcdrain(transcript_);
    fprintf(stderr, "ruk-devices: %s\n", timing_.text().c_str());
  }

  int transcript_;
  int dots_;
  int lines_ = -1;
  int feed_ = -1;
  int listener_ = -1;
  int64_t epoch_ns_ = 0;
  int64_t feed_retry_ns_ = 0;
  vm::lcd_agent lcd_;
  vm::key_feeder keys_;
  request_timing timing_;
  flash_requests flash_;
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
  d.run(control, listener_socket);
  return 0;
}
