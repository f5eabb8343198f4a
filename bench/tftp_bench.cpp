// TFTP download, the job ruk spends its time on: ruk's download path as the
// program runs it (GetTFTPFile with the byte count on the simulated panel)
// against the Debian clients tftp-hpa, busybox tftp, curl and atftp, all with
// 512-byte blocks, from one tftpd-hpa on loopback; beside them the floor, the
// number of blocks times the loopback round trip of one 516-byte datagram and
// its 4-byte answer, measured in the same run. Then the whole update in the
// simulator (ruk-simulated from the update key to the restart) for the same
// sizes, and its peak memory. Last, every client through a relay that loses
// 2 % of the datagrams each way (the same losses for every client), and
// through one that holds each datagram 0.5 ms each way, a LAN's round trip,
// and through one that holds it 75 ms each way, a server 150 ms away, counting
// the datagrams each client sends per block.
//
// Runs inside scripts/safe-run's own network namespace (only loopback is up),
// where the server can take port 69; every process it starts is stopped on
// every path, and every transfer is bounded in time.
//
// Usage: tftp_bench [--rounds N] [--sizes MiB,MiB,...] [--parts loopback,update,loss,delay,slow]
//                   [--loss-seeds N,M] [--delay-rounds N] [--loss-limit S] [--results FILE]
// With --results the tables replace the TFTP section of FILE (the other
// sections stay); RUK_SOURCE_DIR/bench/results.md is the default when that
// variable is set.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench/lossy_relay.h"
#include "bench/seconds.h"
#include "sim/models/transcript_format.h"

extern char** environ;

#ifndef RUK_HELPERS_BUILT
#define RUK_HELPERS_BUILT 0
#endif

namespace {

constexpr bool ruk_helpers_built = RUK_HELPERS_BUILT != 0;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

[[noreturn]] void die(const std::string& why) {
  fprintf(stderr, "tftp_bench: %s\n", why.c_str());
  exit(1);
}

// Processes this program started; stopped at exit on every path.
std::vector<pid_t> children;

void stop_children() {
  for (pid_t pid : children) {
    if (pid > 0) kill(pid, SIGKILL);
  }
  for (pid_t pid : children) {
    if (pid > 0) waitpid(pid, nullptr, 0);
  }
  children.clear();
}

void on_signal(int) {
  stop_children();
  _exit(2);
}

// Starts argv with stdin from in_fd (-1: /dev/null), output to /dev/null
// unless keep_output; returns its pid.
pid_t start(const std::vector<std::string>& argv, int in_fd = -1, bool keep_output = false,
            const std::vector<std::string>& extra_env = {}, int out_fd = -1) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> env_text(extra_env);
  for (char** e = environ; *e != nullptr; ++e) env_text.push_back(*e);
  std::vector<char*> env;
  for (std::string& e : env_text) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (in_fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, in_fd, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  if (out_fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  } else if (!keep_output) {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  if (!keep_output) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) die("cannot start " + argv[0] + ": " + strerror(rc));
  children.push_back(pid);
  return pid;
}

// Waits for pid at most limit seconds (then kills it); true when it exited 0.
bool finish(pid_t pid, double limit) {
  double until = now() + limit;
  int status = 0;
  for (;;) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (now() > until) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      status = -1;
      break;
    }
    usleep(200);
  }
  children.erase(std::remove(children.begin(), children.end(), pid), children.end());
  return status == 0;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A valid update image of exactly `bytes` bytes: header (checksum, length,
// magic 253, a spare word, all big-endian), then a random payload.
std::string make_image(size_t bytes, unsigned seed) {
  std::string image(bytes, '\0');
  std::mt19937 random(seed);
  for (size_t i = 16; i < bytes; ++i) image[i] = static_cast<char>(random());
  uint32_t length = static_cast<uint32_t>(bytes - 16);
  uint32_t sum = 0;
  for (size_t i = 16; i + 4 <= 16 + (length & ~3u); i += 4) {
    sum += (static_cast<uint32_t>(static_cast<unsigned char>(image[i])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(image[i + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(image[i + 2])) << 8) |
           static_cast<uint32_t>(static_cast<unsigned char>(image[i + 3]));
  }
  auto put = [&](size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) image[at + k] = static_cast<char>(v >> (24 - 8 * k));
  };
  put(0, sum);
  put(4, length);
  put(8, 253);
  return image;
}

// The loopback round trip of one 516-byte datagram and its 4-byte answer,
// between two processes as between client and server: seconds per trip, the
// median of batches.
double round_trip(int trips) {
  int server = socket(AF_INET, SOCK_DGRAM, 0);
  int client = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(server, reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
      connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    die("loopback sockets");
  }
  pid_t echo = fork();
  if (echo == 0) {
    char buffer[600];
    for (int i = 0; i < trips; ++i) {
      pollfd p = {server, POLLIN, 0};
      if (poll(&p, 1, 2000) <= 0) _exit(1);
      sockaddr_in from;
      socklen_t from_len = sizeof from;
      if (recvfrom(server, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from),
                   &from_len) != 516) {
        _exit(1);
      }
      sendto(server, buffer, 4, 0, reinterpret_cast<sockaddr*>(&from), from_len);
    }
    _exit(0);
  }
  children.push_back(echo);
  char block[516] = {0, 3};
  char answer[16];
  std::vector<double> batches;
  const int batch = 500;
  for (int done = 0; done + batch <= trips; done += batch) {
    double t0 = now();
    for (int i = 0; i < batch; ++i) {
      send(client, block, sizeof block, 0);
      pollfd p = {client, POLLIN, 0};
      if (poll(&p, 1, 2000) <= 0 || recv(client, answer, sizeof answer, 0) != 4) {
        die("round trip lost");
      }
    }
    batches.push_back((now() - t0) / batch);
  }
  finish(echo, 5);
  close(server);
  close(client);
  return median(batches);
}

// The folder of this program, where the helpers are built.
std::string self_dir() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) die("cannot find my own folder");
  path[n] = 0;
  std::string p(path);
  return p.substr(0, p.rfind('/'));
}

// The parts of the run: the download on plain loopback, the whole update
// with its peak memory, the download through the lossy relay (with the row
// of delay alone), and the datagrams sent to a server 150 ms away.
struct options {
  int rounds = 5;
  std::vector<int> sizes_mib = {1, 4, 32};
  std::string results;
  std::set<std::string> parts = {"loopback", "update", "loss", "delay", "slow"};
  // Seeds of the lossy runs of 256 KiB and of 4 MiB: the large one takes
  // minutes per client, most of it waiting out the server's time-outs.
  int loss_seeds_small = 3;
  int loss_seeds_large = 1;
  double loss_limit_s = 600;  // a client still busy then is stopped and reported
  // Rounds through the delaying relay: its figures vary with the machine's
  // load more than the others'.
  int delay_rounds = 9;
};

options read_options(int argc, char** argv) {
  options o;
  const char* source = getenv("RUK_SOURCE_DIR");
  if (source != nullptr) o.results = std::string(source) + "/bench/results.md";
  auto list = [](const char* text) {
    std::vector<std::string> items;
    std::stringstream s(text);
    for (std::string item; std::getline(s, item, ',');) items.push_back(item);
    return items;
  };
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--rounds" && i + 1 < argc) {
      o.rounds = std::max(1, atoi(argv[++i]));
    } else if (a == "--sizes" && i + 1 < argc) {
      o.sizes_mib.clear();
      for (const std::string& item : list(argv[++i])) {
        o.sizes_mib.push_back(std::max(1, atoi(item.c_str())));
      }
    } else if (a == "--parts" && i + 1 < argc) {
      std::vector<std::string> items = list(argv[++i]);
      o.parts = std::set<std::string>(items.begin(), items.end());
    } else if (a == "--loss-seeds" && i + 1 < argc) {
      std::vector<std::string> items = list(argv[++i]);
      o.loss_seeds_small = std::max(1, atoi(items[0].c_str()));
      o.loss_seeds_large = items.size() > 1 ? std::max(1, atoi(items[1].c_str())) : 1;
    } else if (a == "--delay-rounds" && i + 1 < argc) {
      o.delay_rounds = std::max(1, atoi(argv[++i]));
    } else if (a == "--loss-limit" && i + 1 < argc) {
      o.loss_limit_s = std::max(1.0, atof(argv[++i]));
    } else if (a == "--results" && i + 1 < argc) {
      o.results = argv[++i];
    } else {
      die("usage: tftp_bench [--rounds N] [--sizes MiB,...] "
          "[--parts loopback,update,loss,delay,slow] "
          "[--loss-seeds N,M] [--delay-rounds N] [--loss-limit S] [--results FILE]");
    }
  }
  return o;
}

// One tftpd-hpa serving dir on 127.0.0.1: on port 69 when this process may
// bind it (root in its own namespace), else on a free port to which the
// simulator sends ruk's port-69 datagrams. Started the way inetd starts it,
// with the bound socket as its standard input, so that it needs no address
// resolution (which a namespace without a non-loopback address lacks).
struct tftp_server {
  int port = 0;
  pid_t pid = -1;
  void start_serving(const std::string& dir) {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(69);
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      a.sin_port = 0;
      if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) die("cannot bind the server");
    }
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    pid = start({"/usr/sbin/in.tftpd", "-s", dir, "-t", "600"}, s);
    close(s);
  }
};

// The number after "name " on a line of a helper's output (the program
// prints other lines around it).
double tagged_number(const std::string& text, const std::string& name) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, name.size() + 1, name + " ") == 0)
      return atof(line.c_str() + name.size() + 1);
  }
  return 0;
}

std::string first_line(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

std::string command_output(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[512];
    while (fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
    pclose(p);
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string load_average() {
  std::istringstream in(read_file("/proc/loadavg"));
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

// Replaces the section "## TFTP download" of the results file (up to the next
// section of the same level) with this run's, or appends it.
void write_results(const std::string& path, const std::string& tables, const options& opt,
                   const std::string& load_before) {
  std::string cpu =
      command_output("grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'");
  utsname u;
  uname(&u);
  std::ostringstream section;
  section << "## TFTP download and the whole update (`bench/tftp_bench`)\n\n"
          << "`make bench` runs `tftp_bench` in its own network namespace (scripts/safe-run): one "
             "tftpd-hpa on 127.0.0.1 port 69 serves valid update images of the sizes below; each "
             "client fetches each size once per round with 512-byte blocks and no options, in an "
             "order that rotates from round to round; "
          << opt.rounds
          << " rounds, medians. ruk is its download path as the program runs it: "
             "GetTFTPFile with the keypad open and the byte count printed and flushed to the "
             "simulated panel for every datagram (bench/ruk_download, built like ruk-simulated), "
             "timed from the call to its return. The peers are timed as processes, from start to "
             "exit, so their figures include starting the program (about a millisecond). "
             "The floor is the number of blocks times the median loopback round trip of one "
             "516-byte datagram and its 4-byte answer, measured in each round. The whole update's "
             "peak memory is the helper's (bench/ruk_update) maximum resident set, with the "
             "simulator's in-memory record of the screens dropped as it goes. The lossy relay "
             "(bench/lossy_relay) sits between each client and the same tftpd-hpa; whether it "
             "loses a datagram depends on the seed and on what the datagram is (direction, "
             "opcode, block number, how often it passed before), so every client loses the same "
             "blocks' DATA and ACKs.\n\n"
          << "Machine: " << cpu << ", " << command_output("nproc") << " CPUs; " << u.sysname << " "
          << u.release << "; " << first_line(command_output("tftp -V 2>&1")) << ", "
          << command_output("busybox 2>&1 | head -1 | cut -d' ' -f1-2") << ", "
          << command_output("curl --version | head -1 | cut -d' ' -f1-2") << ", "
          << first_line(command_output("atftp --version 2>&1"))
          << ". Load average before: " << load_before << "; after: " << load_average() << ".\n\n"
          << tables;
  std::string old = read_file(path);
  size_t begin = old.find("## TFTP download");
  std::string result;
  if (begin == std::string::npos) {
    result = old + (old.empty() || old.back() == '\n' ? "" : "\n") + "\n" + section.str();
  } else {
    size_t end = old.find("\n## ", begin + 1);
    result = old.substr(0, begin) + section.str() +
             (end == std::string::npos ? "" : "\n" + old.substr(end + 1));
  }
  std::ofstream(path) << result;
  fprintf(stderr, "tftp_bench: wrote %s\n", path.c_str());
}

struct measurement {
  std::map<std::string, std::vector<double>> seconds;  // by client
};

// A client fetches name from 127.0.0.1 at port (the server's, or the
// relay's) within limit seconds; true when what arrived is content. s gets
// the seconds it took.
using client = std::function<bool(const std::string& name, const std::string& content, int port,
                                  double limit, double* s)>;
using client_list = std::vector<std::pair<std::string, client>>;
using image_map = std::map<std::string, std::string>;  // by file name

// ruk's median download seconds on plain loopback, by size in MiB, for the
// whole-update table.
std::map<int, double> ruk_download_medians;

// Every client fetches every size once per round, in an order that rotates
// from round to round, straight from the server.
std::string loopback_table(const options& opt, const client_list& clients, image_map& images,
                           const std::function<std::string(int)>& mib_name, int port) {
  std::map<int, measurement> runs;
  std::vector<double> trips;
  for (int round = 0; round < opt.rounds; ++round) {
    trips.push_back(round_trip(2000));
    for (int mib : opt.sizes_mib) {
      std::string name = mib_name(mib);
      for (size_t k = 0; k < clients.size(); ++k) {
        auto& c = clients[(k + static_cast<size_t>(round)) % clients.size()];
        double s = 0;
        if (!c.second(name, images[name], port, 120, &s))
          die(c.first + " failed to download " + name);
        runs[mib].seconds[c.first].push_back(s);
        fprintf(stderr, "round %d, %d MiB, %-13s %8.3f s\n", round + 1, mib, c.first.c_str(), s);
      }
    }
  }
  double trip = median(trips);

  std::ostringstream table;
  char line[512];
  snprintf(line, sizeof line,
           "Loopback round trip (516-byte datagram, 4-byte answer, between two processes): "
           "%.1f us, median of %d rounds of 2000.\n\n",
           trip * 1e6, opt.rounds);
  table << line;
  table << "| size | blocks | floor s | client | median s | min s | max s | / fastest peer | / "
           "floor |\n";
  table << "|---|---:|---:|---|---:|---:|---:|---:|---:|\n";
  for (int mib : opt.sizes_mib) {
    const std::string& image = images[mib_name(mib)];
    long blocks = static_cast<long>(image.size()) / 512 + 1;
    double floor_s = static_cast<double>(blocks) * trip;
    double fastest = 1e30;
    for (auto& c : clients) {
      if (c.first != "ruk") fastest = std::min(fastest, median(runs[mib].seconds[c.first]));
    }
    for (auto& c : clients) {
      const std::vector<double>& v = runs[mib].seconds[c.first];
      double m = median(v);
      if (c.first == "ruk") ruk_download_medians[mib] = m;
      snprintf(line, sizeof line,
               "| %d MiB%s | %ld | %.3f | %s | %.3f | %.3f | %.3f | %.2f | %.2f |\n", mib,
               image.size() < (static_cast<size_t>(mib) << 20) ? " - 513 B" : "", blocks, floor_s,
               c.first.c_str(), m, *std::min_element(v.begin(), v.end()),
               *std::max_element(v.begin(), v.end()), m / fastest, m / floor_s);
      table << line;
    }
  }
  return table.str();
}

// The whole update: the helper sets up the program as it stands when the
// update key is pressed in the menu (addresses entered, panel, keypad,
// flash), writes the monotonic time to its standard output and runs the
// update key's handler, which ends in the simulated restart. The flash
// partitions are files in a folder of this run; mtd5 must hold the payload
// afterwards. Then the largest once more under /usr/bin/time, for its peak
// memory.
std::string update_table(const options& opt, const std::string& ruk_update, const std::string& dir,
                         const std::string& serve, const std::vector<std::string>& ruk_env,
                         image_map& images, const std::function<std::string(int)>& mib_name) {
  std::map<int, std::vector<double>> updates;
  std::map<int, long> peak_kib;  // by size in MiB
  std::string flash = dir + "/flash";
  auto flash_env = [&](int mib) {
    std::vector<std::string> env = ruk_env;
    env.push_back("RUK_SIM_FLASH_DIR=" + flash);
    env.push_back("RUK_SIM_MTD5_SIZE=" + std::to_string(mib + 1) + "M");
    return env;
  };
  auto run_update = [&](int mib, bool measure_memory, double* s) {
    const std::string& image = images[mib_name(mib)];
    // The update always asks for tolv510.bin.
    std::ofstream(serve + "/tolv510.bin", std::ios::binary) << image;
    chmod((serve + "/tolv510.bin").c_str(), 0644);
    unlink((flash + "/mtd5").c_str());
    unlink((flash + "/mtd4").c_str());
    std::string timing = dir + "/timing";
    std::string memory = dir + "/memory";
    int fd = open(timing.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> argv = {ruk_update};
    if (measure_memory) argv = {"/usr/bin/time", "-v", "-o", memory, ruk_update};
    pid_t pid = start(argv, -1, false, flash_env(mib), fd);
    close(fd);
    int status = 0;
    // A failed update waits minutes for a key: give up well before.
    double until = now() + 120;
    while (waitpid(pid, &status, WNOHANG) != pid) {
      if (now() > until) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        break;
      }
      usleep(200);
    }
    double end = now();
    children.erase(std::remove(children.begin(), children.end(), pid), children.end());
    double begin = tagged_number(read_file(timing), "start");
    *s = end - begin;
    std::string written = read_file(flash + "/mtd5");
    bool restarted = WIFEXITED(status) && WEXITSTATUS(status) == transcript_format::status::restart;
    if (measure_memory) {
      std::istringstream lines(read_file(memory));
      std::string l;
      while (std::getline(lines, l)) {
        if (l.find("Maximum resident set size") != std::string::npos) {
          peak_kib[mib] = atol(l.substr(l.rfind(' ') + 1).c_str());
        }
      }
    }
    bool ok = restarted && begin > 0 && written.size() >= image.size() - 16 &&
              written.compare(0, image.size() - 16, image, 16, std::string::npos) == 0;
    if (!ok) {
      fprintf(stderr, "tftp_bench: update of %d MiB: exit %d, restarted %d, mtd5 %zu bytes\n", mib,
              WIFEXITED(status) ? WEXITSTATUS(status) : -1, restarted, written.size());
    }
    return ok;
  };
  // A failed update is reported in the table; the download figures stand.
  std::string update_failure;
  for (int round = 0; round < opt.rounds && update_failure.empty(); ++round) {
    for (int mib : opt.sizes_mib) {
      double s = 0;
      if (!run_update(mib, false, &s)) {
        update_failure = "the whole update of " + std::to_string(mib) + " MiB failed";
        break;
      }
      updates[mib].push_back(s);
      fprintf(stderr, "round %d, %d MiB, whole update %8.3f s\n", round + 1, mib, s);
    }
  }
  // The largest for the goal, the smallest for the part that does not grow
  // with the image.
  double s = 0;
  int largest = *std::max_element(opt.sizes_mib.begin(), opt.sizes_mib.end());
  int smallest = *std::min_element(opt.sizes_mib.begin(), opt.sizes_mib.end());
  for (int mib : {largest, smallest}) {
    if (update_failure.empty() && peak_kib.count(mib) == 0 && !run_update(mib, true, &s)) {
      update_failure = "the whole update under /usr/bin/time failed";
    }
  }
  if (!update_failure.empty()) {
    fprintf(stderr, "tftp_bench: %s\n", update_failure.c_str());
    return "\nNo whole-update figures: " + update_failure + ".\n";
  }

  std::ostringstream table;
  char line[512];
  table << "\n| size | ruk download median s | whole update median s | min s | max s | update / "
           "download |\n";
  table << "|---|---:|---:|---:|---:|---:|\n";
  for (int mib : opt.sizes_mib) {
    double d = ruk_download_medians.count(mib) ? ruk_download_medians[mib] : 0;
    const std::vector<double>& v = updates[mib];
    double u = median(v);
    char download[32] = "-", ratio[32] = "-";
    if (d > 0) {
      snprintf(download, sizeof download, "%.3f", d);
      snprintf(ratio, sizeof ratio, "%.2f", u / d);
    }
    snprintf(line, sizeof line, "| %d MiB | %s | %.3f | %.3f | %.3f | %s |\n", mib, download, u,
             *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()), ratio);
    table << line;
  }
  long image_bytes = static_cast<long>(images[mib_name(largest)].size());
  long goal_kib = (image_bytes + (4L << 20)) / 1024;
  snprintf(line, sizeof line,
           "\nPeak memory of the whole update of the %d MiB image (%ld bytes), "
           "/usr/bin/time -v maximum resident set size: %ld KiB, %.2f times the image; "
           "goal at most the image + 4 MiB, %ld KiB: %s.",
           largest, image_bytes, peak_kib[largest],
           peak_kib[largest] * 1024.0 / static_cast<double>(image_bytes), goal_kib,
           peak_kib[largest] <= goal_kib ? "met" : "missed");
  table << line;
  if (smallest != largest) {
    long small_bytes = static_cast<long>(images[mib_name(smallest)].size());
    snprintf(line, sizeof line,
             " For the %d MiB image: %ld KiB, so about %ld KiB do not grow with the image "
             "(the program, the C and C++ libraries, the simulator's models).",
             smallest, peak_kib[smallest], peak_kib[smallest] - small_bytes / 1024);
    table << line;
  }
  table << "\n";
  return table.str();
}

// Every client through the lossy relay: 2 % of the datagrams lost each way,
// the same seeds for every client, each seed a round in which the clients
// take turns; then without loss but with 0.5 ms each way, a LAN's round trip.
std::string loss_table(const options& opt, const client_list& clients, image_map& images,
                       int server_port) {
  struct condition {
    std::string part;
    std::string label;
    std::string name;
    bench::relay_setting relay;
    int runs;
  };
  bench::relay_setting lossy;
  lossy.server_port = server_port;
  lossy.loss_to_client = 0.02;
  lossy.loss_to_server = 0.02;
  bench::relay_setting delayed;
  delayed.server_port = server_port;
  delayed.delay_us = 500;
  const condition conditions[] = {
      {"loss", "256 KiB, 2 % loss each way", "loss256k.bin", lossy, opt.loss_seeds_small},
      {"loss", "4 MiB, 2 % loss each way", "loss4m.bin", lossy, opt.loss_seeds_large},
      {"delay", "1 MiB, 0.5 ms each way", "delay1m.bin", delayed, opt.delay_rounds},
  };

  std::ostringstream table;
  char line[512];
  snprintf(line, sizeof line,
           "\nThrough the lossy relay (bench/lossy_relay): %d seeds for 256 KiB and %d for 4 MiB, "
           "%d rounds for the delay; medians; a run still busy after %.0f s is stopped and counted "
           "as not finished (and as that long in the median).\n\n",
           opt.loss_seeds_small, opt.loss_seeds_large, opt.delay_rounds, opt.loss_limit_s);
  table << line;
  table
      << "| condition | client | finished | median s | min s | max s | / busybox tftp | / fastest "
         "peer | datagrams lost |\n";
  table << "|---|---|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const condition& c : conditions) {
    if (opt.parts.count(c.part) == 0) continue;
    std::map<std::string, std::vector<double>> seconds;
    std::map<std::string, int> finished;
    std::map<std::string, long> lost;
    for (int run = 0; run < c.runs; ++run) {
      bench::relay_setting setting = c.relay;
      setting.seed = static_cast<unsigned>(run + 1);
      for (size_t k = 0; k < clients.size(); ++k) {
        auto& cl = clients[(k + static_cast<size_t>(run)) % clients.size()];
        bench::lossy_relay relay(setting);
        if (!relay.start()) die("cannot start the relay");
        double s = 0;
        bool ok = cl.second(c.name, images[c.name], relay.port(), opt.loss_limit_s, &s);
        relay.stop();
        if (!ok) s = std::max(s, opt.loss_limit_s);
        seconds[cl.first].push_back(s);
        finished[cl.first] += ok;
        lost[cl.first] += relay.lost_to_client + relay.lost_to_server;
        fprintf(stderr, "%s, seed %d, %-13s %8.3f s%s, %ld lost\n", c.label.c_str(), run + 1,
                cl.first.c_str(), s, ok ? "" : " (not finished)",
                relay.lost_to_client + relay.lost_to_server);
      }
    }
    double busybox = seconds.count("busybox tftp") ? median(seconds["busybox tftp"]) : 0;
    double fastest = 1e30;
    for (auto& cl : clients) {
      if (cl.first != "ruk") fastest = std::min(fastest, median(seconds[cl.first]));
    }
    for (auto& cl : clients) {
      const std::vector<double>& v = seconds[cl.first];
      double m = median(v);
      snprintf(line, sizeof line, "| %s | %s | %d/%d | %.3f | %.3f | %.3f | %.2f | %.2f | %ld |\n",
               c.label.c_str(), cl.first.c_str(), finished[cl.first], c.runs, m,
               *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()),
               busybox > 0 ? m / busybox : 0.0, m / fastest, lost[cl.first]);
      table << line;
    }
  }
  return table.str();
}

// Every client once from a server 150 ms away: the relay holds each datagram
// 75 ms each way and loses none. A client whose ACK waits less than the round
// trip sends it again before the next block can come. tftpd-hpa answers a
// repeated ACK with nothing and sends a block again only after a second
// without its ACK, so it sends each block once here, and what the client sent
// (its request and its ACKs) is what the relay passed less the blocks.
std::string slow_server_table(const options& opt, const client_list& clients, image_map& images,
                              const std::string& name, int server_port) {
  bench::relay_setting slow;
  slow.server_port = server_port;
  slow.delay_us = 75000;
  long blocks = static_cast<long>(images[name].size() / 512 + 1);
  std::ostringstream table;
  char line[512];
  snprintf(line, sizeof line,
           "\nFrom a server 150 ms away (the relay holding each datagram 75 ms each way, no "
           "loss): %ld KiB, %ld blocks, each client once. Datagrams from the client are the "
           "relayed ones less the blocks (the server sent each block once): its request and its "
           "ACKs.\n\n",
           static_cast<long>(images[name].size() >> 10), blocks);
  table << line;
  table << "| client | finished | s | datagrams from the client | per block |\n";
  table << "|---|---:|---:|---:|---:|\n";
  for (const auto& cl : clients) {
    bench::lossy_relay relay(slow);
    if (!relay.start()) die("cannot start the relay");
    double s = 0;
    bool ok = cl.second(name, images[name], relay.port(), opt.loss_limit_s, &s);
    relay.stop();
    long from_client = relay.relayed - blocks;
    fprintf(stderr, "150 ms server, %-13s %8.3f s%s, %ld datagrams from the client\n",
            cl.first.c_str(), s, ok ? "" : " (not finished)", from_client);
    snprintf(line, sizeof line, "| %s | %s | %.3f | %ld | %.2f |\n", cl.first.c_str(),
             ok ? "yes" : "no", s, from_client, static_cast<double>(from_client) / blocks);
    table << line;
  }
  return table.str();
}

}  // namespace

int main(int argc, char** argv) {
  options opt = read_options(argc, argv);
  std::string load_before = load_average();
  signal(SIGINT, on_signal);
  signal(SIGTERM, on_signal);
  atexit(stop_children);

  char dir_template[] = "/tmp/ruk-tftp-bench-XXXXXX";
  if (mkdtemp(dir_template) == nullptr) die("mkdtemp");
  std::string dir = dir_template;
  std::string serve = dir + "/serve";
  mkdir(serve.c_str(), 0755);
  chmod(dir.c_str(), 0755);

  // ruk's block numbers do not wrap: the largest file it can fetch has 65535
  // blocks, the last one short (65535 * 512 - 1 bytes, 513 bytes short of
  // 32 MiB). A size above that is served at that length to every client.
  const size_t largest_file = 65535 * 512 - 1;
  image_map images;
  auto add_image = [&](const std::string& name, size_t bytes, unsigned seed) {
    images[name] = make_image(std::min(bytes, largest_file), seed);
    std::ofstream(serve + "/" + name, std::ios::binary) << images[name];
    chmod((serve + "/" + name).c_str(), 0644);
  };
  auto mib_name = [](int mib) { return "image" + std::to_string(mib) + ".bin"; };
  for (int mib : opt.sizes_mib)
    add_image(mib_name(mib), static_cast<size_t>(mib) << 20, 1000 + mib);

  tftp_server server;
  server.start_serving(serve);
  usleep(100000);

  std::string here = self_dir();
  std::string ruk_download = here + "/ruk_download";
  std::string ruk_update = here + "/ruk_update";
  // The helpers are built where the client and the application are in
  // the tree (bench/CMakeLists.txt says so at build time).
  bool have_ruk = ruk_helpers_built && access(ruk_download.c_str(), X_OK) == 0;
  bool have_update = ruk_helpers_built && access(ruk_update.c_str(), X_OK) == 0;

  std::string out = dir + "/out";
  auto peer = [&](std::vector<std::string> argv) -> client {
    return [&, argv](const std::string& name, const std::string& content, int port, double limit,
                     double* s) {
      std::vector<std::string> a;
      for (const std::string& w : argv) {
        if (w == "NAME") {
          a.push_back(name);
        } else if (w == "URL") {
          a.push_back("tftp://127.0.0.1:" + std::to_string(port) + "/" + name);
        } else if (w == "OUT") {
          a.push_back(out);
        } else if (w == "PORT") {
          a.push_back(std::to_string(port));
        } else {
          a.push_back(w);
        }
      }
      unlink(out.c_str());
      double t0 = now();
      pid_t pid = start(a);
      bool ok = finish(pid, limit);
      *s = now() - t0;
      return ok && read_file(out) == content;
    };
  };
  client_list clients;
  if (have_ruk) {
    // The helper sets up the panel and the keypad as the program has them,
    // then times GetTFTPFile alone and writes the seconds to its standard
    // output, the file to OUT. ruk's datagrams for port 69 go to port.
    clients.push_back({"ruk", [&](const std::string& name, const std::string& content, int port,
                                  double limit, double* s) {
                         unlink(out.c_str());
                         std::string timing = dir + "/timing";
                         int fd = open(timing.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                         pid_t pid = start({ruk_download, name, out}, -1, false,
                                           {"RUK_SIM_PORT69=" + std::to_string(port)}, fd);
                         close(fd);
                         bool ok = finish(pid, limit);
                         *s = tagged_number(read_file(timing), "seconds");
                         return ok && *s > 0 && read_file(out) == content;
                       }});
  }
  clients.push_back({"tftp-hpa", peer({"tftp", "-m", "binary", "127.0.0.1", "PORT", "-c", "get",
                                       "NAME", "OUT"})});
  clients.push_back({"busybox tftp", peer({"busybox", "tftp", "-g", "-l", "OUT", "-r", "NAME",
                                           "127.0.0.1", "PORT"})});
  clients.push_back({"curl", peer({"curl", "-s", "--tftp-no-options", "-o", "OUT", "URL"})});
  clients.push_back(
      {"atftp", peer({"atftp", "-g", "-l", "OUT", "-r", "NAME", "127.0.0.1", "PORT"})});

  std::ostringstream table;
  if (opt.parts.count("loopback")) {
    table << loopback_table(opt, clients, images, mib_name, server.port);
  }
  if (opt.parts.count("update") && have_update) {
    std::vector<std::string> env = {"RUK_SIM_PORT69=" + std::to_string(server.port)};
    table << update_table(opt, ruk_update, dir, serve, env, images, mib_name);
  } else if (opt.parts.count("update")) {
    table << "\nruk's update helper (bench/ruk_update) was not built: no whole-update figures.\n";
  }
  if (opt.parts.count("loss") || opt.parts.count("delay")) {
    add_image("loss256k.bin", 256u << 10, 256);
    add_image("loss4m.bin", 4u << 20, 4096);
    add_image("delay1m.bin", 1u << 20, 1024);
    table << loss_table(opt, clients, images, server.port);
  }
  if (opt.parts.count("slow")) {
    add_image("slow64k.bin", 64u << 10, 64);
    table << slow_server_table(opt, clients, images, "slow64k.bin", server.port);
  }
  if (!have_ruk) {
    table << "\nruk's download helper (bench/ruk_download) was not built: no ruk rows.\n";
  }
  stop_children();
  printf("%s", table.str().c_str());
  if (!opt.results.empty()) write_results(opt.results, table.str(), opt, load_before);
  return 0;
}
