// Test fakes for the display: a port driver that records every request and
// decodes the LCD bus behind it, and devices that record LED requests and
// writes.
#pragma once

#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/seam/fd_table.h"
#include "sim/seam/file.h"

namespace display_fakes {

struct port_call {
  unsigned long request;
  int port, pin, value;
};

// Data bytes the controller took one after another, and where the first went.
struct data_run {
  int page, column;
  std::vector<int> bytes;
};

// The port driver with a controller behind it: bytes are latched on the write
// strobe's rising edge while chip select is low; page and column commands
// address a pixel memory. Status reads answer "ready" unless told otherwise.
// Breaches of the bus protocol (a line driven that is no output, a byte
// latched from input pins or during a read, data read from output pins) are
// counted.
class port_device : public sim::file {
 public:
  int ioctl(unsigned long request, void* arg) override;

  std::vector<port_call> calls;
  std::vector<int> commands;  // command bytes, contrast values included
  std::vector<int> volumes;   // the contrast values alone
  std::vector<data_run> runs;
  int violations = 0;
  int status_reads = 0;

  int busy_reads = 0;  // this many status reads answer busy, then ready
  bool busy_forever = false;
  bool reads_fail = false;
  std::map<std::pair<int, int>, int> read_levels;  // other input pins

  uint8_t memory[16][256] = {};  // the controller's pixel memory by page
  bool pixel(int x, int y) const { return (memory[y / 8][x] >> (y % 8)) & 1; }
  bool level(int port, int pin) const { return get(levels_, port, pin); }
  bool is_output(int port, int pin) const { return get(outputs_, port, pin); }
  // Forgets what was recorded; pins and pixel memory stay.
  void forget();

 private:
  static bool get(const std::map<std::pair<int, int>, int>& m, int port, int pin);
  void latch();
  std::map<std::pair<int, int>, int> levels_, outputs_;
  int page_ = 0, column_ = 0;
  bool volume_next_ = false, in_run_ = false, status_busy_ = false;
};

// Records (request, argument value) pairs: the LED device.
class led_device : public sim::file {
 public:
  int ioctl(unsigned long request, void* arg) override {
    requests.emplace_back(request, reinterpret_cast<unsigned long>(arg));
    return 0;
  }
  std::vector<std::pair<unsigned long, unsigned long>> requests;
};

// Records the bytes written to it.
class write_recorder : public sim::file {
 public:
  ssize_t write(const void* buffer, size_t n) override {
    auto* b = static_cast<const unsigned char*>(buffer);
    written.insert(written.end(), b, b + n);
    return static_cast<ssize_t>(n);
  }
  std::vector<unsigned char> written;
};

// Serves a fresh Device at path while this object lives.
template <typename Device>
struct attached {
  explicit attached(const std::string& p) : path(p), device(std::make_shared<Device>()) {
    auto d = device;
    sim::attach_path(path, [d](int) { return d; });
  }
  ~attached() { sim::detach_path(path); }
  attached(const attached&) = delete;
  attached& operator=(const attached&) = delete;
  std::string path;
  std::shared_ptr<Device> device;
};

}  // namespace display_fakes
