// tcp::connection: opening, accepting, the send queue and receiving.
#include "lib/tcp_connection.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include "lib/utils.h"

namespace tcp {

char connection::receive_buffer[connection::receive_size];

namespace {

bool make_nonblocking(int fd) {
  int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

str host_and_port(const str& host, int port) {
  str text(host);
  text += ":";
  text += str(port, 0);
  return text;
}

}  // namespace

connection::con_ref::con_ref() : sock(-1), refs(1), listener(nullptr), connecting(0) {}

connection::con_ref::~con_ref() {
  tcp::listener::release(listener);
}

connection::connection(const str& host, int port) : ref(nullptr) {
  connect(host, port);
}

connection::connection(const listener& from) : ref(new con_ref) {
  ref->listener = from.ref;
  listener::retain(ref->listener);
  if (from.ref == nullptr) return;
  sockaddr_in address;
  socklen_t length = sizeof address;
  int sock = accept(from.ref->fd, reinterpret_cast<sockaddr*>(&address), &length);
  if (sock < 0) return;
  ref->sock = sock;
  ref->peer = host_and_port(str(inet_ntoa(address.sin_addr)), ntohs(address.sin_port));
  if (!make_nonblocking(sock)) utils::close_socket(ref->sock);
}

connection::connection(const connection& other) : ref(other.ref) {
  if (ref != nullptr) ++ref->refs;
}

connection& connection::operator=(const connection& other) {
  if (ref == other.ref) return *this;
  close();
  ref = other.ref;
  if (ref != nullptr) ++ref->refs;
  return *this;
}

void connection::connect(const str& host, int port) {
  close();
  ref = new con_ref;
  sockaddr_in address;
  if (!utils::setinetadr(address, port, host)) return;
  ref->sock = ::socket(AF_INET, SOCK_STREAM, 0);
  if (ref->sock < 0) {
    ref->sock = -1;
    return;
  }
  if (!make_nonblocking(ref->sock)) {
    utils::close_socket(ref->sock);
    return;
  }
  if (::connect(ref->sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS) {
      utils::close_socket(ref->sock);
      return;
    }
    ref->connecting = 1;
  }
  ref->peer = host_and_port(host, port);
}

void connection::close() {
  if (ref == nullptr) return;
  if (--ref->refs <= 0) {
    utils::close_socket(ref->sock);
    delete ref;
  }
  ref = nullptr;
}

bool connection::send(const str& data) {
  if (ref == nullptr) return false;
  if (ref->sock < 0) {
    ref->outgoing = str();
    return false;
  }
  ref->outgoing += data;
  int queued = ref->outgoing.length();
  ssize_t n = ::send(ref->sock, ref->outgoing.data(), static_cast<size_t>(queued),
                     MSG_DONTWAIT | MSG_NOSIGNAL);
  if (n >= 0) {
    ref->outgoing = ref->outgoing.substr(static_cast<int>(n), queued - static_cast<int>(n));
    return true;
  }
  return errno == EAGAIN || errno == EWOULDBLOCK;
}

void connection::queue(const str& data) {
  if (ref != nullptr) ref->outgoing += data;
}

str connection::receive() {
  if (ref == nullptr) return str();
  ssize_t n = recv(ref->sock, receive_buffer, sizeof receive_buffer, 0);
  if (n <= 0) return str();
  return str(receive_buffer, static_cast<int>(n));
}

bool connection::connect_failed() {
  if (ref == nullptr || ref->connecting == 0) return false;
  // Until the connect has finished its error is still 0; asking then must
  // not use up the one report of a failure that comes later.
  pollfd watch = {ref->sock, POLLOUT, 0};
  if (poll(&watch, 1, 0) == 0) return false;
  ref->connecting = 0;
  int error = 0;
  socklen_t length = sizeof error;
  return getsockopt(ref->sock, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0;
}

int connection::local_port() const {
  return ref != nullptr ? utils::local_port(ref->sock) : 0;
}

}  // namespace tcp
