// The program's socket and sendto calls. Sockets of other kinds than the
// models serve go to the C library unchanged. A datagram goes only where the
// phone's eth0 configuration would send it (sim/seam/netconfig_model.h), and one
// for port 69 may be sent to another port (sim/seam/port69.h).
#include <errno.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <string>

#include "sim/seam/fd_table.h"
#include "sim/models/netconfig_decode.h"
#include "sim/seam/netconfig_model.h"
#include "sim/seam/port69.h"
#include "sim/seam/settings.h"
#include "sim/seam/settle.h"
#include "sim/seam/real.h"

namespace sim {
namespace {

int port69_redirect = 0;  // 0: datagrams for port 69 go to port 69

void set_up_from_settings() {
  if (settings::given(setting::port69)) {
    port69_redirect = static_cast<int>(settings::number(setting::port69));
  }
}

setup_registration from_settings(set_up_from_settings);

}  // namespace

void redirect_port69(int port) {
  port69_redirect = port;
}

int port69_target() {
  return port69_redirect != 0 ? port69_redirect : 69;
}

}  // namespace sim

extern "C" int __wrap_socket(int domain, int type, int protocol) {
  sim::settle();
  if (domain == AF_PACKET) return sim::netconfig::open_socket(domain, type, protocol);
  return __real_socket(domain, type, protocol);
}

extern "C" int __wrap_setsockopt(int fd, int level, int name, const void* value, socklen_t n) {
  auto f = sim::lookup(fd);
  sim::settle_for(f);
  if (f) return f->setsockopt(level, name, value, n);
  return __real_setsockopt(fd, level, name, value, n);
}

extern "C" ssize_t __wrap_sendto(int fd, const void* buffer, size_t n, int flags,
                                 const struct sockaddr* to, socklen_t to_length) {
  sim::run_setup_once();
  sim::settle();
  if (to != nullptr && to->sa_family == AF_INET && to_length >= sizeof(sockaddr_in)) {
    sockaddr_in address;
    memcpy(&address, to, sizeof address);
    std::string why;
    int fate = sim::netconfig::datagram_fate(ntohl(address.sin_addr.s_addr), &why);
    if (fate != 0) {
      std::string where =
          sim::address_text(&address) + ":" + std::to_string(ntohs(address.sin_port));
      if (fate == ENETUNREACH) {
        sim::netconfig::log("sendto " + where + " failed: " + why);
        errno = ENETUNREACH;
        return -1;
      }
      sim::netconfig::log("sendto " + where + " lost: " + why);
      return static_cast<ssize_t>(n);
    }
    if (ntohs(address.sin_port) == 69 && sim::port69_target() != 69) {
      address.sin_port = htons(static_cast<uint16_t>(sim::port69_target()));
      return __real_sendto(fd, buffer, n, flags, reinterpret_cast<const sockaddr*>(&address),
                           sizeof address);
    }
  }
  return __real_sendto(fd, buffer, n, flags, to, to_length);
}
