// The network-configuration model: the packet socket through which the
// program configures eth0, and every interface and route request on it.
//
// Every packet socket the program opens (socket(AF_PACKET, ...)) comes here.
// Each request is decoded (sim/models/netconfig_decode.h), kept for in-process
// tests and written to the transcript as a "net" line, after lines for the
// socket itself ("socket AF_PACKET SOCK_PACKET ETH_P_ALL"), its options
// ("setsockopt SO_BROADCAST 1") and its closing ("close").
//
// Modes (RUK_SIM_NET):
//   record   (the default) a model of the phone's kernel answers
//            (sim/models/net_table.h): eth0 (unless RUK_SIM_ETH0=missing) and lo
//            exist, other names fail (ENODEV); addresses, flags and routes
//            are taken or refused by the kernel's rules and kept as its
//            routing view. The program's datagrams then go where that view
//            sends them: to the phone's own addresses (loopback, eth0's
//            address) always; to any other host only through eth0 as it
//            is configured: with no route there (no address, interface
//            down, host outside its subnet and no gateway to it) sendto
//            fails with ENETUNREACH, as on the phone; with one, the
//            datagram goes out through this machine's network (after the
//            port 69 redirection). RUK_SIM_ETH0_LINK=ADDRESS,... names the
//            hosts on eth0's Ethernet segment: a datagram whose next hop
//            (the destination on the subnet, else the gateway) is none of
//            them is lost as one whose ARP request nobody answers. Unset,
//            every host is taken to be there.
//   kernel   the requests also go to the kernel, so that a real eth0 (a
//            veth) is configured. Only inside a network namespace made for
//            a test, which is recognised by its binding: the process's
//            network namespace must be the one that `ip netns add` bound at
//            /run/netns/ruk-test-NAME, and not that of process 1. Anywhere
//            else the run stops with a setting error before the program
//            starts.
//   refuse   opening the packet socket fails (EPERM), as for a process
//            without the right to configure the network.
//            eth0 then stays as the model starts it (down, without
//            address), and datagrams go where that routes them.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace sim {

class netconfig {
 public:
  enum class mode { record, kernel, refuse };

  // Switches the mode. Kernel mode is refused (false, why_not set, mode
  // unchanged) outside a test's network namespace.
  static bool set_mode(mode m, std::string* why_not);
  static mode current_mode();
  // Empty when this process may pass requests to the kernel, else why not.
  static std::string kernel_refusal();

  // Record mode: whether the phone has an eth0. Resets eth0 to its start:
  // down, flags broadcast and multicast, no address, a carrier (the cable
  // in), no routes, every host on its link.
  static void set_eth0_present(bool present);
  static void set_eth0_carrier(bool carrier);
  // The hosts on eth0's segment (host byte order), as RUK_SIM_ETH0_LINK.
  static void set_link_hosts(const std::vector<uint32_t>& hosts);
  // Record mode: an interface's flags as SIOCGIFFLAGS reads them, -1 for
  // none.
  static int flags(const std::string& name);
  // Record mode: the routing view, as `ip route` writes it.
  static std::vector<std::string> routes();

  // Where a datagram of the program's to destination (host byte order)
  // goes: 0 out (in kernel mode always: the kernel decides), ENETUNREACH
  // refused, -1 lost on the link; *why says why for the last two.
  static int datagram_fate(uint32_t destination, std::string* why);

  // The decoded lines of this process, in order.
  static const std::vector<std::string>& requests();
  static void clear_requests();

  // The program's socket() for the packet family.
  static int open_socket(int domain, int type, int protocol);
  // Adds a line to requests() and the transcript.
  static void log(const std::string& line);
};

}  // namespace sim
