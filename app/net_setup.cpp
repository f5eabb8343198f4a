#include "app/net_setup.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string.h>
#include <unistd.h>

#include "app/net_requests.h"

namespace {

int open_request_socket() {
  return socket(AF_PACKET, SOCK_PACKET, htons(ETH_P_ALL));
}

// The interface name field holds at most 15 characters and a zero byte.
void copy_name(char (&name)[IFNAMSIZ], const str& device) {
  int n = device.length();
  if (n > IFNAMSIZ - 1) n = IFNAMSIZ - 1;
  memset(name, 0, IFNAMSIZ);
  memcpy(name, device.data(), static_cast<size_t>(n));
}

void put_address(sockaddr& field, unsigned address) {
  sockaddr_in in;
  memset(&in, 0, sizeof in);
  in.sin_family = AF_INET;
  in.sin_port = 0;
  in.sin_addr.s_addr = address;
  memcpy(&field, &in, sizeof in);
}

void put_address(sockaddr& field, const str& text) {
  unsigned address = 0;
  set_inetadr(address, text);
  put_address(field, address);
}

// The broadcast address of address/netmask as a dotted text.
str broadcast_of(const str& address, const str& netmask) {
  str text;
  for (int i = 0; i < 4; ++i) {
    int a = address.get_field(i, '.', false).value();
    int m = netmask.get_field(i, '.', false).value();
    if (i > 0) text += '.';
    text += str((a | ~m) & 0xFF, 0);
  }
  return text;
}

void add_default_route(int fd, const str& gateway, char (&device)[IFNAMSIZ]) {
  rtentry route;
  memset(&route, 0, sizeof route);
  put_address(route.rt_dst, 0u);
  put_address(route.rt_gateway, gateway);
  put_address(route.rt_genmask, 0u);
  route.rt_flags = default_route_flags;
  route.rt_metric = default_route_metric;
  route.rt_dev = device;
  route.rt_window = 0;
  ioctl(fd, SIOCADDRT, &route);
}

}  // namespace

void init_eth0() {
  int fd = open_request_socket();
  if (fd < 0) return;
  ifreq request;
  memset(&request, 0, sizeof request);
  strcpy(request.ifr_name, "eth0");
  int on = 1;
  bool ok = ioctl(fd, SIOCGIFHWADDR, &request) == 0 &&
            setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != -1 &&
            ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  if (ok) {
    request.ifr_flags = static_cast<short>(request.ifr_flags | eth0_start_flags);
    ioctl(fd, SIOCSIFFLAGS, &request);
  }
  close(fd);
}

void set_ethernet_device(const str& address, const str& netmask, const str& gateway,
                         const str& device) {
  int fd = open_request_socket();
  if (fd < 0) return;
  ifreq request;
  memset(&request, 0, sizeof request);
  copy_name(request.ifr_name, device);

  // A failing request is passed over: each later one may still succeed.
  put_address(request.ifr_addr, address);
  ioctl(fd, SIOCSIFADDR, &request);
  put_address(request.ifr_netmask, netmask);
  ioctl(fd, SIOCSIFNETMASK, &request);
  put_address(request.ifr_broadaddr, broadcast_of(address, netmask));
  ioctl(fd, SIOCSIFBRDADDR, &request);
  if (!gateway.compare_sensitiv("0.0.0.0", 7)) add_default_route(fd, gateway, request.ifr_name);
  close(fd);
}

void set_inetadr(unsigned& out, const str& text) {
  unsigned char bytes[4];
  for (int i = 0; i < 4; ++i) {
    bytes[i] = static_cast<unsigned char>(text.get_field(i, '.', false).value() & 0xFF);
  }
  // Byte 0 first in memory: network byte order on any machine.
  memcpy(&out, bytes, sizeof bytes);
}
