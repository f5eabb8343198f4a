// The command line of ruk-image, apart from main() so that tests run it
// in-process and compare its whole output.
//
//   ruk-image create PAYLOAD -o IMAGE [--flash-size N]
//   ruk-image check IMAGE [--flash-size N]
//
// Exit status: 0 for a good image, 1 when check finds a fault, 2 for a
// usage error or a file that cannot be read or written.
#pragma once

#include <string>
#include <vector>

namespace ruk_image {

constexpr int exit_good = 0;
constexpr int exit_fault = 1;
constexpr int exit_usage = 2;

// args are the words after the program's name. What would go to standard
// output is appended to *out, what would go to standard error to *err.
int run(const std::vector<std::string>& args, std::string* out, std::string* err);

}  // namespace ruk_image
