#include "tools/image.h"

#include <stdio.h>

#include <algorithm>

namespace ruk_image {

std::string hex32(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

std::string bytes(uint64_t n) {
  return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

uint32_t get_be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

void put_be32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value >> 24);
  p[1] = static_cast<uint8_t>(value >> 16);
  p[2] = static_cast<uint8_t>(value >> 8);
  p[3] = static_cast<uint8_t>(value);
}

uint32_t payload_sum(const uint8_t* payload, size_t available, uint32_t length) {
  size_t words = std::min<uint64_t>(available, length) / 4;
  uint32_t sum = 0;
  for (size_t i = 0; i < words; i++) sum += get_be32(payload + 4 * i);
  return sum;
}

std::vector<uint8_t> build(const std::vector<uint8_t>& payload) {
  size_t size = std::max(header_size + payload.size(), min_file_size);
  std::vector<uint8_t> file(size, pad_byte);
  auto length = static_cast<uint32_t>(payload.size());
  put_be32(&file[checksum_offset], payload_sum(payload.data(), payload.size(), length));
  put_be32(&file[length_offset], length);
  put_be32(&file[magic_offset], magic);
  put_be32(&file[unused_offset], 0);
  std::copy(payload.begin(), payload.end(), file.begin() + header_size);
  return file;
}

bool head_reads_erased(const uint8_t* payload, size_t available, uint32_t length) {
  size_t n = std::min<size_t>({head_size, available, length});
  return std::all_of(payload, payload + n, [](uint8_t b) { return b == 0xFF; });
}

report check(const std::vector<uint8_t>& file, uint64_t flash_size) {
  report r;
  r.file_size = file.size();
  if (file.empty()) {
    r.faults.push_back(
        {"No File or Server",
         "the file is empty, and the phone cannot tell an empty download from none"});
    return r;
  }
  if (file.size() < min_file_size) {
    r.faults.push_back({"Wrong Size!", "the file has " + bytes(file.size()) +
                                           ", the phone takes none under " + bytes(min_file_size)});
  }
  if (file.size() < header_size) {
    r.faults.back().detail += ", and it is too short for the 16-byte header";
    return r;
  }

  r.has_header = true;
  const uint8_t* p = file.data();
  r.fields.checksum = get_be32(p + checksum_offset);
  r.fields.length = get_be32(p + length_offset);
  r.fields.magic = get_be32(p + magic_offset);
  std::copy(p + unused_offset, p + unused_offset + 4, r.fields.unused);
  r.payload_in_file = file.size() - header_size;
  r.sum = payload_sum(p + header_size, r.payload_in_file, r.fields.length);

  if (r.fields.magic != magic) {
    r.faults.push_back({"Wrong Image", "the magic is " + std::to_string(r.fields.magic) + " (" +
                                           hex32(r.fields.magic) + "), the phone takes only " +
                                           std::to_string(magic)});
  }
  if (r.fields.length == 0) {
    r.faults.push_back({"Wrong Size!", "the header announces no payload (length 0)"});
  } else if (r.fields.length > r.payload_in_file) {
    r.faults.push_back({"Wrong Size!", "the header announces " + bytes(r.fields.length) +
                                           " of payload, the file holds " +
                                           bytes(r.payload_in_file) + " after the header"});
  }
  if (r.fields.length != 0 && r.fields.length <= r.payload_in_file &&
      head_reads_erased(p + header_size, r.payload_in_file, r.fields.length)) {
    r.faults.push_back({"Wrong Image", "the payload begins with " + bytes(std::min<size_t>(
                                           head_size, r.fields.length)) +
                                           " of 0xFF, which the phone cannot tell from a "
                                           "partition whose update was cut short"});
  }
  if (r.sum != r.fields.checksum) {
    r.faults.push_back({"CRC error", "the header's checksum is " + hex32(r.fields.checksum) +
                                         ", the payload sums to " + hex32(r.sum)});
  }
  if (flash_size != 0 && r.fields.length > flash_size) {
    r.faults.push_back({"Wrong Size!", "the payload of " + bytes(r.fields.length) +
                                           " does not fit the partition of " + bytes(flash_size)});
  }
  return r;
}

bool parse_size(const std::string& text, uint64_t* size) {
  std::string digits = text;
  uint64_t unit = 1;
  if (!digits.empty() && (digits.back() == 'K' || digits.back() == 'k')) {
    unit = 1024;
    digits.pop_back();
  } else if (!digits.empty() && (digits.back() == 'M' || digits.back() == 'm')) {
    unit = uint64_t{1} << 20;
    digits.pop_back();
  }
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.erase(0, 2);
  }
  if (digits.empty() || digits.size() > 12) return false;
  uint64_t value = 0;
  for (char c : digits) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return false;
    }
    value = value * base + d;
  }
  value *= unit;
  if (value == 0 || value > (uint64_t{1} << 32)) return false;
  *size = value;
  return true;
}

}  // namespace ruk_image
