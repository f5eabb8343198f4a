// utils: conversions and socket chores shared by the string, network and
// file code.
#pragma once

#include <netinet/in.h>
#include <stdint.h>

#include "lib/str.h"

class utils {
 public:
  // The bytes that a hexadecimal text spells; the empty string when it holds
  // a character that is no hexadecimal digit. A lone last digit adds nothing.
  static str hex2bin(const str& text);
  // Two upper-case hexadecimal digits per byte.
  static str bin2hex(const str& bytes);
  // Fills address from a dotted-quad text and a port (no name resolution);
  // false when the text is no address (the address is then 0.0.0.0) or the
  // port is no valid port (the port is then 0; the address is filled in all
  // the same).
  static bool setinetadr(sockaddr_in& address, int port, const str& host);

  // The rule for every port given to a socket address: 0..65535.
  static bool valid_port(int port) { return port >= 0 && port <= 65535; }
  // Closes sock when it is a descriptor and leaves it at -1.
  static void close_socket(int32_t& sock);
  // The local port a socket is bound to, in host order; 0 for a negative
  // descriptor or when the system cannot tell.
  static int local_port(int sock);
};
