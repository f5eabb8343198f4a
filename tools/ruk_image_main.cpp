// ruk-image: builds the update image the phone fetches, and checks one.
#include <stdio.h>

#include <string>
#include <vector>

#include "tools/image_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string out, err;
  int status = ruk_image::run(args, &out, &err);
  fputs(out.c_str(), stdout);
  fflush(stdout);
  fputs(err.c_str(), stderr);
  return status;
}
