// udp: the shared socket record, binding, sending and receiving.
#include "lib/udp.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <string.h>
#include <sys/socket.h>

#include "lib/utils.h"

char udp::pdu_buffer[udp::pdu_size];

udp::udp() : ref(new socket_reference) {
  ref->sock = -1;
  memset(&ref->destination, 0, sizeof ref->destination);
  ref->destination.sin_family = AF_INET;
  ref->dest_port = 0;
  ref->refs = 1;
}

udp::udp(const udp& other) : ref(other.ref) {
  if (ref != nullptr) ++ref->refs;
}

udp& udp::operator=(const udp& other) {
  if (ref == other.ref) return *this;
  release();
  ref = other.ref;
  if (ref != nullptr) ++ref->refs;
  return *this;
}

udp::~udp() {
  release();
}

void udp::release() {
  if (ref == nullptr) return;
  if (--ref->refs <= 0) {
    close();
    delete ref;
  }
  ref = nullptr;
}

bool udp::set_port(int port, const str& group, int group_port) {
  if (ref == nullptr || !utils::valid_port(port)) return false;
  close();
  ref->sock = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (ref->sock < 0) {
    ref->sock = -1;
    return false;
  }
  sockaddr_in local;
  memset(&local, 0, sizeof local);
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(ref->sock, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    utils::close_socket(ref->sock);
    return false;
  }
  if (group.length() == 0) return true;

  // The group's port means nothing to the join; only its address counts. A
  // text that is no dotted quad leaves the address 0.0.0.0, which the join
  // refuses.
  sockaddr_in group_address;
  utils::setinetadr(group_address, group_port, group);
  ip_mreq membership;
  membership.imr_multiaddr = group_address.sin_addr;
  membership.imr_interface.s_addr = htonl(INADDR_ANY);
  if (setsockopt(ref->sock, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0) {
    return false;
  }
  in_addr default_interface;
  default_interface.s_addr = htonl(INADDR_ANY);
  return setsockopt(ref->sock, IPPROTO_IP, IP_MULTICAST_IF, &default_interface,
                    sizeof default_interface) == 0;
}

bool udp::set_destination(int port, const str& host) {
  if (ref == nullptr) return false;
  ref->dest_port = port;
  ref->dest_host = host;
  return conv(port, host, ref->destination);
}

bool udp::get_destination(int& port, str& host) const {
  if (ref == nullptr) return false;
  port = ref->dest_port;
  host = ref->dest_host;
  return true;
}

bool udp::conv(int port, const str& host, sockaddr_in& address) {
  memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  // A port that does not fit would be cut to 16 bits and name some other
  // service; such an address is treated like an unknown host.
  if (!utils::valid_port(port)) return false;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (host.length() == 0) {
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    return true;
  }
  // A zero byte inside the text would cut it short before the checks below.
  if (memchr(host.data(), 0, static_cast<size_t>(host.length())) != nullptr) {
    address.sin_port = 0;
    return false;
  }
  const char* text = host.c_str();
  in_addr_t numeric = inet_addr(text);
  if (numeric != INADDR_NONE) {
    address.sin_addr.s_addr = numeric;
    return true;
  }
  // inet_addr cannot tell 255.255.255.255 from its failure value, so that
  // address, like every name, goes through the resolver.
  hostent* entry = gethostbyname(text);
  if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length != 4 ||
      entry->h_addr_list[0] == nullptr) {
    address.sin_port = 0;
    return false;
  }
  memcpy(&address.sin_addr, entry->h_addr_list[0], 4);
  return true;
}

str udp::host_address(const str& host) {
  sockaddr_in address;
  if (!conv(0, host, address)) return str();
  return str(inet_ntoa(address.sin_addr));
}

bool udp::send_pdu(const char* data, int length) {
  if (ref == nullptr || ref->destination.sin_port == 0) return false;
  if (length < 0 || (data == nullptr && length > 0)) return false;
  ssize_t sent =
      sendto(ref->sock, data, static_cast<size_t>(length), MSG_DONTWAIT,
             reinterpret_cast<const sockaddr*>(&ref->destination), sizeof ref->destination);
  return sent == length;
}

bool udp::send_pdu(const str& packet) {
  return send_pdu(packet.data(), packet.length());
}

void udp::get_pdu(char* buffer, int size, int& length, sockaddr_in& from) {
  length = 0;
  if (ref == nullptr || size < 0 || (buffer == nullptr && size > 0)) return;
  // The descriptor stays blocking for whoever else uses it, but this call
  // must not: select may report a datagram that the kernel then drops (a
  // bad checksum), and a wait here would stop the whole event loop.
  sockaddr_in sender;
  socklen_t sender_length = sizeof sender;
  ssize_t n = recvfrom(ref->sock, buffer, static_cast<size_t>(size), MSG_DONTWAIT,
                       reinterpret_cast<sockaddr*>(&sender), &sender_length);
  if (n >= 0) {
    length = static_cast<int>(n);
    from = sender;
    return;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNREFUSED) return;
  close();
}

str udp::get_pdu(sockaddr_in& from) {
  int length = 0;
  get_pdu(pdu_buffer, pdu_size, length, from);
  if (length <= 0) return str();
  return str(pdu_buffer, length);
}

void udp::close() {
  if (ref == nullptr || ref->sock < 0) return;
  shutdown(ref->sock, SHUT_RD);
  utils::close_socket(ref->sock);
}

int udp::local_port() const {
  return ref != nullptr ? utils::local_port(ref->sock) : 0;
}
