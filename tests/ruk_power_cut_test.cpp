// The power-cut drill: the whole update on the simulated phone, its power cut
// (sim/seam/power_cut.h) at seeded random moments of every phase, and the phone
// started again on the flash as the cut left it. Whatever the moment, the
// next start must find either the old software untouched, or an erased head
// and the way to a new update, or the new software whole.
//
// A reference run without a cut gives each phase's place in the run: the
// screen or flash line after which it begins and how long it lasts on the
// simulated clock. A cut is set at such a line and a time after it, so that
// it lands where it is meant to whatever real time the download took. Which
// phase it really hit is read from the transcript the cut run left.
//
// Every cut prints its seed; RUK_DRILL_SEED=N runs that cut alone again.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <random>
#include <string>
#include <vector>

#include "sim/seam/mtd_model.h"
#include "tests/run_ruk.h"
#include "tests/temp_dir.h"
#include "tests/test_network.h"
#include "tests/tftp_peer.h"
#include "tools/image.h"

namespace {

// The peer's host, on the phone's segment.
const char server[] = "10.0.0.1";

// A press (in the countdown, or on the not-intact screen), the IP address
// 10.0.0.2, the TFTP server 10.0.0.1, no gateway, the netmask
// 255.255.255.0, and update.
const std::string type_and_update =
    "@500 1 u 1 0 * 0 * 0 * 2 c 1 0 * 0 * 0 * 1 c c 2 5 5 2 5 5 2 5 5 0 h";

constexpr uint32_t mtd4_size = 128 * 1024;
constexpr uint32_t mtd5_size = 256 * 1024;
constexpr uint32_t erase_block = 64 * 1024;
constexpr size_t payload_size = 150000;

enum phase {
  download,
  first_erase,
  mtd4_erase,
  rest_erase,
  body_write,
  body_read,
  head_write,
  head_read,
  pause,
  phase_count
};

const char* const phase_names[phase_count] = {"download",
                                              "erase of mtd5's first block",
                                              "erase of mtd4",
                                              "erase of the rest of mtd5",
                                              "write of the body",
                                              "read-back of the body",
                                              "write of the head",
                                              "read-back of the head",
                                              "pause before the restart"};

// What the next start must find after a cut in a phase.
enum outcome { old_intact, not_intact, new_intact };

outcome expected_after(phase p) {
  if (p <= first_erase) return old_intact;
  if (p <= head_write) return not_intact;
  return new_intact;
}

const char* const outcome_names[] = {"old software, counts down", "not intact, an update completes",
                                     "new software, counts down"};

// Cuts per phase: a few on this machine, one under the emulator.
int cuts_per_phase(phase p) {
  const char* emulator = getenv("RUK_EMULATOR");
  if (emulator != nullptr && *emulator != 0) return 1;
  static const int host[phase_count] = {3, 3, 2, 2, 3, 2, 2, 1, 2};
  return host[p];
}

std::string bytes_of(size_t n, unsigned seed) {
  std::string b(n, 0);
  std::mt19937 random(seed);
  for (char& c : b) c = static_cast<char>(random() & 0x7F);  // a head that is not erased
  return b;
}

// A phase's place in the reference run: it begins right after one of its
// screen or flash lines, the anchor, and lasts us on the simulated clock; a
// download cut comes right after one of the screens from first to anchor.
struct window {
  size_t first = 0;
  size_t anchor = 0;
  int64_t us = 0;
};

// The screen and flash lines of a run: what a cut's place is counted in.
// The other lines may fall elsewhere from run to run: a datagram that comes
// late moves the virtual clock, and a key may then be taken earlier.
std::vector<ruk_test::transcript_line> progress(const ruk_test::run_result& r) {
  std::vector<ruk_test::transcript_line> lines;
  for (const ruk_test::transcript_line& t : r.transcript) {
    if (t.kind == "screen" || t.kind == "flash") lines.push_back(t);
  }
  return lines;
}

// Where each phase lies in a reference run, and which phase a cut run ended
// in.
class phase_map {
 public:
  // False, with *why set, when the run does not show the update's flash
  // sequence: the head of mtd5 erased first and written last.
  bool read(const ruk_test::run_result& r, std::string* why) {
    lines_ = progress(r);
    const auto& t = lines_;
    auto find = [&](size_t from, const std::string& kind, const std::string& prefix) {
      for (size_t i = from; i < t.size(); ++i) {
        if (t[i].kind == kind && t[i].text.compare(0, prefix.size(), prefix) == 0) return i;
      }
      return t.size();
    };
    auto last = [&](size_t from, size_t to, const std::string& kind, const std::string& prefix) {
      size_t found = to;
      for (size_t i = find(from, kind, prefix); i < to; i = find(i + 1, kind, prefix)) found = i;
      return found;
    };
    size_t tftp_at = find(0, "screen", "\"tftp\"");
    size_t erasing_at = find(tftp_at, "screen", "\"Erasing applications...\"");
    size_t first_at = find(erasing_at, "flash", "erase mtd5 0+" + std::to_string(erase_block));
    size_t mtd4_at = find(first_at, "flash", "erase mtd4 0+" + std::to_string(mtd4_size));
    size_t writing_at = find(mtd4_at, "screen", "\"Writing applications...\"");
    size_t rest_at = last(mtd4_at, writing_at, "flash", "erase mtd5 ");
    size_t verifying_at = find(writing_at, "screen", "\"Verifying flash...\"");
    size_t body_written_at = last(writing_at, verifying_at, "flash", "write mtd5 ");
    size_t head_at = find(verifying_at, "flash", "write mtd5 0+16");
    size_t body_read_at = last(verifying_at, head_at, "flash", "read mtd5 ");
    size_t head_back_at = find(head_at, "flash", "read mtd5 0+16");
    size_t success_at = find(head_back_at, "screen", "\"Update Successful\"");
    if (success_at == t.size() || r.lines("restart").empty() || rest_at == writing_at ||
        body_written_at == verifying_at || body_read_at == head_at) {
      *why =
          "the run does not erase mtd5's first block, mtd4 and the rest of mtd5, write and "
          "read back the body, then write and read back the head, and restart";
      return false;
    }
    ends_[download] = erasing_at;
    ends_[first_erase] = first_at;
    ends_[mtd4_erase] = mtd4_at;
    ends_[rest_erase] = rest_at;
    ends_[body_write] = body_written_at;
    ends_[body_read] = body_read_at;
    ends_[head_write] = head_at;
    ends_[head_read] = head_back_at;
    ends_[pause] = t.size();
    // Each phase begins after the line before its first request and lasts
    // until its last request's line.
    auto span = [&](size_t from, size_t to) { return int64_t{t[to].ms - t[from].ms} * 1000; };
    windows_[download] = {tftp_at, erasing_at - 1, 0};
    windows_[first_erase] = {0, first_at - 1, span(first_at - 1, first_at)};
    windows_[mtd4_erase] = {0, mtd4_at - 1, span(mtd4_at - 1, mtd4_at)};
    windows_[rest_erase] = {0, mtd4_at, span(mtd4_at, rest_at)};
    windows_[body_write] = {0, rest_at, span(rest_at, body_written_at)};
    windows_[body_read] = {0, body_written_at, span(body_written_at, body_read_at)};
    // Too short for the transcript's milliseconds: one write buffer, and
    // the pages of 16 bytes.
    windows_[head_write] = {0, body_read_at, sim::mtd::nor_timing::buffer_program_us};
    windows_[head_read] = {0, head_at, sim::mtd::nor_timing::read_us(16)};
    long restart_ms = 0;
    for (const ruk_test::transcript_line& line : r.transcript) {
      if (line.kind == "restart") restart_ms = line.ms;
    }
    windows_[pause] = {0, success_at, int64_t{restart_ms - t[success_at].ms} * 1000};
    return true;
  }

  const window& of(phase p) const { return windows_[p]; }

  // RUK_SIM_POWER_CUT for right after line i of the reference (a screen or
  // flash line), plus us.
  std::string after(size_t i, int64_t us) const {
    long n = 0;
    for (size_t k = 0; k <= i; ++k) n += lines_[k].kind == lines_[i].kind;
    return lines_[i].kind + ":" + std::to_string(n) + "+" + std::to_string(us);
  }

  // The phase a cut run ended in: its screen and flash lines must be the
  // reference's up to where it stops. False, with *why set, when they are
  // not.
  bool hit(const ruk_test::run_result& r, phase* p, std::string* why) const {
    std::vector<ruk_test::transcript_line> t = progress(r);
    for (size_t i = 0; i < t.size(); ++i) {
      if (i >= lines_.size() || t[i].kind != lines_[i].kind || t[i].text != lines_[i].text) {
        *why =
            "screen or flash line " + std::to_string(i + 1) + " differs from the run without a cut";
        return false;
      }
    }
    for (int k = 0; k < phase_count; ++k) {
      if (t.size() <= ends_[k] && (k != pause || r.lines("restart").empty())) {
        *p = static_cast<phase>(k);
        return true;
      }
    }
    *why = "the run restarted the phone";
    return false;
  }

 private:
  std::vector<ruk_test::transcript_line> lines_;
  size_t ends_[phase_count] = {};
  window windows_[phase_count];
};

struct cut {
  unsigned seed = 0;
  phase aimed = download;
  std::string setting;  // RUK_SIM_POWER_CUT
};

cut cut_of(unsigned seed, const phase_map& map) {
  cut c;
  c.seed = seed;
  c.aimed = static_cast<phase>(seed % phase_count);
  std::mt19937 random(seed);
  const window& w = map.of(c.aimed);
  if (c.aimed == download) {
    size_t line = std::uniform_int_distribution<size_t>(w.first, w.anchor)(random);
    c.setting = map.after(line, 0);
  } else {
    int64_t us = std::uniform_int_distribution<int64_t>(0, std::max<int64_t>(w.us, 1) - 1)(random);
    c.setting = map.after(w.anchor, us);
  }
  return c;
}

class PowerCutDrill : public testing::Test {
 protected:
  void SetUp() override {
    if (!network.ready()) GTEST_SKIP() << network.why();
    image = ruk_image::build(payload_bytes());
    old_mtd4 = bytes_of(mtd4_size, 4);
    old_mtd5 = bytes_of(mtd5_size, 5);
  }

  static std::vector<uint8_t> payload_bytes() {
    std::string p = bytes_of(payload_size, 1);
    return std::vector<uint8_t>(p.begin(), p.end());
  }

  // A folder of flash files holding the old software.
  ruk_test::temp_dir old_flash() {
    ruk_test::temp_dir dir("ruk-power-cut");
    ruk_test::write_file(dir / "mtd4", old_mtd4);
    ruk_test::write_file(dir / "mtd5", old_mtd5);
    return dir;
  }

  // The phone on the flash in dir, with keys, the image served by a peer
  // on its segment, the chip's timing and the power cut, if any. On the
  // virtual clock the program waits only some 20 ms of real time for each
  // answer before its time-out passes, so on a loaded machine a peer
  // scheduled late can leave it with no answer at all ("No File or
  // Server"), the flash untouched: such a run is made again, twice at most.
  ruk_test::run_result run(const std::string& dir, const std::string& keys,
                           const std::string& power_cut = "") {
    ruk_test::run_result r;
    for (int attempt = 1; attempt <= 3; ++attempt) {
      r = run_once(dir, keys, power_cut);
      if (!unanswered(r)) break;
      printf("the download found no server (a late peer on a loaded machine?): run %d of 3\n",
             attempt);
    }
    return r;
  }

  ruk_test::run_result run_once(const std::string& dir, const std::string& keys,
                                const std::string& power_cut) {
    ruk_test::tftp_peer_script script;
    script.address = server;
    script.content = std::string(image.begin(), image.end());
    EXPECT_TRUE(network.enter());
    ruk_test::tftp_peer peer(script);
    network.leave();
    peer.start();
    ruk_test::run_options o;
    o.keys = keys;
    o.limit_seconds = 30;
    network.place(&o, server);
    o.env.push_back({"RUK_SIM_PORT69", std::to_string(peer.port())});
    o.env.push_back({"RUK_SIM_FLASH_DIR", dir});
    o.env.push_back({"RUK_SIM_MTD4_SIZE", std::to_string(mtd4_size)});
    o.env.push_back({"RUK_SIM_MTD5_SIZE", std::to_string(mtd5_size)});
    o.env.push_back({"RUK_SIM_FLASH_TIMING", "nor"});
    if (!power_cut.empty()) o.env.push_back({"RUK_SIM_POWER_CUT", power_cut});
    ruk_test::run_result r = ruk_test::run_ruk(o);
    peer.stop();
    return r;
  }

  static bool unanswered(const ruk_test::run_result& r) {
    for (const ruk_test::screen& s : r.screens()) {
      if (s.top == "No File or Server") return true;
    }
    return false;
  }

  static bool counted_down(const ruk_test::run_result& r) {
    for (const ruk_test::screen& s : r.screens()) {
      if (s.top == "To Update by TFTP:") return true;
    }
    return false;
  }

  // The update cut as c says, then the next start; the phase the cut hit.
  phase drill(const cut& c, const phase_map& map) {
    ruk_test::temp_dir dir = old_flash();
    ruk_test::run_result cut_run = run(dir.path(), type_and_update, c.setting);
    phase hit = download;
    std::string why;
    EXPECT_EQ(cut_run.signal, SIGKILL) << cut_run.dump();
    if (!map.hit(cut_run, &hit, &why)) {
      ADD_FAILURE() << why << "\n" << cut_run.dump();
      return hit;
    }
    std::string mtd5 = ruk_test::read_file(dir / "mtd5");
    std::string payload(image.begin() + 16, image.end());
    outcome expected = expected_after(hit);
    printf("cut seed %u (%s) aimed at the %s, hit the %s: next start %s\n", c.seed,
           c.setting.c_str(), phase_names[c.aimed], phase_names[hit], outcome_names[expected]);
    fflush(stdout);
    ruk_test::run_result next;
    if (expected == not_intact) {
      next = run(dir.path(), type_and_update);
      std::vector<ruk_test::screen> shown = next.screens();
      EXPECT_EQ(shown.empty() ? "" : shown[0].top + " / " + shown[0].bottom,
                "Software not intact: / update needed, press key")
          << next.dump();
      EXPECT_FALSE(counted_down(next)) << next.dump();
      EXPECT_EQ(next.status, transcript_format::status::restart) << next.dump();
      EXPECT_EQ(ruk_test::read_file(dir / "mtd5").substr(0, payload.size()), payload);
    } else {
      next = run(dir.path(), "");
      EXPECT_TRUE(counted_down(next)) << next.dump();
      EXPECT_EQ(next.status, 0) << next.dump();
      if (expected == old_intact) {
        EXPECT_TRUE(ruk_test::read_file(dir / "mtd4") == old_mtd4) << "mtd4 as before";
        EXPECT_TRUE(ruk_test::read_file(dir / "mtd5") == old_mtd5) << "mtd5 as before";
      } else {
        EXPECT_EQ(mtd5.substr(0, payload.size()), payload);
        EXPECT_TRUE(ruk_test::read_file(dir / "mtd5") == mtd5) << "the start changes nothing";
      }
    }
    return hit;
  }

  ruk_test::test_network network{{server}};
  std::vector<uint8_t> image;
  std::string old_mtd4;
  std::string old_mtd5;
};

TEST_F(PowerCutDrill, APowerCutAtAnyMomentOfTheUpdateLeavesAPhoneThatStartsOrUpdates) {
  ruk_test::run_result reference = run(old_flash().path(), type_and_update);
  ASSERT_EQ(reference.status, transcript_format::status::restart) << reference.dump();
  phase_map map;
  std::string why;
  ASSERT_TRUE(map.read(reference, &why)) << why << "\n" << reference.dump();

  std::vector<cut> cuts;
  if (const char* one = getenv("RUK_DRILL_SEED")) {
    cuts.push_back(cut_of(static_cast<unsigned>(strtoul(one, nullptr, 10)), map));
  } else {
    unsigned base = static_cast<unsigned>(time(nullptr)) % 100000;
    for (int p = 0; p < phase_count; ++p) {
      for (int k = 0; k < cuts_per_phase(static_cast<phase>(p)); ++k) {
        cuts.push_back(cut_of((base + k) * phase_count + p, map));
      }
    }
  }
  int hits[phase_count] = {};
  for (const cut& c : cuts) {
    SCOPED_TRACE("RUK_DRILL_SEED=" + std::to_string(c.seed));
    ++hits[drill(c, map)];
  }
  printf("\n%-28s %5s  %s\n", "phase hit", "cuts", "next start");
  for (int p = 0; p < phase_count; ++p) {
    printf("%-28s %5d  %s\n", phase_names[p], hits[p],
           outcome_names[expected_after(static_cast<phase>(p))]);
  }
}

}  // namespace
