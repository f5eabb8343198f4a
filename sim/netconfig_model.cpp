#include "sim/netconfig_model.h"

#include <arpa/inet.h>
#include <net/if_arp.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/if_ether.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>

#include <map>
#include <memory>

#include "sim/fd_table.h"
#include "sim/netconfig_decode.h"
#include "sim/setting_error.h"
#include "sim/transcript.h"

extern "C" int __real_socket(int domain, int type, int protocol);

namespace sim {

std::shared_ptr<file> make_kernel_socket(int fd);

namespace {

struct interface {
  short flags = 0;
  unsigned short hw_type = ARPHRD_ETHER;
  unsigned char hw[6] = {0x02, 0x00, 0x5E, 0x10, 0x00, 0x01};
  sockaddr address{}, netmask{}, broadcast{};
};

struct state {
  netconfig::mode mode = netconfig::mode::record;
  std::map<std::string, interface> interfaces;
  std::vector<std::string> lines;
  state() { reset_interfaces(true); }
  void reset_interfaces(bool with_eth0) {
    interfaces.clear();
    interface lo;
    lo.flags = IFF_UP | IFF_LOOPBACK | IFF_RUNNING;
    lo.hw_type = ARPHRD_LOOPBACK;
    memset(lo.hw, 0, sizeof lo.hw);
    interfaces["lo"] = lo;
    if (with_eth0) {
      interface eth0;
      eth0.flags = IFF_BROADCAST | IFF_MULTICAST;
      interfaces["eth0"] = eth0;
    }
  }
};

state& st() {
  static state* s = new state;  // usable from static destructors too
  return *s;
}

// Answers a request from the model of the phone's interfaces.
int answer(unsigned long request, void* arg) {
  if (request == SIOCADDRT || request == SIOCDELRT) {
    rtentry route;
    memcpy(&route, arg, sizeof route);
    if (route.rt_dev != nullptr && st().interfaces.count(route.rt_dev) == 0) return ENODEV;
    return 0;
  }
  if (request_name(request).compare(0, 4, "SIOC") != 0) return ENOTTY;
  ifreq r;
  memcpy(&r, arg, sizeof r);
  auto it = st().interfaces.find(std::string(r.ifr_name, strnlen(r.ifr_name, IFNAMSIZ)));
  if (it == st().interfaces.end()) return ENODEV;
  interface& i = it->second;
  switch (request) {
    case SIOCGIFHWADDR:
      r.ifr_hwaddr.sa_family = i.hw_type;
      memcpy(r.ifr_hwaddr.sa_data, i.hw, sizeof i.hw);
      break;
    case SIOCGIFFLAGS:
      r.ifr_flags = i.flags;
      break;
    case SIOCSIFFLAGS:
      i.flags = r.ifr_flags;
      break;
    case SIOCGIFADDR:
      r.ifr_addr = i.address;
      break;
    case SIOCGIFNETMASK:
      r.ifr_netmask = i.netmask;
      break;
    case SIOCGIFBRDADDR:
      r.ifr_broadaddr = i.broadcast;
      break;
    default: {
      if (r.ifr_addr.sa_family != AF_INET) return EINVAL;
      sockaddr& field = request == SIOCSIFADDR      ? i.address
                        : request == SIOCSIFNETMASK ? i.netmask
                                                    : i.broadcast;
      field = r.ifr_addr;
    }
  }
  memcpy(arg, &r, sizeof r);
  return 0;
}

class model_socket : public file {
 public:
  int ioctl(unsigned long request, void* arg) override {
    int error = arg == nullptr ? EFAULT : answer(request, arg);
    netconfig::log(describe(request, arg, error == 0 ? 0 : -1, error));
    return error == 0 ? 0 : fail(error);
  }
  int setsockopt(int level, int name, const void* value, socklen_t n) override {
    netconfig::log(describe_option(level, name, value, n, 0, 0));
    return 0;
  }
  void close() override { netconfig::log("close"); }
};

std::string socket_text(int domain, int type, int protocol) {
  if (domain == AF_PACKET && (type & 0xF) == SOCK_PACKET && protocol == htons(ETH_P_ALL)) {
    return "socket AF_PACKET SOCK_PACKET ETH_P_ALL";
  }
  return "socket family " + std::to_string(domain) + " type " + std::to_string(type & 0xF) +
         " protocol " + std::to_string(protocol);
}

void set_up_from_environment() {
  const char* mode = getenv("RUK_SIM_NET");
  std::string m = mode != nullptr ? mode : "";
  std::string why;
  if (m == "kernel") {
    if (!netconfig::set_mode(netconfig::mode::kernel, &why))
      setting_error("RUK_SIM_NET", "kernel mode refused: " + why);
  } else if (m == "refuse") {
    netconfig::set_mode(netconfig::mode::refuse, nullptr);
  } else if (!m.empty() && m != "record") {
    setting_error("RUK_SIM_NET", "\"" + m + "\" is none of record, kernel, refuse");
  }
  const char* eth0 = getenv("RUK_SIM_ETH0");
  std::string e = eth0 != nullptr ? eth0 : "";
  if (e == "missing") {
    netconfig::set_eth0_present(false);
  } else if (!e.empty() && e != "present") {
    setting_error("RUK_SIM_ETH0", "\"" + e + "\" is neither missing nor present");
  }
}

setup_registration from_environment(set_up_from_environment);

}  // namespace

bool netconfig::set_mode(mode m, std::string* why_not) {
  if (m == mode::kernel) {
    std::string why = kernel_refusal();
    if (!why.empty()) {
      if (why_not != nullptr) *why_not = why;
      return false;
    }
  }
  st().mode = m;
  return true;
}

netconfig::mode netconfig::current_mode() {
  return st().mode;
}

void netconfig::set_eth0_present(bool present) {
  st().reset_interfaces(present);
}

int netconfig::flags(const std::string& name) {
  auto it = st().interfaces.find(name);
  return it == st().interfaces.end() ? -1 : static_cast<unsigned short>(it->second.flags);
}

const std::vector<std::string>& netconfig::requests() {
  return st().lines;
}
void netconfig::clear_requests() {
  st().lines.clear();
}

void netconfig::log(const std::string& line) {
  st().lines.push_back(line);
  transcript("net", line);
}

int netconfig::open_socket(int domain, int type, int protocol) {
  run_setup_once();
  std::string text = socket_text(domain, type, protocol);
  int fd = -1;
  int error = 0;
  switch (st().mode) {
    case mode::refuse:
      error = EPERM;
      break;
    case mode::record:
      fd = adopt(std::make_shared<model_socket>());
      if (fd < 0) error = EMFILE;
      break;
    case mode::kernel:
      fd = __real_socket(domain, type, protocol);
      if (fd < 0) {
        error = errno;
      } else {
        adopt_fd(fd, make_kernel_socket(fd));
      }
      break;
  }
  log(fd < 0 ? text + " failed: " + strerror(error) : text);
  errno = error;
  return fd < 0 ? -1 : fd;
}

}  // namespace sim
