#include "vm/guest/request_timing.h"

#include <stdio.h>

#include "sim/models/port_driver.h"

namespace vm {

namespace {

// Requests further apart belong to different drawings.
constexpr int64_t drawing_gap_ns = 1000 * 1000;

}  // namespace

void request_timing::add(const port_line_request& r) {
  int64_t since = r.time_ns - last_ns_;
  if (last_was_read_) {
    read_ns_ += since;
    ++reads_;
  } else if (requests_ > 0 && since < drawing_gap_ns) {
    write_ns_ += since;
    ++writes_;
  }
  ++requests_;
  last_ns_ = r.time_ns;
  last_was_read_ = r.request == sim::port_request::read;
}

std::string request_timing::text() const {
  char out[200];
  snprintf(out, sizeof out,
           "%ld port requests; a read answered in %lld us on average (%ld reads), "
           "other requests %lld us apart within a drawing",
           requests_, reads_ ? static_cast<long long>(read_ns_ / reads_ / 1000) : 0LL, reads_,
           writes_ ? static_cast<long long>(write_ns_ / writes_ / 1000) : 0LL);
  return out;
}

}  // namespace vm
