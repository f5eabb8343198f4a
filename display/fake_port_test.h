// Test fakes for the display: a port driver that records every request and
// decodes the LCD bus behind it, and an LED device that records its requests.
#pragma once

#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/fd_table.h"
#include "sim/file.h"

namespace display_fakes {

struct port_call {
  unsigned long request;
  int port;
  int pin;
  int value;
};

// A byte the controller took on a rising write strobe.
struct bus_byte {
  bool data;  // A0 high: display data; low: command
  int value;
};

// Data bytes written one after another, and where the first one went.
struct data_run {
  int page;
  int column;
  std::vector<int> bytes;
};

// The port driver with a controller behind it: pins keep their direction and
// level, bytes are latched on the write strobe's rising edge while chip
// select is low, and page/column addressing fills a pixel memory. Status
// reads answer "ready" unless told otherwise. Breaches of the bus protocol
// are counted.
class port_device : public sim::file {
 public:
  int ioctl(unsigned long request, void* arg) override;

  std::vector<port_call> calls;
  std::vector<bus_byte> bytes;
  int violations = 0;
  int status_reads = 0;

  int busy_reads = 0;        // this many status reads answer busy, then ready
  bool busy_forever = false;
  bool reads_fail = false;   // every read request fails
  std::map<std::pair<int, int>, int> read_levels;  // levels of other input pins

  // The controller's state.
  int page = 0;
  int column = 0;
  std::vector<int> volumes;  // every contrast value it received
  uint8_t memory[16][256] = {};

  bool level(int port, int pin) const;
  bool is_output(int port, int pin) const;
  // Panel pixel (x, y), y in 0..16.
  bool pixel(int x, int y) const;
  // Commands received, in order (volume values included).
  std::vector<int> commands() const;
  std::vector<data_run> runs() const;
  // Forgets what was recorded; pin and controller state stay.
  void forget();

 private:
  void latch();
  void take_command(int value);

  std::map<std::pair<int, int>, int> levels_;
  std::map<std::pair<int, int>, int> outputs_;
  bool expect_volume_ = false;
  bool status_busy_ = false;
};

// An LED device: records (request, mask) pairs.
class led_device : public sim::file {
 public:
  int ioctl(unsigned long request, void* arg) override;
  std::vector<std::pair<unsigned long, unsigned long>> requests;
};

// A device that takes whatever is written to it.
class write_recorder : public sim::file {
 public:
  ssize_t write(const void* buffer, size_t n) override {
    auto* b = static_cast<const unsigned char*>(buffer);
    written.insert(written.end(), b, b + n);
    return static_cast<ssize_t>(n);
  }
  std::vector<unsigned char> written;
};

// Serves a device at a path for the lifetime of this object.
template <typename Device>
class attached {
 public:
  explicit attached(const std::string& path) : path_(path), device(std::make_shared<Device>()) {
    auto d = device;
    sim::attach_path(path_, [d](int) { return d; });
  }
  ~attached() { sim::detach_path(path_); }
  attached(const attached&) = delete;
  attached& operator=(const attached&) = delete;

 private:
  std::string path_;

 public:
  std::shared_ptr<Device> device;
};

}  // namespace display_fakes
