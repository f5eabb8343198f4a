#include "sim/models/net_table.h"

#include <arpa/inet.h>
#include <errno.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <net/route.h>
#include <string.h>
#include <sys/ioctl.h>

namespace sim {
namespace {

constexpr uint32_t loopback_net = 0x7F000000;

// The flags __dev_change_flags takes from a request; the rest stay.
constexpr int changeable_flags = IFF_DEBUG | IFF_NOTRAILERS | IFF_NOARP | IFF_DYNAMIC |
                                 IFF_MULTICAST | IFF_PORTSEL | IFF_AUTOMEDIA;

uint32_t address_of(const sockaddr& a) {
  sockaddr_in in;
  memcpy(&in, &a, sizeof in);
  return ntohl(in.sin_addr.s_addr);
}

void put_address(sockaddr* a, uint32_t address) {
  sockaddr_in in;
  memset(&in, 0, sizeof in);
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(address);
  memcpy(a, &in, sizeof in);
}

int mask_length(uint32_t mask) {
  int n = 0;
  while (n < 32 && (mask & (0x80000000u >> n)) != 0) ++n;
  return n;
}

uint32_t make_mask(int length) {
  return length == 0 ? 0 : 0xFFFFFFFFu << (32 - length);
}

// bad_mask: the mask is not contiguous, or address has bits outside it.
bool bad_mask(uint32_t mask, uint32_t address) {
  uint32_t host = ~mask;
  return (address & host) != 0 || (host & (host + 1)) != 0;
}

// inet_abc_len: the prefix of an address's class; -1 for multicast.
int class_length(uint32_t a) {
  if ((a >> 24) == 0 || a == 0xFFFFFFFFu) return 0;
  if ((a & 0x80000000u) == 0) return 8;
  if ((a & 0xC0000000u) == 0x80000000u) return 16;
  if ((a & 0xE0000000u) == 0xC0000000u) return 24;
  if ((a & 0xF0000000u) == 0xF0000000u) return 32;
  return -1;
}

bool in_subnet(uint32_t a, uint32_t net, uint32_t mask) {
  return (a & mask) == (net & mask);
}

}  // namespace

std::string dotted(uint32_t a) {
  return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
         std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

void net_table::reset(bool with_eth0) {
  interfaces_.clear();
  routes_.clear();
  interface lo;
  lo.flags = IFF_UP | IFF_LOOPBACK;
  lo.hw_type = ARPHRD_LOOPBACK;
  lo.has_address = true;
  lo.local = loopback_net | 1;
  lo.mask = make_mask(8);
  interfaces_["lo"] = lo;
  if (with_eth0) {
    interface eth0;
    eth0.flags = IFF_BROADCAST | IFF_MULTICAST;
    eth0.hw_type = ARPHRD_ETHER;
    const unsigned char hw[6] = {0x02, 0x00, 0x5E, 0x10, 0x00, 0x01};
    memcpy(eth0.hw, hw, sizeof hw);
    interfaces_["eth0"] = eth0;
  }
}

net_table::interface* net_table::find(const std::string& name) {
  auto it = interfaces_.find(name);
  return it == interfaces_.end() ? nullptr : &it->second;
}

short net_table::flags_read(const interface& i) const {
  bool running = (i.flags & IFF_UP) != 0 && (i.carrier || (i.flags & IFF_LOOPBACK) != 0);
  return static_cast<short>(i.flags | (running ? IFF_RUNNING : 0));
}

int net_table::request(unsigned long code, void* arg) {
  if (code == SIOCADDRT || code == SIOCDELRT) return route_request(code, arg);
  return interface_request(code, arg);
}

int net_table::interface_request(unsigned long code, void* arg) {
  ifreq r;
  memcpy(&r, arg, sizeof r);
  r.ifr_name[IFNAMSIZ - 1] = 0;
  bool sets_address = code == SIOCSIFADDR || code == SIOCSIFNETMASK || code == SIOCSIFBRDADDR;
  bool gets_address = code == SIOCGIFADDR || code == SIOCGIFNETMASK || code == SIOCGIFBRDADDR;
  if (!sets_address && !gets_address && code != SIOCSIFFLAGS && code != SIOCGIFFLAGS &&
      code != SIOCGIFHWADDR) {
    return EINVAL;
  }
  if (sets_address && r.ifr_addr.sa_family != AF_INET) return EINVAL;
  std::string name = r.ifr_name;
  interface* i = find(name);
  if (i == nullptr) return ENODEV;
  if ((gets_address || code == SIOCSIFNETMASK || code == SIOCSIFBRDADDR) && !i->has_address) {
    return EADDRNOTAVAIL;
  }
  uint32_t value = address_of(r.ifr_addr);
  switch (code) {
    case SIOCGIFHWADDR:
      r.ifr_hwaddr.sa_family = i->hw_type;
      memcpy(r.ifr_hwaddr.sa_data, i->hw, sizeof i->hw);
      break;
    case SIOCGIFFLAGS:
      r.ifr_flags = flags_read(*i);
      break;
    case SIOCSIFFLAGS: {
      bool was_up = (i->flags & IFF_UP) != 0;
      i->flags = static_cast<short>((r.ifr_flags & (changeable_flags | IFF_UP)) |
                                    (i->flags & ~(changeable_flags | IFF_UP)));
      if (was_up && (i->flags & IFF_UP) == 0) drop_routes(name);
      break;
    }
    case SIOCGIFADDR:
      put_address(&r.ifr_addr, i->local);
      break;
    case SIOCGIFNETMASK:
      put_address(&r.ifr_netmask, i->mask);
      break;
    case SIOCGIFBRDADDR:
      put_address(&r.ifr_broadaddr, i->broadcast);
      break;
    case SIOCSIFADDR: {
      int length = class_length(value);
      if (length < 0) return EINVAL;
      if (i->has_address && i->local == value) break;
      if (i->has_address) drop_routes(name);
      i->has_address = value != 0;
      i->local = value;
      i->mask = make_mask(length);
      bool broadcast = (i->flags & IFF_BROADCAST) != 0 && length < 31;
      i->broadcast = broadcast ? (value | ~i->mask) : 0;
      break;
    }
    case SIOCSIFNETMASK: {
      if (bad_mask(value, 0)) return EINVAL;
      if (i->mask == value) break;
      drop_routes(name);
      uint32_t old_mask = i->mask;
      i->mask = value;
      bool follows = (i->flags & IFF_BROADCAST) != 0 && mask_length(value) < 31 &&
                     i->broadcast == (i->local | ~old_mask);
      if (follows) i->broadcast = i->local | ~value;
      break;
    }
    case SIOCSIFBRDADDR:
      if (i->broadcast == value) break;
      drop_routes(name);
      i->broadcast = value;
      break;
  }
  memcpy(arg, &r, sizeof r);
  return 0;
}

int net_table::route_request(unsigned long code, void* arg) {
  rtentry rt;
  memcpy(&rt, arg, sizeof rt);
  if (rt.rt_dst.sa_family != AF_INET) return EAFNOSUPPORT;
  route wanted;
  wanted.destination = address_of(rt.rt_dst);
  wanted.prefix = 32;
  if ((rt.rt_flags & RTF_HOST) == 0) {
    uint32_t mask = address_of(rt.rt_genmask);
    if (rt.rt_genmask.sa_family != AF_INET && (mask != 0 || rt.rt_genmask.sa_family != 0)) {
      return EAFNOSUPPORT;
    }
    if (bad_mask(mask, wanted.destination)) return EINVAL;
    wanted.prefix = mask_length(mask);
  }
  if (rt.rt_metric != 0) wanted.priority = rt.rt_metric - 1;
  if (rt.rt_dev != nullptr) {
    char name[IFNAMSIZ] = {};
    strncpy(name, rt.rt_dev, IFNAMSIZ - 1);
    if (find(name) == nullptr) return ENODEV;
    wanted.device = name;
  }
  if (rt.rt_gateway.sa_family == AF_INET) wanted.gateway = address_of(rt.rt_gateway);

  if (code == SIOCDELRT) {
    for (auto it = routes_.begin(); it != routes_.end(); ++it) {
      bool like = it->destination == wanted.destination && it->prefix == wanted.prefix &&
                  (wanted.gateway == 0 || it->gateway == wanted.gateway) &&
                  (wanted.device.empty() || it->device == wanted.device);
      if (like) {
        routes_.erase(it);
        return 0;
      }
    }
    return ESRCH;
  }
  if ((rt.rt_flags & RTF_GATEWAY) != 0 && wanted.gateway == 0) return EINVAL;

  if (wanted.gateway != 0) {
    // The gateway must be on a connected subnet (of the given device), or
    // be the phone's own address.
    bool reached = false;
    for (const route& c : connected()) {
      if (!wanted.device.empty() && c.device != wanted.device) continue;
      const interface& i = interfaces_.at(c.device);
      bool subnet_broadcast = c.prefix < 31 && (wanted.gateway == i.broadcast ||
                                                wanted.gateway == (c.destination | ~i.mask));
      if (in_subnet(wanted.gateway, c.destination, i.mask) && !subnet_broadcast) {
        reached = true;
        if (wanted.device.empty()) wanted.device = c.device;
      }
    }
    for (const auto& named : interfaces_) {
      const interface& i = named.second;
      if (!i.has_address || i.local != wanted.gateway) continue;
      if (!wanted.device.empty() && named.first != wanted.device) continue;
      if ((i.flags & IFF_UP) == 0) return ENETDOWN;
      reached = true;
      wanted.device = named.first;
    }
    if (!reached) return ENETUNREACH;
  } else if (wanted.device.empty()) {
    return ENODEV;
  } else if ((interfaces_.at(wanted.device).flags & IFF_UP) == 0) {
    return ENETDOWN;
  }

  for (const route& r : routes_) {
    if (r.destination == wanted.destination && r.prefix == wanted.prefix &&
        r.priority == wanted.priority && r.gateway == wanted.gateway && r.device == wanted.device) {
      return EEXIST;
    }
  }
  auto at = routes_.begin();
  while (at != routes_.end() &&
         !(at->prefix == wanted.prefix && at->destination == wanted.destination &&
           at->priority == wanted.priority)) {
    ++at;
  }
  routes_.insert(at, wanted);
  return 0;
}

void net_table::drop_routes(const std::string& device) {
  std::vector<route> kept;
  for (const route& r : routes_) {
    if (r.device != device) kept.push_back(r);
  }
  routes_.swap(kept);
}

std::vector<net_table::route> net_table::connected() const {
  std::vector<route> found;
  for (const auto& named : interfaces_) {
    const interface& i = named.second;
    if ((i.flags & IFF_UP) == 0 || !i.has_address) continue;
    route r;
    r.destination = i.local & i.mask;
    r.prefix = mask_length(i.mask);
    r.device = named.first;
    if ((r.destination >> 24) != 0) found.push_back(r);
  }
  return found;
}

net_table::path net_table::route_to(uint32_t destination) const {
  path p;
  for (const auto& named : interfaces_) {
    const interface& i = named.second;
    bool own = i.has_address && i.local == destination;
    bool loopback = (i.flags & IFF_LOOPBACK) != 0 && (i.flags & IFF_UP) != 0 &&
                    in_subnet(destination, i.local, i.mask);
    if (own || loopback) {
      p.local = true;
      p.device = "lo";
      return p;
    }
  }
  const route* best = nullptr;
  std::vector<route> all = connected();
  all.insert(all.end(), routes_.begin(), routes_.end());
  for (const route& r : all) {
    if (!in_subnet(destination, r.destination, make_mask(r.prefix))) continue;
    if ((interfaces_.at(r.device).flags & IFF_UP) == 0) continue;
    if (best == nullptr || r.prefix > best->prefix ||
        (r.prefix == best->prefix && r.priority < best->priority)) {
      best = &r;
    }
  }
  if (best == nullptr) return p;
  p.device = best->device;
  p.next_hop = best->gateway != 0 ? best->gateway : destination;
  return p;
}

std::vector<std::string> net_table::view() const {
  std::vector<std::string> lines;
  for (const route& r : connected()) {
    if (r.device == "lo") continue;
    lines.push_back(dotted(r.destination) + "/" + std::to_string(r.prefix) + " dev " + r.device +
                    " scope link");
  }
  for (const route& r : routes_) {
    std::string text = r.prefix == 0 && r.destination == 0
                           ? std::string("default")
                           : dotted(r.destination) + "/" + std::to_string(r.prefix);
    if (r.gateway != 0) text += " via " + dotted(r.gateway);
    text += " dev " + r.device;
    if (r.priority != 0) text += " metric " + std::to_string(r.priority + 1);
    lines.push_back(text);
  }
  return lines;
}

}  // namespace sim
