#include "tools/terminal_text.h"

namespace ruk_sim {

std::vector<std::string> line_splitter::add(const char* data, size_t n) {
  pending_.append(data, n);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(pending_.substr(start, end - start));
  }
  pending_.erase(0, start);
  return lines;
}

std::string line_splitter::rest() {
  std::string r;
  r.swap(pending_);
  return r;
}

}  // namespace ruk_sim
