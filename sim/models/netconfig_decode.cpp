#include "sim/models/netconfig_decode.h"

#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include "sim/models/net_table.h"

namespace sim {
namespace {

struct known {
  unsigned long code;
  const char* name;
};

const known requests[] = {
    {SIOCGIFHWADDR, "SIOCGIFHWADDR"},   {SIOCGIFFLAGS, "SIOCGIFFLAGS"},
    {SIOCSIFFLAGS, "SIOCSIFFLAGS"},     {SIOCSIFADDR, "SIOCSIFADDR"},
    {SIOCSIFNETMASK, "SIOCSIFNETMASK"}, {SIOCSIFBRDADDR, "SIOCSIFBRDADDR"},
    {SIOCADDRT, "SIOCADDRT"},           {SIOCDELRT, "SIOCDELRT"},
    {SIOCGIFADDR, "SIOCGIFADDR"},       {SIOCGIFNETMASK, "SIOCGIFNETMASK"},
    {SIOCGIFBRDADDR, "SIOCGIFBRDADDR"},
};

std::string hex(unsigned value) {
  char text[16];
  snprintf(text, sizeof text, "0x%X", value);
  return text;
}

std::string name_of(const ifreq& r) {
  return std::string(r.ifr_name, strnlen(r.ifr_name, IFNAMSIZ));
}

std::string route_text(const rtentry& route) {
  std::string dev = route.rt_dev != nullptr ? route.rt_dev : "(none)";
  return "dst " + address_text(&route.rt_dst) + " gateway " + address_text(&route.rt_gateway) +
         " genmask " + address_text(&route.rt_genmask) + " flags " + hex(route.rt_flags) +
         " metric " + std::to_string(route.rt_metric) + " dev " + dev + " window " +
         std::to_string(route.rt_window);
}

}  // namespace

std::string request_name(unsigned long request) {
  for (const known& k : requests) {
    if (k.code == request) return k.name;
  }
  return "ioctl " + hex(static_cast<unsigned>(request));
}

bool is_get_request(unsigned long request) {
  return request == SIOCGIFHWADDR || request == SIOCGIFFLAGS || request == SIOCGIFADDR ||
         request == SIOCGIFNETMASK || request == SIOCGIFBRDADDR;
}

std::string address_text(const void* sockaddr_bytes) {
  sockaddr_in in;
  memcpy(&in, sockaddr_bytes, sizeof in);
  if (in.sin_family != AF_INET) return "family " + std::to_string(in.sin_family);
  return dotted(ntohl(in.sin_addr.s_addr));
}

std::string describe_request(unsigned long request, const void* arg) {
  std::string name = request_name(request);
  if (arg == nullptr) return name;
  if (request == SIOCADDRT || request == SIOCDELRT) {
    rtentry route;
    memcpy(&route, arg, sizeof route);
    return name + " " + route_text(route);
  }
  bool known_request = name.compare(0, 4, "SIOC") == 0;
  if (!known_request) return name;
  ifreq r;
  memcpy(&r, arg, sizeof r);
  std::string text = name + " " + name_of(r);
  if (request == SIOCSIFFLAGS) return text + " " + hex(static_cast<unsigned short>(r.ifr_flags));
  if (request == SIOCSIFADDR || request == SIOCSIFNETMASK || request == SIOCSIFBRDADDR) {
    return text + " " + address_text(&r.ifr_addr);
  }
  return text;
}

std::string describe_result(unsigned long request, const void* arg) {
  ifreq r;
  memcpy(&r, arg, sizeof r);
  if (request == SIOCGIFFLAGS) return hex(static_cast<unsigned short>(r.ifr_flags));
  if (request == SIOCGIFHWADDR) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(r.ifr_hwaddr.sa_data);
    char text[24];
    snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3], b[4],
             b[5]);
    return text;
  }
  return address_text(&r.ifr_addr);
}

std::string describe(unsigned long request, const void* arg, int result, int error) {
  std::string text = describe_request(request, arg);
  if (result != 0) return text + " failed: " + strerror(error);
  if (is_get_request(request) && arg != nullptr)
    return text + " = " + describe_result(request, arg);
  return text;
}

std::string describe_option(int level, int name, const void* value, unsigned n, int result,
                            int error) {
  int on = 0;
  if (value != nullptr && n >= sizeof on) memcpy(&on, value, sizeof on);
  std::string option = level == SOL_SOCKET && name == SO_BROADCAST
                           ? "SO_BROADCAST"
                           : std::to_string(level) + " " + std::to_string(name);
  std::string text = "setsockopt " + option + " " + std::to_string(on);
  return result == 0 ? text : text + " failed: " + strerror(error);
}

}  // namespace sim
