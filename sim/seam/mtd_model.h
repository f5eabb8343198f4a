// The MTD flash model: the phone's partitions /dev/mtd4 and /dev/mtd5 as the
// program sees them, each backed by a file of the same name in a state folder
// (so that what a run wrote can be looked at, and survives the restart).
//
// A partition has a size and an erase-block size. It answers MEMGETINFO
// (0x40204D01, the phone's encoding) with the 32-byte mtd_info_user of a NOR
// flash, and MEMERASE (0x80084D02) for ranges aligned to whole erase blocks
// only; erased bytes read 0xFF. A write behaves as NOR flash does: it can only
// clear bits. Writing over data that was not erased leaves the AND of old and
// new on an Intel-style chip (the default); the kernel's driver for AMD-style
// chips checks every word it programmed, so there such a write fails with EIO
// after the bytes before the first one that would need a bit set. lseek and
// read work as on the kernel's MTD character device. A
// partition file that does not exist yet is made with an old firmware's
// pattern (neither erased nor zero), so that any erase or write shows.
//
// Faults can be injected per partition: the device does not open, MEMGETINFO
// fails, or an erase or write fails when it reaches a given byte offset (what
// came before that offset has been done, as on a real chip). A worn byte is
// the silent kind: erases report success but leave that byte as it was.
//
// With the chip's timing (RUK_SIM_FLASH_TIMING=nor) a request is done the
// way the chip does it, so that a power cut in its middle (sim/seam/power_cut.h)
// leaves what a chip leaves: an erase goes block by block, each block all
// 0xFF only once its time has passed; a write goes write buffer by write
// buffer, each buffer's bytes programmed once its time has passed. A cut
// during a block's erase leaves that block as it was: a simplification, as
// a real chip leaves an interrupted sector undefined (partly erased, bits
// that read unreliably), which no program can rely on either way. The
// backing files are written with pwrite, so what a killed process wrote
// stays in them, as a chip keeps what it programmed.
//
// Every request is written to the transcript as a "flash" line, for example
// "open mtd5", "info mtd5 size 8388608 erasesize 65536",
// "erase mtd5 0+8388608", "write mtd5 0+8192", "read mtd5 8192+8192",
// "close mtd5"; a refused or failed one ends in " failed: REASON".
//
// Set-up from the environment:
//   RUK_SIM_FLASH_DIR=DIR         folder of the partition files (made when
//                                 missing); default /tmp/ruk-sim-flash-UID
//   RUK_SIM_MTD4_SIZE=N, RUK_SIM_MTD5_SIZE=N
//   RUK_SIM_MTD4_ERASESIZE=N, RUK_SIM_MTD5_ERASESIZE=N
//                                 bytes, decimal or 0x hexadecimal, with an
//                                 optional K or M suffix; defaults 2M and 8M,
//                                 erase blocks of 64K
//   RUK_SIM_FLASH_FAULT=LIST      comma-separated faults: mtd5:open,
//                                 mtd4:info, mtd5:erase@65536, mtd5:write@8192,
//                                 mtd5:worn@100
//   RUK_SIM_FLASH_CHIP=intel|amd  how a write over bits that are not erased
//                                 ends (above); default intel
//   RUK_SIM_FLASH_TIMING=nor|none nor: erases, writes and reads take as long
//                                 as on a typical NOR chip (nor_timing below),
//                                 on the simulated clock; default none (at once)
// A partition file that exists with another size than the one set is an error
// (the run stops with a message naming the file and both sizes). In-process
// tests call sim::run_setup_once() (or sim::fresh_phone()) before serve, or
// the environment's set-up replaces theirs at the first simulated call.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace sim {

class mtd {
 public:
  struct geometry {
    uint32_t size;
    uint32_t erasesize;
  };

  enum class chip { intel, amd };
  static void set_chip(chip c);

  // The typical figures of an AMD-style 64 Mbit NOR chip with 64 KiB sectors
  // and a 32-word write buffer (Spansion S29GL064N data sheet): a sector
  // erase takes 0.5 s, programming one write buffer (64 bytes) 240 us, and a
  // page-mode read 90 ns for the first word of a 4-word page (the random
  // access time) and 25 ns for each further word of it (the page access
  // time). An erase takes its blocks' share of sectors, a write one buffer's
  // time for each 64-byte-aligned piece it touches, a read its pages: the
  // whole 8 MiB mtd5 erases in some 64 s, an 8 KiB write takes some 31 ms,
  // an 8 KiB read 169 us.
  struct nor_timing {
    static constexpr int64_t sector_bytes = 64 * 1024;
    static constexpr int64_t sector_erase_us = 500000;
    static constexpr int64_t buffer_bytes = 64;
    static constexpr int64_t buffer_program_us = 240;
    static constexpr int64_t page_words = 4;
    static constexpr int64_t page_first_word_ns = 90;
    static constexpr int64_t page_next_word_ns = 25;
    static int64_t erase_us(uint64_t bytes);
    // Rounded up to whole microseconds.
    static int64_t read_us(uint64_t bytes);
  };
  // Off (the default): erases, writes and reads take no time.
  static void set_timing(bool nor);

  enum class fault_kind { open, info, erase, write, worn };
  struct fault {
    int partition;  // 4 or 5
    fault_kind kind;
    uint32_t offset;  // erase, write, worn: the byte that fails
  };

  // Serves /dev/mtdN (N is 4 or 5) from the file mtdN in dir, which is made
  // at the first open when missing. Replaces an earlier set-up of N.
  static void serve(int partition, const std::string& dir, geometry g);

  static void inject(const fault& f);
  static void clear_faults();
  // Parses a RUK_SIM_FLASH_FAULT list; on a fault in it returns false, adds
  // nothing and names the bad entry in error.
  static bool parse_faults(const std::string& list, std::vector<fault>* faults, std::string* error);
  // Parses a size setting; false for anything but a positive size below 4 GiB.
  static bool parse_size(const std::string& text, uint32_t* size);

  // The byte a new partition file holds at offset.
  static uint8_t old_firmware_byte(uint32_t offset);
};

}  // namespace sim
