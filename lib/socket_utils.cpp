// utils: the socket chores that udp, tcp::connection and tcp::listener share:
// a socket address from a dotted quad (never a name), closing a socket,
// reading its local port.
#include <arpa/inet.h>
#include <stdint.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "lib/utils.h"

bool utils::setinetadr(sockaddr_in& address, int port, const str& host) {
  memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  // A zero byte would end the text early and let "1.2.3.4<NUL>junk" pass.
  bool host_ok = memchr(host.data(), 0, static_cast<size_t>(host.length())) == nullptr &&
                 inet_aton(host.c_str(), &address.sin_addr) != 0;
  if (!host_ok) address.sin_addr.s_addr = 0;
  // A port that does not fit in 16 bits would silently name another one. The
  // address is converted all the same, for callers that want only it (a
  // multicast group to join).
  if (!valid_port(port)) return false;
  address.sin_port = htons(static_cast<uint16_t>(port));
  return host_ok;
}

void utils::close_socket(int32_t& sock) {
  if (sock < 0) return;
  ::close(sock);
  sock = -1;
}

int utils::local_port(int sock) {
  if (sock < 0) return 0;
  sockaddr_in local;
  socklen_t length = sizeof local;
  if (getsockname(sock, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}
