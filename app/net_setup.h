// eth0: switched on at start-up, given the entered addresses before a
// transfer. Every request goes through a packet socket opened for the call
// and closed before it returns. Nothing here reports a failure: a refused
// request leaves that setting as it was.
#pragma once

#include "lib/str.h"

// Adds up, broadcast, no-trailers and running to eth0's flags. Stops at the
// first failing request (no eth0: nothing is changed).
void init_eth0();

// Gives device (cut to 15 characters) the address, the netmask, the
// broadcast address (address OR NOT netmask, octet by octet) and, unless the
// gateway is the text "0.0.0.0", a default route through the gateway. The
// four requests run in this order whether or not the ones before succeed.
void set_ethernet_device(const str& address, const str& netmask, const str& gateway,
                         const str& device);

// out := the address of a dotted-quad text in network byte order. Each
// octet keeps the low 8 bits of its decimal value; a missing field or one
// without digits gives 0 (so "10.1" is 10.1.0.0 and "300" is 44.0.0.0).
void set_inetadr(unsigned& out, const str& text);
