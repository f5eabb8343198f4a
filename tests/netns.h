// A network namespace that a test makes for itself, by default with a veth
// whose end inside is named eth0 (the other end, "ruk-peer0", stays inside
// too), so that the program can configure a real eth0 without touching the
// host's interfaces. The name starts with "ruk-test-", which is what lets
// the simulator's network model pass requests to the kernel there.
//
// Making one needs root; without it (or without `ip`), why() says what is
// missing and the test skips.
#pragma once

#include <string>

namespace ruk_test {

class netns {
 public:
  explicit netns(bool with_eth0 = true);
  ~netns();
  netns(const netns&) = delete;
  netns& operator=(const netns&) = delete;

  bool ready() const { return why_.empty(); }
  // Why the namespace could not be made.
  const std::string& why() const { return why_; }
  const std::string& name() const { return name_; }

  // Runs `ip -n NAME args` and returns its standard output; empty on failure.
  std::string ip(const std::string& args) const;

  // Moves the calling process into the namespace and back. While inside,
  // new sockets belong to it.
  bool enter();
  void leave();

 private:
  std::string name_;
  std::string why_;
  int home_ = -1;
};

// Runs a shell command; its standard output, with *status its exit status.
std::string run_command(const std::string& command, int* status);

}  // namespace ruk_test
