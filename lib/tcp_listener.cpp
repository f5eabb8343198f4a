// tcp::listener: the shared listening socket.
#include "lib/tcp_listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <string.h>
#include <sys/socket.h>

#include "lib/utils.h"

namespace tcp {

listener::listener() : ref(new record) {
  ref->fd = -1;
  ref->refs = 1;
}

listener::listener(const listener& other) : ref(other.ref) {
  retain(ref);
}

listener& listener::operator=(const listener& other) {
  if (ref == other.ref) return *this;
  release(ref);
  ref = other.ref;
  retain(ref);
  return *this;
}

listener::~listener() {
  release(ref);
  ref = nullptr;
}

void listener::retain(record* r) {
  if (r != nullptr) ++r->refs;
}

void listener::release(record* r) {
  if (r == nullptr || --r->refs > 0) return;
  utils::close_socket(r->fd);
  delete r;
}

bool listener::listen(int port) {
  if (ref == nullptr || !utils::valid_port(port)) return false;
  // Replacing the socket without closing it would leak the old descriptor;
  // connections already accepted from it have sockets of their own.
  utils::close_socket(ref->fd);
  int32_t fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  int on = 1;
  sockaddr_in local;
  memset(&local, 0, sizeof local);
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(static_cast<uint16_t>(port));
  int flags = fcntl(fd, F_GETFL);
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(fd, 1) != 0 ||
      flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    utils::close_socket(fd);
    return false;
  }
  ref->fd = fd;
  return true;
}

}  // namespace tcp
