// Text on its way to a terminal: the lines of a byte stream that arrives in
// pieces, and the columns that UTF-8 text takes.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

namespace ruk_sim {

// Lines of a byte stream, the last partial one kept until it is complete.
class line_splitter {
 public:
  std::vector<std::string> add(const char* data, size_t n);
  std::vector<std::string> add(const std::string& data) { return add(data.data(), data.size()); }
  // What is left at the end of the stream.
  std::string rest();

 private:
  std::string pending_;
};

// Every character the tools put on a terminal is one column wide, so a
// column is a UTF-8 character: a byte that is not a continuation byte
// starts one.
inline bool starts_column(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

// The columns text takes.
inline int text_columns(const std::string& text) {
  int n = 0;
  for (char c : text) n += starts_column(c);
  return n;
}

}  // namespace ruk_sim
