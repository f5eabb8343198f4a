#include "sim/seam/mtd_model.h"

#include <errno.h>
#include <fcntl.h>
#include <mtd/mtd-abi.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>

#include "sim/models/transcript_format.h"
#include "sim/seam/clock.h"
#include "sim/seam/fd_table.h"
#include "sim/seam/settings.h"
#include "sim/seam/transcript.h"
#include "sim/seam/real.h"

namespace sim {

namespace kind = transcript_format::kind;
using transcript_format::flash_range;

namespace {

// The phone's request codes (MIPS direction bits), whatever the host's are.
constexpr unsigned long memgetinfo = 0x40204D01UL;
constexpr unsigned long memerase = 0x80084D02UL;
static_assert(sizeof(mtd_info_user) == 32, "the record the program reads");
static_assert(sizeof(erase_info_user) == 8, "the record the program writes");

struct partition_setup {
  std::string dir;
  mtd::geometry g;
};

std::map<int, partition_setup>& setups() {
  static auto* m = new std::map<int, partition_setup>;
  return *m;
}

mtd::chip chip_style = mtd::chip::intel;
bool nor_timing_on = false;

// The chip is busy for that long: on the virtual clock the clock moves, on
// the real one the program waits as it would on the phone. Back-to-back
// operations (the buffers of a write) wait for deadlines one after the
// other, so that the oversleeping of each wait does not add up.
void busy_for(int64_t us) {
  if (!nor_timing_on || us <= 0) return;
  if (clock::is_virtual()) {
    clock::advance_us(us);
    return;
  }
  static int64_t busy_until_ns = 0;
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  int64_t now_ns = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
  busy_until_ns = std::max(busy_until_ns, now_ns) + us * 1000;
  timespec until = {static_cast<time_t>(busy_until_ns / 1000000000),
                    static_cast<long>(busy_until_ns % 1000000000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

std::vector<mtd::fault>& faults() {
  static auto* f = new std::vector<mtd::fault>;
  return *f;
}

const mtd::fault* find_fault(int partition, mtd::fault_kind kind) {
  for (const mtd::fault& f : faults()) {
    if (f.partition == partition && f.kind == kind) return &f;
  }
  return nullptr;
}

std::string device_path(int partition) {
  return "/dev/mtd" + std::to_string(partition);
}

// One open descriptor of a partition.
class partition_file : public file {
 public:
  partition_file(int number, int backing, mtd::geometry g, bool writable)
      : number_(number),
        name_("mtd" + std::to_string(number)),
        fd_(backing),
        g_(g),
        writable_(writable) {}

  ssize_t read(void* buffer, size_t n) override {
    uint64_t at = pos_;
    size_t count = pos_ >= g_.size ? 0 : static_cast<size_t>(std::min<uint64_t>(n, g_.size - pos_));
    busy_for(mtd::nor_timing::read_us(count));
    if (count > 0 &&
        pread(fd_, buffer, count, static_cast<off_t>(pos_)) != static_cast<ssize_t>(count)) {
      return failed("read", flash_range(at, n), EIO, "backing file");
    }
    pos_ += count;
    transcript(kind::flash, transcript_format::flash_request("read", name_, at, count));
    return static_cast<ssize_t>(count);
  }

  ssize_t write(const void* buffer, size_t n) override {
    uint64_t at = pos_;
    if (!writable_) return failed("write", flash_range(at, n), EBADF, "opened read-only");
    if (pos_ >= g_.size) return failed("write", flash_range(at, n), ENOSPC, "past the end");
    size_t count = static_cast<size_t>(std::min<uint64_t>(n, g_.size - pos_));
    const mtd::fault* f = find_fault(number_, mtd::fault_kind::write);
    bool fails = f != nullptr && f->offset >= at && f->offset < at + count;
    size_t limit = fails ? f->offset - at : count;
    // Buffer by buffer, as the chip programs: each takes its time and only
    // then holds its bytes, so a cut keeps the buffers before it. Without
    // the timing no time passes, and the whole range goes at once.
    const uint8_t* data = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < limit) {
      uint64_t buffer_bytes = mtd::nor_timing::buffer_bytes;
      uint64_t left = limit - done;
      size_t piece = static_cast<size_t>(
          nor_timing_on ? std::min<uint64_t>(left, buffer_bytes - pos_ % buffer_bytes) : left);
      busy_for(mtd::nor_timing::buffer_program_us);
      size_t programmed = piece;
      size_t unset = piece;
      if (!program(data + done, &programmed, &unset)) {
        return failed("write", flash_range(at, n), EIO, "backing file");
      }
      pos_ += programmed;
      done += programmed;
      if (programmed < piece) {
        return failed("write", flash_range(at, n), EIO,
                      "would set bits at " + std::to_string(pos_) + " (AMD-style chip)");
      }
    }
    if (fails)
      return failed("write", flash_range(at, n), EIO, "injected at " + std::to_string(f->offset));
    transcript(kind::flash, transcript_format::flash_request("write", name_, at, count));
    return static_cast<ssize_t>(count);
  }

  off_t lseek(off_t offset, int whence) override {
    int64_t base = whence == SEEK_SET   ? 0
                   : whence == SEEK_CUR ? static_cast<int64_t>(pos_)
                   : whence == SEEK_END ? static_cast<int64_t>(g_.size)
                                        : -1;
    int64_t target = base + offset;
    if (base < 0 || target < 0 || target > g_.size) return fail(EINVAL);
    pos_ = static_cast<uint64_t>(target);
    return static_cast<off_t>(target);
  }

  int ioctl(unsigned long request, void* arg) override {
    if (request == memgetinfo) return info(static_cast<mtd_info_user*>(arg));
    if (request == memerase) return erase(*static_cast<const erase_info_user*>(arg));
    return fail(ENOTTY);
  }

  void close() override {
    __real_close(fd_);
    transcript(kind::flash, transcript_format::flash_close(name_));
  }

 private:
  int failed(const std::string& what, const std::string& detail, int error,
             const std::string& why) {
    transcript(kind::flash, what + " " + name_ + " " + detail + " failed: " + why);
    return fail(error);
  }

  int info(mtd_info_user* out) {
    if (find_fault(number_, mtd::fault_kind::info) != nullptr) {
      return failed("info", "", EIO, "injected");
    }
    memset(out, 0, sizeof *out);
    out->type = MTD_NORFLASH;
    out->flags = MTD_CAP_NORFLASH;
    out->size = g_.size;
    out->erasesize = g_.erasesize;
    out->writesize = 1;
    transcript(kind::flash, transcript_format::flash_info(name_, g_.size, g_.erasesize));
    return 0;
  }

  int erase(const erase_info_user& request) {
    uint64_t start = request.start;
    uint64_t length = request.length;
    std::string what = flash_range(start, length);
    if (!writable_) return failed("erase", what, EBADF, "opened read-only");
    if (length == 0 || start % g_.erasesize != 0 || length % g_.erasesize != 0 ||
        start + length > g_.size) {
      return failed("erase", what, EINVAL, "not whole erase blocks inside the partition");
    }
    uint64_t stop = start + length;
    const mtd::fault* f = find_fault(number_, mtd::fault_kind::erase);
    bool fails = f != nullptr && f->offset >= start && f->offset < stop;
    if (fails) stop = f->offset - f->offset % g_.erasesize;
    // Block by block, as the chip erases: each takes its time and only then
    // reads 0xFF, so a cut leaves the blocks before it erased and the rest
    // as they were.
    std::vector<uint8_t> erased(g_.erasesize, 0xFF);
    for (uint64_t at = start; at < stop; at += g_.erasesize) {
      busy_for(mtd::nor_timing::erase_us(g_.erasesize));
      if (!erase_block(at, erased)) return failed("erase", what, EIO, "backing file");
    }
    if (fails) return failed("erase", what, EIO, "injected at " + std::to_string(f->offset));
    transcript(kind::flash, transcript_format::flash_request("erase", name_, start, length));
    return 0;
  }

  // A worn byte in the block keeps its value; the erase does not tell.
  bool erase_block(uint64_t at, std::vector<uint8_t>& erased) {
    const mtd::fault* w = find_fault(number_, mtd::fault_kind::worn);
    bool worn = w != nullptr && w->offset >= at && w->offset < at + g_.erasesize;
    size_t cell = worn ? w->offset - at : 0;
    if (worn && pread(fd_, &erased[cell], 1, static_cast<off_t>(w->offset)) != 1) return false;
    bool ok = pwrite(fd_, erased.data(), erased.size(), static_cast<off_t>(at)) ==
              static_cast<ssize_t>(erased.size());
    erased[cell] = 0xFF;
    return ok;
  }

  // NOR programming: each bit can go from 1 to 0, never back. *n bytes from
  // pos_ on; *unset is set to the first of them that would need a bit set
  // (*n when none does). On an AMD-style chip the write stops there, and *n
  // becomes what was programmed.
  bool program(const uint8_t* data, size_t* n, size_t* unset) {
    if (*n == 0) return true;
    std::vector<uint8_t> cells(*n);
    if (pread(fd_, cells.data(), *n, static_cast<off_t>(pos_)) != static_cast<ssize_t>(*n))
      return false;
    for (size_t i = 0; i < *n && *unset == *n; ++i) {
      if ((cells[i] & data[i]) != data[i]) *unset = i;
    }
    if (chip_style == mtd::chip::amd) *n = *unset;
    for (size_t i = 0; i < *n; ++i) cells[i] &= data[i];
    return *n == 0 ||
           pwrite(fd_, cells.data(), *n, static_cast<off_t>(pos_)) == static_cast<ssize_t>(*n);
  }

  int number_;
  std::string name_;
  int fd_;
  mtd::geometry g_;
  bool writable_;
  uint64_t pos_ = 0;
};

// Opens the partition's file, making it with the old firmware's pattern when
// it does not exist. -1 on failure. A file of another size than g's stops
// the run, as a bad value of the partition's size setting.
int open_backing(const std::string& path, setting size, mtd::geometry g) {
  int fd = __real_open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd >= 0) {
    struct stat st;
    if (fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) != g.size) {
      __real_close(fd);
      settings::refuse(size, path + " holds " + std::to_string(st.st_size) + " bytes, not " +
                                 std::to_string(g.size) +
                                 ": remove the file or set the size it has");
    }
    return fd;
  }
  if (errno != ENOENT) return -1;
  fd = __real_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  std::vector<uint8_t> block(65536);
  for (uint32_t at = 0; at < g.size; at += static_cast<uint32_t>(block.size())) {
    size_t n = std::min<size_t>(block.size(), g.size - at);
    for (size_t i = 0; i < n; ++i) block[i] = mtd::old_firmware_byte(at + static_cast<uint32_t>(i));
    if (pwrite(fd, block.data(), n, at) != static_cast<ssize_t>(n)) {
      __real_close(fd);
      unlink(path.c_str());
      return -1;
    }
  }
  return fd;
}

std::shared_ptr<file> open_partition(int number, int flags) {
  std::string name = "mtd" + std::to_string(number);
  if (find_fault(number, mtd::fault_kind::open) != nullptr) {
    transcript(kind::flash, transcript_format::flash_open(name) + " failed: injected");
    errno = ENODEV;
    return nullptr;
  }
  const partition_setup& s = setups().at(number);
  mkdir(s.dir.c_str(), 0755);
  std::string path = s.dir + "/" + name;
  int backing = open_backing(path, number == 4 ? setting::mtd4_size : setting::mtd5_size, s.g);
  if (backing < 0) {
    int error = errno;
    transcript(kind::flash,
               transcript_format::flash_open(name) + " failed: " + path + ": " + strerror(error));
    errno = error;
    return nullptr;
  }
  transcript(kind::flash, transcript_format::flash_open(name));
  int mode = flags & O_ACCMODE;
  return std::make_shared<partition_file>(number, backing, s.g, mode == O_RDWR || mode == O_WRONLY);
}

}  // namespace

void mtd::serve(int partition, const std::string& dir, geometry g) {
  setups()[partition] = partition_setup{dir, g};
  attach_path(device_path(partition),
              [partition](int flags) { return open_partition(partition, flags); });
}

void mtd::set_chip(chip c) {
  chip_style = c;
}

void mtd::set_timing(bool nor) {
  nor_timing_on = nor;
}

int64_t mtd::nor_timing::erase_us(uint64_t bytes) {
  return static_cast<int64_t>((bytes + sector_bytes - 1) / sector_bytes) * sector_erase_us;
}

int64_t mtd::nor_timing::read_us(uint64_t bytes) {
  int64_t words = static_cast<int64_t>((bytes + 1) / 2);
  int64_t pages = (words + page_words - 1) / page_words;
  int64_t ns = pages * page_first_word_ns + (words - pages) * page_next_word_ns;
  return (ns + 999) / 1000;
}

void mtd::inject(const fault& f) {
  faults().push_back(f);
}

void mtd::clear_faults() {
  faults().clear();
}

uint8_t mtd::old_firmware_byte(uint32_t offset) {
  // Varies within a block and from block to block, and clears some bits of
  // every byte, so an erase and a write each change it visibly.
  uint32_t x = offset * 2654435761u;
  return static_cast<uint8_t>((x >> 24) & 0x7E);
}

}  // namespace sim
