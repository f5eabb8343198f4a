// A test's own folder under /tmp, made when the object is and removed with
// all it holds when the object goes; and whole files written and read, for
// the tests that prepare and compare what a flash partition holds.
#pragma once

#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace ruk_test {

class temp_dir {
 public:
  // /tmp/<prefix>-XXXXXX. Throws when it cannot be made, so that the test
  // fails there instead of writing elsewhere.
  explicit temp_dir(const std::string& prefix) : path_("/tmp/" + prefix + "-XXXXXX") {
    if (mkdtemp(&path_[0]) == nullptr) throw std::runtime_error("cannot make " + path_);
  }
  temp_dir(temp_dir&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
  // Removes this folder, then takes other's.
  temp_dir& operator=(temp_dir&& other) {
    remove();
    std::swap(path_, other.path_);
    return *this;
  }
  ~temp_dir() { remove(); }

  const std::string& path() const { return path_; }
  // The path of name inside the folder.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  // A folder left behind is a failure of the test that made it.
  void remove() {
    if (path_.empty()) return;
    std::error_code error;
    std::filesystem::remove_all(path_, error);
    EXPECT_FALSE(error) << "removing " << path_ << ": " << error.message();
    path_.clear();
  }

  std::string path_;
};

// data (a std::string or bytes) as the whole file at path; false when it
// cannot be written.
template <typename Data>
bool write_file(const std::string& path, const Data& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

// A whole file's bytes; empty when it cannot be read.
inline std::vector<uint8_t> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace ruk_test
