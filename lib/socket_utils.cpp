// utils: the socket chores that udp, tcp::connection and tcp::listener share.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include "lib/utils.h"

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
