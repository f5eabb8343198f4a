// Command lines into the argument parser: the words of an input (split at
// zero bytes, empty words included) after the program's name. The verdict
// and the chosen paths are what a reference reading of the option table
// gives: every option takes the next word as its value, --device, --host,
// --keyboard and --display need a non-empty one, --port takes any, a later
// occurrence wins, anything else is an error; a chosen path is the argv
// word itself, unchanged.
#include <string.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "fuzz/fuzz_check.h"

namespace {

struct verdict {
  bool ok = true;
  int keyboard = -1;  // index of the chosen word, -1 for the default
  int display = -1;
};

verdict expected(const std::vector<std::string>& words) {
  verdict v;
  for (size_t i = 1; i < words.size(); i += 2) {
    const std::string& option = words[i];
    bool known = option == "--device" || option == "--host" || option == "--keyboard" ||
                 option == "--display" || option == "--port";
    if (!known || i + 1 >= words.size()) return {false, -1, -1};
    const std::string& value = words[i + 1];
    if (option != "--port" && value.empty()) return {false, -1, -1};
    if (option == "--keyboard") v.keyboard = static_cast<int>(i + 1);
    if (option == "--display") v.display = static_cast<int>(i + 1);
  }
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> words = {"ruk"};
  std::string text(reinterpret_cast<const char*>(data), size);
  if (!text.empty()) {
    size_t from = 0;
    for (;;) {
      size_t zero = text.find('\0', from);
      words.push_back(text.substr(from, zero == std::string::npos ? std::string::npos : zero - from));
      if (zero == std::string::npos) break;
      from = zero + 1;
    }
  }
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);

  command_line options;
  const char* default_keyboard = options.keyboard;
  const char* default_display = options.display;
  bool ok = read_command_line(static_cast<int>(words.size()), argv.data(), options);
  verdict want = expected(words);
  FUZZ_CHECK(ok == want.ok);
  if (ok) {
    FUZZ_CHECK(options.keyboard == (want.keyboard < 0 ? default_keyboard : argv[want.keyboard]));
    FUZZ_CHECK(options.display == (want.display < 0 ? default_display : argv[want.display]));
    FUZZ_CHECK(strcmp(default_keyboard, "/dev/keypad") == 0);
    FUZZ_CHECK(strcmp(default_display, "/dev/inca-port") == 0);
  }
  return 0;
}
