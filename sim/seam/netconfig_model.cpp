#include "sim/seam/netconfig_model.h"

#include <arpa/inet.h>
#include <net/if_arp.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/if_ether.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <memory>

#include "sim/models/transcript_format.h"
#include "sim/seam/fd_table.h"
#include "sim/models/net_table.h"
#include "sim/models/netconfig_decode.h"
#include "sim/seam/settings.h"
#include "sim/seam/transcript.h"
#include "sim/seam/real.h"

namespace sim {

namespace kind = transcript_format::kind;

std::shared_ptr<file> make_kernel_socket(int fd);

namespace {

struct state {
  netconfig::mode mode = netconfig::mode::record;
  net_table table;
  bool any_host_on_link = true;
  std::vector<uint32_t> link_hosts;  // when not any_host_on_link
  std::vector<std::string> lines;
  state() { table.reset(true); }
};

state& st() {
  static state* s = new state;  // usable from static destructors too
  return *s;
}

// Answers a request from the model of the phone's interfaces.
int answer(unsigned long request, void* arg) {
  if (request_name(request).compare(0, 4, "SIOC") != 0) return ENOTTY;
  return st().table.request(request, arg);
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

void set_up_from_settings() {
  std::string why;
  if (settings::is(setting::net, "kernel")) {
    if (!netconfig::set_mode(netconfig::mode::kernel, &why))
      settings::refuse(setting::net, "kernel mode refused: " + why);
  } else if (settings::is(setting::net, "refuse")) {
    netconfig::set_mode(netconfig::mode::refuse, nullptr);
  }
  if (settings::is(setting::eth0, "missing")) netconfig::set_eth0_present(false);
  if (settings::given(setting::eth0_link)) {
    std::vector<uint32_t> hosts;
    for (const std::string& host : settings::list(setting::eth0_link)) {
      in_addr a;
      if (inet_pton(AF_INET, host.c_str(), &a) != 1) {
        settings::refuse(setting::eth0_link, "\"" + host + "\" is no IPv4 address");
      }
      hosts.push_back(ntohl(a.s_addr));
    }
    netconfig::set_link_hosts(hosts);
  }
}

setup_registration from_settings(set_up_from_settings);

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
  st().table.reset(present);
  st().any_host_on_link = true;
  st().link_hosts.clear();
}

void netconfig::set_eth0_carrier(bool carrier) {
  if (net_table::interface* eth0 = st().table.find("eth0")) eth0->carrier = carrier;
}

void netconfig::set_link_hosts(const std::vector<uint32_t>& hosts) {
  st().any_host_on_link = false;
  st().link_hosts = hosts;
}

int netconfig::flags(const std::string& name) {
  net_table::interface* i = st().table.find(name);
  return i == nullptr ? -1 : static_cast<unsigned short>(st().table.flags_read(*i));
}

std::vector<std::string> netconfig::routes() {
  return st().table.view();
}

int netconfig::datagram_fate(uint32_t destination, std::string* why) {
  if (st().mode == mode::kernel) return 0;  // the kernel decides for itself
  net_table::path p = st().table.route_to(destination);
  if (p.local) return 0;
  if (p.device.empty()) {
    *why = "no route to " + dotted(destination) + " from eth0's configuration";
    return ENETUNREACH;
  }
  const net_table::interface* link = st().table.find(p.device);
  if (!link->carrier) {
    *why = p.device + " has no carrier";
    return -1;
  }
  const std::vector<uint32_t>& hosts = st().link_hosts;
  if (!st().any_host_on_link && std::find(hosts.begin(), hosts.end(), p.next_hop) == hosts.end()) {
    *why = "no host " + dotted(p.next_hop) + " on " + p.device + "'s link answers";
    return -1;
  }
  return 0;
}

const std::vector<std::string>& netconfig::requests() {
  return st().lines;
}
void netconfig::clear_requests() {
  st().lines.clear();
}

void netconfig::log(const std::string& line) {
  st().lines.push_back(line);
  transcript(kind::net, line);
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
