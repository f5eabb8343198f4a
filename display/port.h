// The port functions: one ioctl each on the port driver, through the one
// process-wide request record `parm`. Not reentrant.
#pragma once

#include "display/port_ioctl.h"

extern port_pin_request parm;

// Each sets pin `pin` of port `port` on the driver open as fd and returns the
// ioctl's result (0 on success, -1 on failure).
int port_open_drain(int fd, int port, int pin, int value);  // 1 = open drain on
int port_dir(int fd, int port, int pin, int value);         // 1 = output, 0 = input
int port_write(int fd, int port, int pin, int value);       // level 1 or 0

// The level the driver reads on the pin, or -1 when the request fails.
int port_read(int fd, int port, int pin);
