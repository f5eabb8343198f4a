// The update image "tolv510.bin" as the phone reads it, built and checked
// independently of the program's own decoder, so that a fault in one shows
// against the other.
//
//   offset 0   checksum  sum mod 2^32 of the payload's 32-bit big-endian
//                        words (whole words of the first `length` bytes)
//   offset 4   length    payload bytes that are checked and written
//   offset 8   magic     253 (00 00 00 FD)
//   offset 12  unused    not read; written as zero
//   offset 16  payload   written to /dev/mtd5 from its offset 0
//
// Every word is big-endian on every machine, and is encoded and decoded here
// byte by byte. The phone takes no file under 1024 bytes; a shorter payload
// is followed by pad bytes (0xFF, as erased flash reads) up to 1024, which
// the phone receives but neither checks nor writes, because `length` stays
// the payload's own length.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace ruk_image {

constexpr size_t header_size = 16;
constexpr size_t checksum_offset = 0;
constexpr size_t length_offset = 4;
constexpr size_t magic_offset = 8;
constexpr size_t unused_offset = 12;
constexpr uint32_t magic = 253;
constexpr size_t min_file_size = 1024;
constexpr uint8_t pad_byte = 0xFF;
constexpr uint64_t max_payload = 0xFFFFFFFFu;
// The phone writes the payload's first head_size bytes last, so that a
// partition whose head reads erased (all 0xFF) means an update cut short.
constexpr size_t head_size = 16;

uint32_t get_be32(const uint8_t* p);
void put_be32(uint8_t* p, uint32_t value);

// Texts for reports: "0x000000FD", "1 byte", "1024 bytes".
std::string hex32(uint32_t value);
std::string bytes(uint64_t n);

// The phone's checksum: the first min(available, length) bytes of payload,
// rounded down to whole words, summed as big-endian words with wrap-around.
uint32_t payload_sum(const uint8_t* payload, size_t available, uint32_t length);

// Whether the payload's first min(head_size, length) bytes (of the
// available ones) are all 0xFF: the phone refuses such an image ("Wrong
// Image"), which once written would read as a partition an update erased
// and did not finish.
bool head_reads_erased(const uint8_t* payload, size_t available, uint32_t length);

// The image file for payload: header, payload, pad bytes up to
// min_file_size. REQUIRES: payload.size() <= max_payload.
std::vector<uint8_t> build(const std::vector<uint8_t>& payload);

struct header {
  uint32_t checksum = 0;
  uint32_t length = 0;
  uint32_t magic = 0;
  uint8_t unused[4] = {0, 0, 0, 0};
};

// One fault of an image: the words the phone shows for it ("Wrong Size!",
// "Wrong Image", "CRC error", "No File or Server") and what exactly is wrong.
struct fault {
  std::string phone_words;
  std::string detail;
};

// What an image file holds and what the phone's checks find in it.
struct report {
  uint64_t file_size = 0;
  bool has_header = false;  // the file holds the 16 header bytes
  header fields;
  uint64_t payload_in_file = 0;  // bytes after the header
  uint32_t sum = 0;              // payload_sum over what the file holds
  // Faults in the order the phone checks: file size, magic, announced
  // length, an erased head, checksum, partition size. The phone shows the first.
  std::vector<fault> faults;
};

// Checks file as the phone would after receiving it whole. flash_size is the
// size of the partition the payload is written to, 0 when unknown (no check).
report check(const std::vector<uint8_t>& file, uint64_t flash_size);

// Reads a size: decimal or 0x hexadecimal, optionally followed by K or M
// (times 1024 or 1048576); false unless it is from 1 to 2^32.
bool parse_size(const std::string& text, uint64_t* size);

}  // namespace ruk_image
