// tcp::listener: the shared listening socket.
#include "lib/tcp_listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tcp {

listener::listener() : ref(new record) {
  ref->fd = -1;
  ref->refs = 1;
}

listener::listener(const listener& other) : ref(other.ref) { retain(ref); }

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
  if (r->fd >= 0) close(r->fd);
  delete r;
}

bool listener::listen(int port) {
  if (ref == nullptr || port < 0 || port > 65535) return false;
  // Replacing the socket without closing it would leak the old descriptor;
  // connections already accepted from it have sockets of their own.
  if (ref->fd >= 0) {
    close(ref->fd);
    ref->fd = -1;
  }
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  int on = 1;
  sockaddr_in local;
  memset(&local, 0, sizeof local);
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(static_cast<uint16_t>(port));
  int flags = fcntl(fd, F_GETFL);
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::listen(fd, 1) != 0 || flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    close(fd);
    return false;
  }
  ref->fd = fd;
  return true;
}

}  // namespace tcp
