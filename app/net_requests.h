// The interface and routing requests that configure eth0, the flags they
// carry, and the socket they are issued on. The names are Linux's; the values
// are pinned because the phone's kernel expects exactly these.
#pragma once

#include <net/if.h>
#include <net/route.h>
#include <netinet/if_ether.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

static_assert(SIOCGIFHWADDR == 0x8927, "get hardware address");
static_assert(SIOCGIFFLAGS == 0x8913, "get interface flags");
static_assert(SIOCSIFFLAGS == 0x8914, "set interface flags");
static_assert(SIOCSIFADDR == 0x8916, "set interface address");
static_assert(SIOCSIFNETMASK == 0x891C, "set netmask");
static_assert(SIOCSIFBRDADDR == 0x891A, "set broadcast address");
static_assert(SIOCADDRT == 0x890B, "add route");

// The request socket: a packet socket of every protocol, never used to send
// or receive (family 17, type 10, protocol ETH_P_ALL = 3).
static_assert(AF_PACKET == 17 && SOCK_PACKET == 10 && ETH_P_ALL == 3, "packet socket");

// Added to eth0's flags at start-up: up, broadcast, no trailers, running.
constexpr short eth0_start_flags = IFF_UP | IFF_BROADCAST | IFF_NOTRAILERS | IFF_RUNNING;
static_assert(eth0_start_flags == 0x63, "flags word 0x63");

// The default route: up, through a gateway, metric 1.
constexpr unsigned short default_route_flags = RTF_UP | RTF_GATEWAY;
static_assert(default_route_flags == 3, "route flags 3");
constexpr short default_route_metric = 1;

// The records as the phone's 32-bit kernel lays them out.
static_assert(sizeof(void*) != 4 || sizeof(ifreq) == 32, "ifreq is 32 bytes on the phone");
static_assert(sizeof(void*) != 4 || sizeof(rtentry) == 84, "rtentry is 84 bytes on the phone");
