// udp: an IPv4 datagram endpoint, one socket bound to a local port and one
// destination to which every datagram goes.
//
// A udp object is a handle on a counted socket_reference. Copies share the
// record (and so the socket and the destination); the last handle to go
// shuts the socket's reading side down, closes it and frees the record. The
// record is never shared between threads.
//
// Typical use: set_port (until it succeeds), set_destination, then send_pdu
// at will and get_pdu whenever select reports socket() readable.
//
// No operation prints or raises anything; failures show as false results,
// empty strings or a socket of -1.
#pragma once

#include <netinet/in.h>
#include <stdint.h>

#include "lib/str.h"

class udp {
 public:
  struct socket_reference {
    int32_t sock;             // -1 while there is no socket
    sockaddr_in destination;  // a port of 0 means "no destination"
    int32_t dest_port;        // as last given to set_destination
    str dest_host;            // as last given to set_destination
    int32_t refs;             // handles sharing this record
  };

  // Largest datagram that the str form of get_pdu delivers; longer ones are
  // cut to this size.
  static constexpr int pdu_size = 32768;
  // The receive buffer of the str form of get_pdu, shared by all endpoints
  // and overwritten by every such call.
  static char pdu_buffer[pdu_size];

  udp();
  udp(const udp& other);
  udp& operator=(const udp& other);
  ~udp();

  // The socket descriptor, for select; -1 when there is none.
  int socket() const { return ref != nullptr ? ref->sock : -1; }

  // Closes any earlier socket, opens a new one and binds it to port on every
  // local address. A non-empty group (a dotted quad) is joined on the default
  // interface, which also becomes the outgoing multicast interface; group_port
  // plays no part in that. A port outside 0..65535 is refused before anything
  // is touched. After a failed open or bind there is no socket; a failed join
  // leaves the socket open and bound but returns false.
  bool set_port(int port, const str& group = str(), int group_port = 0);

  // Remembers port and host and aims every later send at them. False when
  // the host cannot be converted (see conv): sending is then refused until a
  // later call succeeds.
  bool set_destination(int port, const str& host);
  // The port and host as last given to set_destination.
  bool get_destination(int& port, str& host) const;

  // An IPv4 address for port and host: an empty host is the wildcard, a
  // dotted quad is taken as it is, any other text is resolved as a host
  // name. On failure, or for a port outside 0..65535, address holds port 0
  // and the result is false.
  static bool conv(int port, const str& host, sockaddr_in& address);

  // Sends one datagram of length bytes to the destination without waiting.
  // True only when the whole datagram went out; false without a destination.
  bool send_pdu(const char* data, int length);
  bool send_pdu(const str& packet);

  // Takes one waiting datagram into buffer (at most size bytes; the rest of
  // a longer one is lost) and never waits: length is 0 when nothing was
  // there. from is written only when a datagram was taken, also an empty
  // one. A refused earlier send (ICMP port unreachable) or an empty queue
  // keeps the socket; any other receive error closes it.
  void get_pdu(char* buffer, int size, int& length, sockaddr_in& from);
  // The same into pdu_buffer, returned as a copy; empty when nothing was
  // received or the datagram was empty (tell them apart by from).
  str get_pdu(sockaddr_in& from);

  // Shuts the reading side down and closes the socket, if there is one.
  void close();
  // The bound local port in host order; 0 without a socket.
  int local_port() const;
  // The dotted quad of the address that conv gives for host; empty on failure.
  static str host_address(const str& host);

  socket_reference* ref;

 private:
  void release();
};
