// Which descriptors and paths belong to the simulator.
//
// A device model attaches an opener to a path; the program's open() of that
// path then gets a descriptor that leads to the model's file object. The
// descriptor number is a real one (of /dev/null) so that it can never collide
// with a descriptor the C library hands out, but no call on it reaches the
// kernel while the simulator holds it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sim/seam/file.h"

namespace sim {

// Makes a file for one open() with these flags; nullptr with errno set to
// make the open fail.
using opener = std::function<std::shared_ptr<file>(int flags)>;

// Attaching a path that is attached already replaces its opener. Detaching
// a path only stops new opens: descriptors opened through it stay open and
// keep their file until closed.
void attach_path(const std::string& path, opener open);
void detach_path(const std::string& path);
bool path_attached(const std::string& path);

// A descriptor for a file the simulator serves (for example a socket it
// took over): returns the descriptor, -1 when none could be had.
int adopt(std::shared_ptr<file> f);
// Takes over an existing descriptor (a real socket, say): its calls go to f
// from now on, and closing it closes the real descriptor too.
void adopt_fd(int fd, std::shared_ptr<file> f);

// The file behind a simulated descriptor, or nullptr.
std::shared_ptr<file> lookup(int fd);
// Number of simulated descriptors open now (leak checks in tests).
int open_count();

// For the open and close wrappers (sim/seam/wrap_files.cpp): the file an
// attached path's opener makes (*handled false when the path is not
// attached), and the end of a simulated descriptor (false when fd is none).
std::shared_ptr<file> open_path(const char* path, int flags, bool* handled);
bool release_fd(int fd);

// Device models that configure themselves from the environment register a
// set-up function with a static object of this type; the functions run once,
// before the first simulated call of the process.
struct setup_registration {
  explicit setup_registration(void (*setup)());
};
// In-process tests call run_setup_once() before they set up any model
// themselves: the environment's set-up otherwise runs at the first simulated
// call and replaces theirs. sim::fresh_phone() (sim/seam/fresh_phone.h) does
// that and resets every model.
void run_setup_once();

}  // namespace sim
