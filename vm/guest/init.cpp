// The emulated phone's init: the first process of the guest, started by the
// kernel from the initramfs.
//
// It mounts /dev and /proc (where ruk-devices reads the program's memory),
// loads the keypad and port driver modules, starts ruk-devices (the
// userspace half of those devices, writing the transcript to the second
// serial port), then starts the program as the phone's
// start-up does, /bin/ruk without arguments, and waits for it. The program
// runs under a seccomp filter that stops it at each system call but its port
// requests and clock readings until ruk-devices lets the call go on as it
// was asked: so ruk-devices knows when the panel has settled, as the
// simulator does. A program that restarts the machine ends the guest there
// (QEMU runs with -no-reboot). One that ends is reported on the console,
// "init: ruk ended with status N" (or "ruk ended: signal N") with the time
// the guest's clock reads then, and the guest powers off.
//
// A run's settings come in a second archive that the host appends to the
// initramfs for that run (QEMU's Malta board passes only 255 characters of
// kernel command line, too few for a key script):
//   /ruk-run/keys  the key script (sim/models/keypad_script.h); none: no key
//   /ruk-run/dots  present: also send every screen's pixels to the third
//                  serial port, for a live view on the host
#include <errno.h>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/reboot.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sim/models/phone_wire.h"

namespace {

const char transcript_port[] = "/dev/ttyS1";
const char dots_port[] = "/dev/ttyS2";
const char* const modules[] = {"/lib/modules/inca_port.ko", "/lib/modules/keypad.ko"};
// The descriptor on which the program's process, between installing its
// filter and starting the program, hands the filter's listener over.
constexpr int handoff_fd = 100;
// The port driver's requests, which the program makes without stopping.
constexpr unsigned port_requests[] = {PHONE_PORT_OPEN_DRAIN, PHONE_PORT_DIRECTION, PHONE_PORT_WRITE,
                                      PHONE_PORT_READ};

void say(const std::string& text) {
  std::string line = "init: " + text + "\n";
  if (write(2, line.data(), line.size()) < 0) {
    // Nowhere else to say it.
  }
}

[[noreturn]] void power_off() {
  sync();
  reboot(RB_POWER_OFF);
  say(std::string("power-off failed: ") + strerror(errno));
  for (;;) pause();
}

[[noreturn]] void give_up(const std::string& why) {
  say(why);
  power_off();
}

void load_module(const char* path) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) give_up(std::string(path) + ": " + strerror(errno));
  if (syscall(SYS_finit_module, fd, "", 0) != 0)
    give_up(std::string("loading ") + path + ": " + strerror(errno));
  close(fd);
}

bool read_file(const char* path, std::string* text) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text->append(buffer, static_cast<size_t>(n));
  close(fd);
  if (n < 0) give_up(std::string(path) + ": " + strerror(errno));
  return true;
}

// The filter: the port requests, clock readings, and the hand-over and
// execve between the filter and the program go on; every other call stops
// until the listener lets it go on.
std::vector<sock_filter> settle_filter() {
  // The low word of a 64-bit argument, in this machine's byte order.
  constexpr unsigned low = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0;
  auto arg = [](int i) {
    return static_cast<unsigned>(offsetof(seccomp_data, args) + 8 * i + low);
  };
  auto load = [](unsigned offset) {
    return sock_filter BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset);
  };
  auto equal = [](unsigned k, unsigned char then, unsigned char otherwise) {
    return sock_filter BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, k, then, otherwise);
  };
  const sock_filter go_on = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
  const sock_filter stop = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_USER_NOTIF);

  std::vector<sock_filter> f = {load(offsetof(seccomp_data, arch)), equal(AUDIT_ARCH_MIPS, 1, 0),
                                stop, load(offsetof(seccomp_data, nr))};
  for (unsigned nr : {__NR_gettimeofday, __NR_clock_gettime, __NR_clock_gettime64, __NR_execve}) {
    f.push_back(equal(nr, 0, 1));
    f.push_back(go_on);
  }
  // ioctl: on with a port request, else stop.
  constexpr unsigned char requests = sizeof port_requests / sizeof port_requests[0];
  f.push_back(equal(__NR_ioctl, 0, 1 + requests + 2));
  f.push_back(load(arg(1)));
  for (unsigned char i = 0; i < requests; ++i) {
    bool last = i + 1 == requests;
    f.push_back(equal(port_requests[i], requests - 1 - i, last ? 1 : 0));
  }
  f.insert(f.end(), {go_on, stop});
  // sendmsg: on on the hand-over descriptor, else stop. Anything else: stop.
  f.insert(f.end(),
           {equal(__NR_sendmsg, 0, 3), load(arg(0)), equal(handoff_fd, 0, 1), go_on, stop});
  return f;
}

void send_descriptor(int socket, int fd) {
  char data = 'l';
  iovec iov = {&data, 1};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof fd)] = {};
  msghdr m = {};
  m.msg_iov = &iov;
  m.msg_iovlen = 1;
  m.msg_control = control;
  m.msg_controllen = sizeof control;
  cmsghdr* c = CMSG_FIRSTHDR(&m);
  c->cmsg_level = SOL_SOCKET;
  c->cmsg_type = SCM_RIGHTS;
  c->cmsg_len = CMSG_LEN(sizeof fd);
  memcpy(CMSG_DATA(c), &fd, sizeof fd);
  // The system call itself, as the filter expects it.
  if (syscall(__NR_sendmsg, socket, &m, 0) != 1) _exit(127);
}

// Starts /bin/ruk under the filter, its listener sent on handoff.
pid_t start_program(int handoff) {
  std::vector<sock_filter> filter = settle_filter();
  sock_fprog program = {static_cast<unsigned short>(filter.size()), filter.data()};
  pid_t pid = fork();
  if (pid < 0) give_up(std::string("fork: ") + strerror(errno));
  if (pid > 0) return pid;
  if (dup2(handoff, handoff_fd) < 0 || fcntl(handoff_fd, F_SETFD, FD_CLOEXEC) < 0) _exit(127);
  long listener =
      syscall(__NR_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_NEW_LISTENER, &program);
  if (listener < 0) {
    say(std::string("seccomp: ") + strerror(errno));
    _exit(127);
  }
  send_descriptor(handoff_fd, static_cast<int>(listener));
  const char* argv[] = {"/bin/ruk", nullptr};
  const char* env[] = {"PATH=/bin", nullptr};
  syscall(__NR_execve, argv[0], argv, env);
  say(std::string("/bin/ruk: ") + strerror(errno));
  _exit(127);
}

pid_t start(const std::vector<std::string>& args, const std::vector<int>& keep) {
  pid_t pid = fork();
  if (pid < 0) give_up(std::string("fork: ") + strerror(errno));
  if (pid > 0) return pid;
  for (int fd : keep) fcntl(fd, F_SETFD, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  char* env[] = {const_cast<char*>("PATH=/bin"), nullptr};
  execve(argv[0], argv.data(), env);
  say(args[0] + ": " + strerror(errno));
  _exit(127);
}

std::string status_text(int status) {
  if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

int wait_for(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace

int main() {
  if (mount("devtmpfs", "/dev", "devtmpfs", 0, nullptr) != 0 && errno != EBUSY)
    give_up(std::string("mounting /dev: ") + strerror(errno));
  if ((mkdir("/proc", 0555) != 0 && errno != EEXIST) ||
      (mount("proc", "/proc", "proc", 0, nullptr) != 0 && errno != EBUSY))
    give_up(std::string("mounting /proc: ") + strerror(errno));
  for (const char* m : modules) load_module(m);

  std::string keys;
  bool has_keys = read_file("/ruk-run/keys", &keys);
  bool dots = access("/ruk-run/dots", F_OK) == 0;

  int ready[2];
  int control[2];
  int handoff[2];
  if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(control, O_CLOEXEC) != 0 ||
      socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, handoff) != 0)
    give_up(std::string("pipe: ") + strerror(errno));
  std::vector<std::string> args = {"/bin/ruk-devices",
                                   "--transcript",
                                   transcript_port,
                                   "--ready-fd",
                                   std::to_string(ready[1]),
                                   "--control-fd",
                                   std::to_string(control[0]),
                                   "--listener-fd",
                                   std::to_string(handoff[1])};
  if (has_keys) args.insert(args.end(), {"--keys", keys});
  if (dots) args.insert(args.end(), {"--dots", dots_port});
  pid_t devices = start(args, {ready[1], control[0], handoff[1]});
  close(ready[1]);
  close(control[0]);
  close(handoff[1]);
  char byte;
  if (read(ready[0], &byte, 1) != 1)
    give_up("ruk-devices did not start: " + status_text(wait_for(devices)));
  close(ready[0]);

  say("starting ruk");
  pid_t ruk = start_program(handoff[0]);
  close(handoff[0]);
  int status = wait_for(ruk);
  say(WIFEXITED(status) ? "ruk ended with status " + std::to_string(WEXITSTATUS(status))
                        : "ruk ended: " + status_text(status));
  // The program sets the clock; it is the guest's own.
  time_t now = time(nullptr);
  tm utc;
  char clock_text[32];
  strftime(clock_text, sizeof clock_text, "%Y-%m-%d %H:%M:%S UTC", gmtime_r(&now, &utc));
  say(std::string("the clock reads ") + clock_text);

  std::string word = status_text(status) + "\n";
  if (write(control[1], word.data(), word.size()) < 0) say("ruk-devices is gone");
  close(control[1]);
  int devices_status = wait_for(devices);
  if (!WIFEXITED(devices_status) || WEXITSTATUS(devices_status) != 0)
    say("ruk-devices ended with " + status_text(devices_status));
  power_off();
}
