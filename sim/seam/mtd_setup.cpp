// The MTD model's settings: sizes, the state folder and injected faults, from
// the environment at the first simulated call.
#include <stdlib.h>
#include <unistd.h>

#include "sim/seam/fd_table.h"
#include "sim/seam/mtd_model.h"
#include "sim/seam/setting_error.h"

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
  size_t from = 0;
  while (from <= list.size()) {
    size_t comma = list.find(',', from);
    std::string entry =
        list.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    from = comma == std::string::npos ? list.size() + 1 : comma + 1;
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

mtd::geometry geometry_from_environment(int partition, mtd::geometry g) {
  std::string prefix = "RUK_SIM_MTD" + std::to_string(partition);
  std::string size_name = prefix + "_SIZE";
  std::string erase_name = prefix + "_ERASESIZE";
  if (const char* v = getenv(size_name.c_str())) {
    if (!mtd::parse_size(v, &g.size)) {
      setting_error(
          size_name.c_str(),
          "\"" + std::string(v) + "\" is no size in bytes (such as 8388608, 0x800000 or 8M)");
    }
  }
  if (const char* v = getenv(erase_name.c_str())) {
    if (!mtd::parse_size(v, &g.erasesize)) {
      setting_error(erase_name.c_str(),
                    "\"" + std::string(v) + "\" is no size in bytes (such as 65536 or 64K)");
    }
  }
  if (g.size % g.erasesize != 0) {
    setting_error(size_name.c_str(), std::to_string(g.size) +
                                         " is no whole number of erase blocks of " +
                                         std::to_string(g.erasesize) + " bytes");
  }
  return g;
}

std::string setting(const char* name) {
  const char* v = getenv(name);
  return v != nullptr ? v : "";
}

void set_up_from_environment() {
  const char* dir = getenv("RUK_SIM_FLASH_DIR");
  std::string folder =
      dir != nullptr && *dir != 0
          ? dir
          : "/tmp/ruk-sim-flash-" + std::to_string(static_cast<unsigned>(getuid()));
  mtd::serve(4, folder, geometry_from_environment(4, mtd::default_mtd4));
  mtd::serve(5, folder, geometry_from_environment(5, mtd::default_mtd5));
  std::string chip = setting("RUK_SIM_FLASH_CHIP");
  if (chip == "amd") {
    mtd::set_chip(mtd::chip::amd);
  } else if (!chip.empty() && chip != "intel") {
    setting_error("RUK_SIM_FLASH_CHIP", "\"" + chip + "\" is neither intel nor amd");
  }
  std::string timing = setting("RUK_SIM_FLASH_TIMING");
  if (timing == "nor") {
    mtd::set_timing(true);
  } else if (!timing.empty() && timing != "none") {
    setting_error("RUK_SIM_FLASH_TIMING", "\"" + timing + "\" is neither nor nor none");
  }
  if (const char* list = getenv("RUK_SIM_FLASH_FAULT")) {
    std::vector<mtd::fault> faults;
    std::string error;
    if (!mtd::parse_faults(list, &faults, &error)) setting_error("RUK_SIM_FLASH_FAULT", error);
    for (const mtd::fault& f : faults) mtd::inject(f);
  }
}

setup_registration from_environment(set_up_from_environment);

}  // namespace
}  // namespace sim
