// The MTD model's settings: sizes, the state folder and injected faults, taken
// at the first simulated call.
#include <stdlib.h>
#include <unistd.h>

#include "sim/seam/fd_table.h"
#include "sim/seam/mtd_model.h"
#include "sim/seam/settings.h"

namespace sim {

bool mtd::parse_size(const std::string& text, uint32_t* size) {
  if (text.empty()) return false;
  char* rest = nullptr;
  errno = 0;
  unsigned long long n = strtoull(text.c_str(), &rest, 0);
  if (errno != 0 || rest == text.c_str() || text[0] == '-' || text[0] == '+') return false;
  std::string suffix(rest);
  if (suffix == "K" || suffix == "k") {
    n <<= 10;
  } else if (suffix == "M" || suffix == "m") {
    n <<= 20;
  } else if (!suffix.empty()) {
    return false;
  }
  if (n == 0 || n > 0xFFFFFFFFull) return false;
  *size = static_cast<uint32_t>(n);
  return true;
}

bool mtd::parse_faults(const std::string& list, std::vector<fault>* out, std::string* error) {
  std::vector<fault> found;
  for (const std::string& entry : split_list(list)) {
    if (entry.empty()) continue;
    auto bad = [&](const std::string& why) {
      *error = "\"" + entry + "\": " + why;
      return false;
    };
    fault f{0, fault_kind::open, 0};
    if (entry.compare(0, 5, "mtd4:") == 0) {
      f.partition = 4;
    } else if (entry.compare(0, 5, "mtd5:") == 0) {
      f.partition = 5;
    } else {
      return bad("begins with neither mtd4: nor mtd5:");
    }
    std::string what = entry.substr(5);
    std::string at;
    size_t sign = what.find('@');
    if (sign != std::string::npos) {
      at = what.substr(sign + 1);
      what = what.substr(0, sign);
    }
    if (what == "open") {
      f.kind = fault_kind::open;
    } else if (what == "info") {
      f.kind = fault_kind::info;
    } else if (what == "erase") {
      f.kind = fault_kind::erase;
    } else if (what == "write") {
      f.kind = fault_kind::write;
    } else if (what == "worn") {
      f.kind = fault_kind::worn;
    } else {
      return bad("the fault is none of open, info, erase, write, worn");
    }
    bool positional = f.kind != fault_kind::open && f.kind != fault_kind::info;
    if (sign != std::string::npos) {
      uint32_t offset = 0;
      if (!positional) return bad("only erase, write and worn take an offset");
      if (at != "0" && !parse_size(at, &offset)) return bad("\"" + at + "\" is no byte offset");
      f.offset = offset;
    }
    found.push_back(f);
  }
  out->insert(out->end(), found.begin(), found.end());
  return true;
}

namespace {

// A partition's geometry from its two size settings.
mtd::geometry geometry_from_settings(setting size, setting erasesize) {
  mtd::geometry g;
  const std::string& s = settings::value(size);
  if (!mtd::parse_size(s, &g.size)) {
    settings::refuse(size, "\"" + s + "\" is no size in bytes (such as 8388608, 0x800000 or 8M)");
  }
  const std::string& e = settings::value(erasesize);
  if (!mtd::parse_size(e, &g.erasesize)) {
    settings::refuse(erasesize, "\"" + e + "\" is no size in bytes (such as 65536 or 64K)");
  }
  if (g.size % g.erasesize != 0) {
    settings::refuse(size, std::to_string(g.size) + " is no whole number of erase blocks of " +
                               std::to_string(g.erasesize) + " bytes");
  }
  return g;
}

void set_up_from_settings() {
  std::string folder = settings::given(setting::flash_dir)
                           ? settings::value(setting::flash_dir)
                           : "/tmp/ruk-sim-flash-" + std::to_string(static_cast<unsigned>(getuid()));
  mtd::serve(4, folder, geometry_from_settings(setting::mtd4_size, setting::mtd4_erasesize));
  mtd::serve(5, folder, geometry_from_settings(setting::mtd5_size, setting::mtd5_erasesize));
  if (settings::is(setting::flash_chip, "amd")) mtd::set_chip(mtd::chip::amd);
  if (settings::is(setting::flash_timing, "nor")) mtd::set_timing(true);
  std::vector<mtd::fault> faults;
  std::string error;
  if (!mtd::parse_faults(settings::value(setting::flash_fault), &faults, &error)) {
    settings::refuse(setting::flash_fault, error);
  }
  for (const mtd::fault& f : faults) mtd::inject(f);
}

setup_registration from_settings(set_up_from_settings);

}  // namespace
}  // namespace sim
