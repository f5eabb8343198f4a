// The run's transcript: what a person watching the phone would have seen and
// done, one line per event. It is the contract between what writes it (the
// simulator's seam, the emulated phone's ruk-devices) and what reads it (the
// tests, ruk-sim, ruk-vm-view, the scripts), so its whole form is here and
// nowhere else. scripts/transcript_format.py is its twin for the Python
// scripts; transcript_format_test runs both over the same examples
// (tests/transcript_examples.txt) and compares the constants, so that the
// two cannot drift apart.
//
// A line is "<ms>\t<kind>\t<text>\n": ms counted from the start of the run
// (on the simulated clock in the simulator, the guest's own in the VM), a
// kind below, and a text that holds no newline (it may hold tabs).
//
// A screen's text is its two rows, each in double quotes, one space between:
//   "To Update by TFTP:" "Press any key: 3"
// Within a row '"' and '\' stand as \" and \\; the LCD's reader writes its
// other escapes (\xNN, \?, \[, \]) the same way (sim/models/lcd_text.h).
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace transcript_format {

// The kinds of line.
namespace kind {
constexpr char screen[] = "screen";    // both text rows, as flushed to the panel
constexpr char panel[] = "panel";      // "on", or "off: <why>"
constexpr char key[] = "key";          // "press <name>" / "release <name>"
constexpr char net[] = "net";          // an interface, route or datagram request
constexpr char flash[] = "flash";      // a request to a flash partition
constexpr char restart[] = "restart";  // the restart request, or its refusal
constexpr char port[] = "port";        // the emulated phone: port requests and violations counted
constexpr char fault[] = "fault";      // a device's rules broken
constexpr char end[] = "end";          // "exit": the process ended by exit
}  // namespace kind

// Exit statuses of a run that only the simulator and the emulated phone's
// devices give: no path of the program itself ends with one of them.
namespace status {
constexpr int device_fault = 97;   // the program broke a device's rules (a "fault" line)
constexpr int setting_error = 98;  // a simulator setting could not be used
constexpr int restart = 99;        // the program restarted the (simulated) machine
}  // namespace status

// A restart line's text: the command the program gave reboot(), in eight
// hexadecimal digits ("0x01234567"), with " refused" after it when the
// restart was refused (the simulator's RUK_SIM_REBOOT=fail) and the program
// went on: "0x01234567 refused".
inline std::string restart_text(unsigned command) {
  char text[16];
  snprintf(text, sizeof text, "0x%08X", command);
  return text;
}

inline std::string restart_refused_text(unsigned command) {
  return restart_text(command) + " refused";
}

// Whether a restart line's text tells of a refused restart.
inline bool is_refused_restart(const std::string& text) {
  static const std::string refused = " refused";
  return text.size() >= refused.size() &&
         text.compare(text.size() - refused.size(), refused.size(), refused) == 0;
}

// The wording of a flash line, which the simulator's MTD model and the
// emulated phone's recorder of the program's partition requests both write:
// "open mtd5", "info mtd5 size 8388608 erasesize 65536", "erase mtd5
// 0+65536", "write mtd5 16+8176", "read mtd5 0+8192", "close mtd5"; a range
// is "<offset>+<bytes>".
inline std::string flash_range(uint64_t at, uint64_t bytes) {
  return std::to_string(at) + "+" + std::to_string(bytes);
}

inline std::string flash_open(const std::string& partition) {
  return "open " + partition;
}

inline std::string flash_close(const std::string& partition) {
  return "close " + partition;
}

inline std::string flash_info(const std::string& partition, uint64_t size, uint64_t erasesize) {
  return "info " + partition + " size " + std::to_string(size) + " erasesize " +
         std::to_string(erasesize);
}

// verb is "read", "write" or "erase".
inline std::string flash_request(const char* verb, const std::string& partition, uint64_t at,
                                 uint64_t bytes) {
  return verb + (" " + partition) + " " + flash_range(at, bytes);
}

struct line {
  long ms = 0;
  std::string kind;
  std::string text;
};

// "<ms>\t<kind>\t<text>" without the newline.
inline std::string join(long ms, const std::string& kind, const std::string& text) {
  return std::to_string(ms) + "\t" + kind + "\t" + text;
}

// A line (without its newline) into its three parts; false for anything
// that is not a transcript line (no ms of digits, fewer than two tabs).
inline bool split(const std::string& raw, line* out) {
  size_t tab1 = raw.find('\t');
  if (tab1 == 0 || tab1 == std::string::npos) return false;
  size_t tab2 = raw.find('\t', tab1 + 1);
  if (tab2 == std::string::npos) return false;
  for (size_t i = 0; i < tab1; ++i) {
    if (raw[i] < '0' || raw[i] > '9') return false;
  }
  out->ms = strtol(raw.c_str(), nullptr, 10);
  out->kind = raw.substr(tab1 + 1, tab2 - tab1 - 1);
  out->text = raw.substr(tab2 + 1);
  return true;
}

// A screen's text from its two rows as the LCD's reader wrote them.
inline std::string screen_text(const std::string& top, const std::string& bottom) {
  return "\"" + top + "\" \"" + bottom + "\"";
}

// A screen's text into its two rows, escapes kept as written; false when the
// text is not two quoted rows.
inline bool split_screen(const std::string& text, std::string* top, std::string* bottom) {
  std::string rows[2];
  size_t p = 0;
  for (int r = 0; r < 2; ++r) {
    if (r == 1 && (p >= text.size() || text[p++] != ' ')) return false;
    if (p >= text.size() || text[p++] != '"') return false;
    for (;;) {
      if (p >= text.size()) return false;
      char c = text[p++];
      if (c == '"') break;
      rows[r] += c;
      if (c == '\\') {
        if (p >= text.size()) return false;
        rows[r] += text[p++];
      }
    }
  }
  if (p != text.size()) return false;
  *top = rows[0];
  *bottom = rows[1];
  return true;
}

// A row with \" and \\ undone; the reader's other escapes stay as written.
inline std::string unquote_row(const std::string& row) {
  std::string out;
  for (size_t i = 0; i < row.size(); ++i) {
    if (row[i] == '\\' && i + 1 < row.size() && (row[i + 1] == '"' || row[i + 1] == '\\')) ++i;
    out += row[i];
  }
  return out;
}

}  // namespace transcript_format
