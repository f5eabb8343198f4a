// What the port requests cost the program, for the guest's console: the
// time from a read request to the program's next request (a round trip
// through ruk-devices, which answers the read), and the time between two
// other requests in the same drawing.
#pragma once

#include <stdint.h>

#include <string>

#include "vm/modules/phone_devices.h"

namespace vm {

class request_timing {
 public:
  void add(const port_line_request& r);
  // "N port requests; a read answered in N us on average (N reads), other
  // requests N us apart within a drawing"
  std::string text() const;

 private:
  long requests_ = 0;
  long reads_ = 0;
  long writes_ = 0;
  int64_t read_ns_ = 0;
  int64_t write_ns_ = 0;
  int64_t last_ns_ = 0;
  bool last_was_read_ = false;
};

}  // namespace vm
