#include "display/port.h"

#include <sys/ioctl.h>

port_pin_request parm;

namespace {

int port_request(int fd, unsigned long request, int port, int pin, int value) {
  parm.port = port;
  parm.pin = pin;
  parm.value = value;
  return ioctl(fd, request, &parm);
}

}  // namespace

int port_open_drain(int fd, int port, int pin, int value) {
  return port_request(fd, port_request_open_drain, port, pin, value);
}

int port_dir(int fd, int port, int pin, int value) {
  return port_request(fd, port_request_dir, port, pin, value);
}

int port_write(int fd, int port, int pin, int value) {
  return port_request(fd, port_request_write, port, pin, value);
}

int port_read(int fd, int port, int pin) {
  if (port_request(fd, port_request_read, port, pin, 0) != 0) return -1;
  return parm.value;
}
