// The Linux MTD character device's requests and records, as the phone's
// kernel defines them. The request codes carry the MIPS encoding of the
// direction bits and are used unchanged on every build. The records are the
// kernel's and hold native words, so they are read in place.
#pragma once

#include <stdint.h>

struct mtd_info_user {
  uint8_t type;
  uint32_t flags;
  uint32_t size;  // bytes in the partition
  uint32_t erasesize;
  uint32_t writesize;
  uint32_t oobsize;
  uint64_t padding;
};
static_assert(sizeof(mtd_info_user) == 32, "the kernel fills exactly 32 bytes");

struct erase_info_user {
  uint32_t start;
  uint32_t length;
};
static_assert(sizeof(erase_info_user) == 8, "the kernel reads exactly 8 bytes");

// _IOR('M', 1, struct mtd_info_user): the partition's geometry.
constexpr unsigned long MEMGETINFO = 0x40204D01UL;
// _IOW('M', 2, struct erase_info_user): erase whole erase blocks.
constexpr unsigned long MEMERASE = 0x80084D02UL;

constexpr const char* mtd4_path = "/dev/mtd4";
constexpr const char* mtd5_path = "/dev/mtd5";
