// Interface and route requests as text, for the transcript's "net" lines:
//   SIOCSIFADDR eth0 192.168.0.5
//   SIOCSIFFLAGS eth0 0x1063
//   SIOCADDRT dst 0.0.0.0 gateway 192.168.0.1 genmask 0.0.0.0 flags 0x3 metric 1 dev eth0 window 0
// A get request shows what it returned ("SIOCGIFFLAGS eth0 = 0x1002"), a
// failed one why ("SIOCGIFHWADDR eth0 failed: No such device").
#pragma once

#include <string>

namespace sim {

// The name of a request code this model knows ("SIOCSIFADDR"), else
// "ioctl 0x...".
std::string request_name(unsigned long request);
bool is_get_request(unsigned long request);

// The request and what it carries, before it is issued. arg points to an
// ifreq, or to an rtentry for SIOCADDRT/SIOCDELRT.
std::string describe_request(unsigned long request, const void* arg);
// What a successful get request returned in arg.
std::string describe_result(unsigned long request, const void* arg);

// The whole line: the request, then " = result" or " failed: reason".
std::string describe(unsigned long request, const void* arg, int result, int error);

// A socket option set on the request socket: "setsockopt SO_BROADCAST 1",
// with " failed: reason" when result is not 0.
std::string describe_option(int level, int name, const void* value, unsigned n, int result,
                            int error);

// An IPv4 socket address as dotted text, or "family N" for another family.
std::string address_text(const void* sockaddr_bytes);

}  // namespace sim
