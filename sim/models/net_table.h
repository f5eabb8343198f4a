// The phone's IPv4 interfaces and routes as its Linux kernel (6.1) keeps
// them, for the interface and route requests the program makes, answered by
// the same rules as net/ipv4 answers them:
//
//   SIOCSIFADDR     (devinet_ioctl) family AF_INET, else EINVAL; a multicast
//                   address EINVAL (inet_abc_len); the same address again
//                   changes nothing; 0.0.0.0 removes the address; otherwise
//                   the netmask of the address's class (A /8, B /16, C /24)
//                   and, on a broadcast interface, the broadcast address
//                   that goes with it.
//   SIOCSIFNETMASK  no address: EADDRNOTAVAIL; a mask that is not contiguous
//                   (bad_mask) EINVAL, the mask unchanged; the broadcast
//                   address follows the mask if it followed the old one.
//   SIOCSIFBRDADDR  no address: EADDRNOTAVAIL; any address is taken.
//   SIOCGIFADDR, SIOCGIFNETMASK, SIOCGIFBRDADDR: no address: EADDRNOTAVAIL.
//   SIOCSIFFLAGS    (__dev_change_flags) only DEBUG, NOTRAILERS, NOARP,
//                   DYNAMIC, MULTICAST, PORTSEL, AUTOMEDIA and UP change;
//                   RUNNING, BROADCAST, LOOPBACK ... stay the device's.
//   SIOCGIFFLAGS    (dev_get_flags) RUNNING while up with a carrier.
//   SIOCADDRT       (rtentry_to_fib_config, fib_check_nh_v4_gw,
//                   fib_table_insert) destination family AF_INET, else
//                   EAFNOSUPPORT; a mask that is not contiguous or a
//                   destination with host bits EINVAL; no such device
//                   ENODEV; RTF_GATEWAY with gateway 0.0.0.0 EINVAL; a
//                   gateway that no connected route of an interface that
//                   is up reaches (outside the subnet, interface down, no
//                   address) ENETUNREACH; the identical route again EEXIST.
//   SIOCDELRT       the route, if there is one like it; else ESRCH.
//
// A change of an interface's address, netmask or broadcast address, and
// taking it down, remove the routes through it (inet_del_ifa and
// fib_disable_ip of the last address; fib_sync_down_dev), as on the phone.
// Its connected route (the address's subnet, fib_add_ifaddr) exists while it
// is up with an address.
//
// Addresses here are in host byte order (first octet most significant).
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

namespace sim {

class net_table {
 public:
  struct interface {
    short flags = 0;  // as set; RUNNING is added when read (flags_read)
    bool carrier = true;
    unsigned short hw_type = 0;
    unsigned char hw[6] = {};
    bool has_address = false;
    uint32_t local = 0, mask = 0, broadcast = 0;
  };
  struct route {
    uint32_t destination = 0;
    int prefix = 0;
    uint32_t gateway = 0;  // 0: the destination is on the link
    std::string device;
    int priority = 0;  // metric - 1
  };

  // lo with 127.0.0.1/8, up; and an eth0, down, without address, if asked.
  void reset(bool with_eth0);

  // Answers one request on arg (an ifreq, or an rtentry for SIOCADDRT and
  // SIOCDELRT): 0, or the errno the kernel would give.
  int request(unsigned long code, void* arg);

  interface* find(const std::string& name);
  short flags_read(const interface& i) const;

  // Where a datagram to destination goes: through device (empty: nowhere,
  // the kernel's ENETUNREACH) to next_hop, or to the phone itself (local).
  struct path {
    std::string device;
    uint32_t next_hop = 0;
    bool local = false;
  };
  path route_to(uint32_t destination) const;

  // The routing view as `ip route` writes it, connected routes first:
  // "10.77.0.0/24 dev eth0 scope link", "default via 10.77.0.1 dev eth0
  // metric 1".
  std::vector<std::string> view() const;

 private:
  int interface_request(unsigned long code, void* arg);
  int route_request(unsigned long code, void* arg);
  // The address changed or went away: routes through the device go.
  void drop_routes(const std::string& device);
  // The connected routes: one per interface that is up with an address.
  std::vector<route> connected() const;

  std::map<std::string, interface> interfaces_;
  std::vector<route> routes_;  // added by SIOCADDRT, newest first among equals
};

// "a.b.c.d", the first octet the most significant byte of address.
std::string dotted(uint32_t address);

}  // namespace sim
