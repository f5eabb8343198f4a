#include "tools/sim_options.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "sim/models/keypad_script.h"
#include "sim/seam/settings_table.h"

namespace ruk_sim {

namespace {

bool is_dir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string folder_of(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// mkdir -p.
bool make_dirs(const std::string& path) {
  if (path.empty() || is_dir(path)) return true;
  std::string parent = folder_of(path);
  if (parent != path && !make_dirs(parent)) return false;
  return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool read_text(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// The phone build has no simulator in it, and so none of the simulator's
// setting names; ruk-sim never starts a program without them.
bool simulated_build(const std::string& path) {
  std::string bytes;
  return read_text(path, &bytes) && bytes.find("RUK_SIM_KEYS") != std::string::npos;
}

// An output file must be able to be made: its folder exists and is writable.
bool output_folder_ok(const char* option, const std::string& path, std::string* error) {
  std::string folder = folder_of(path);
  if (!is_dir(folder)) {
    *error = std::string(option) + " " + path + ": the folder " + folder + " does not exist";
    return false;
  }
  if (access(folder.c_str(), W_OK) != 0) {
    *error = std::string(option) + " " + path + ": the folder " + folder + " is not writable";
    return false;
  }
  if (is_dir(path)) {
    *error = std::string(option) + " " + path + " is a folder; name a file";
    return false;
  }
  return true;
}

}  // namespace

std::string default_state_dir() {
  const char* state = getenv("XDG_STATE_HOME");
  if (state != nullptr && *state == '/') return std::string(state) + "/ruk-sim";
  const char* home = getenv("HOME");
  if (home != nullptr && *home == '/') return std::string(home) + "/.local/state/ruk-sim";
  return "";
}

std::string usage() {
  return "usage: ruk-sim [--state DIR] [--keys SCRIPT | --keys-file FILE] [--png FILE]\n"
         "               [--transcript FILE] [--net host] [--timeout SECONDS] [--verbose]\n"
         "               [--program PATH] [-- RUK-ARGUMENTS...]\n";
}

namespace {

// The simulator's settings, one entry of two lines each, from their table.
std::string settings_help() {
  std::string text =
      "Simulator settings reach the program from the environment (unset or empty:\n"
      "the default; ruk-sim's options set the flash folder, transcript, keys and\n"
      "pictures themselves). A value that cannot be used stops the run (98).\n";
  for (const sim::setting_row& row : sim::setting_rows) {
    text += std::string("  ") + row.name + "=" + row.form;
    if (*row.fallback != 0) text += std::string(", default ") + row.fallback;
    text += std::string("\n      ") + row.help + "\n";
  }
  return text;
}

}  // namespace

std::string help() {
  return usage() +
         "\n"
         "Runs the simulated ruk as the phone: its LCD drawn in the terminal, the\n"
         "keyboard as its keypad, its flash partitions (mtd4, mtd5) as files in a state\n"
         "folder that later runs find again. After the program ends or restarts the\n"
         "phone, Enter starts it again and Esc leaves.\n"
         "\n"
         "  --state DIR        the flash partitions' folder (default\n"
         "                     $XDG_STATE_HOME/ruk-sim or ~/.local/state/ruk-sim)\n"
         "  --keys SCRIPT      press keys from a script instead of the keyboard, e.g.\n"
         "                     '@1500 1 +300 1 9 2 * 1 6 8 c g' (@MS at, +MS later)\n"
         "  --keys-file FILE   the same, from a file\n"
         "  --png FILE         the last screen as a PNG\n"
         "  --transcript FILE  every screen, key, flash and network request, restart\n"
         "  --net host         the machine's network (to reach a TFTP server); the\n"
         "                     default is a network of the program's own, loopback only\n"
         "  --timeout SECONDS  stop a run after that long (scripts: 120; 0 for none)\n"
         "  --verbose          without a terminal, print every event\n"
         "  --program PATH     another simulated build of ruk\n"
         "\n"
         "Keys: 0-9 digit, . or * next octet, Backspace delete, Tab next screen,\n"
         "r reset the addresses, Enter update, q quit, Esc leave ruk-sim.\n"
         "Without a terminal, a scripted run prints every screen as a line of text.\n"
         "\n" +
         settings_help() +
         "\n"
         "Exit status: the program's (0 ended, 1 bad arguments, 99 restarted the\n"
         "phone, 98 a bad simulator setting, 97 a device's rules broken, such as the\n"
         "LCD bus protocol), 2 a mistake on ruk-sim's command line, 124 a run\n"
         "stopped by --timeout, 130 left while the program ran.\n";
}

bool parse(const std::vector<std::string>& args, const installation& where, options* opts,
           std::string* error) {
  options o;
  o.program = where.program;
  o.safe_run = where.safe_run;
  std::string keys_file;
  bool keys_given = false;
  long timeout = -1;  // not given
  for (size_t i = 0; i < args.size(); i++) {
    const std::string& a = args[i];
    if (a == "--") {
      o.program_args.assign(args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if (a == "-h" || a == "--help") {
      o.help = true;
      continue;
    }
    if (a == "--verbose") {
      o.verbose = true;
      continue;
    }
    std::string name = a, value;
    bool has_value = false;
    size_t equals = a.find('=');
    if (a.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      name = a.substr(0, equals);
      value = a.substr(equals + 1);
      has_value = true;
    }
    static const char* const with_value[] = {"--state",      "--keys", "--keys-file", "--png",
                                             "--transcript", "--net",  "--timeout",   "--program"};
    bool known = false;
    for (const char* w : with_value) known = known || name == w;
    if (!known) {
      *error = a.compare(0, 1, "-") == 0 ? "unknown option " + a
                                         : "'" + a +
                                               "' is not an option; ruk's own arguments "
                                               "go after --";
      return false;
    }
    if (!has_value) {
      if (i + 1 == args.size()) {
        *error = name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (value.empty() && name != "--keys") {
      *error = name + " is empty";
      return false;
    }
    if (name == "--state") {
      o.state_dir = value;
      o.state_dir_given = true;
    } else if (name == "--keys") {
      if (keys_given) {
        *error = "one key script only: --keys and --keys-file both given, or one twice";
        return false;
      }
      keys_given = true;
      o.keys = value;
    } else if (name == "--keys-file") {
      if (keys_given) {
        *error = "one key script only: --keys and --keys-file both given, or one twice";
        return false;
      }
      keys_given = true;
      keys_file = value;
    } else if (name == "--png") {
      o.png = value;
    } else if (name == "--transcript") {
      o.transcript = value;
    } else if (name == "--net") {
      if (value != "host" && value != "own") {
        *error =
            "--net is host (the machine's network, to reach a TFTP server) or own (none "
            "but loopback), not '" +
            value + "'";
        return false;
      }
      o.host_network = value == "host";
    } else if (name == "--timeout") {
      char* end = nullptr;
      long seconds = strtol(value.c_str(), &end, 10);
      if (*end != 0 || value[0] < '0' || value[0] > '9' || seconds > 86400) {
        *error =
            "--timeout is a whole number of seconds up to 86400 (0 for none), not '" + value + "'";
        return false;
      }
      timeout = seconds;
    } else if (name == "--program") {
      o.program = value;
    }
  }
  if (!keys_file.empty() && !read_text(keys_file, &o.keys)) {
    *error = "--keys-file " + keys_file + ": " + strerror(errno);
    return false;
  }
  o.scripted = keys_given;
  if (timeout < 0) timeout = o.scripted ? default_script_timeout : 0;
  o.timeout_seconds = static_cast<int>(timeout);
  if (o.state_dir.empty()) o.state_dir = default_state_dir();
  *opts = o;
  return true;
}

bool check(options* opts, std::string* error) {
  options& o = *opts;
  if (o.scripted) {
    std::vector<sim::key_event> events;
    std::string fault;
    if (!sim::parse_key_script(o.keys, &events, &fault)) {
      *error = "bad key script: " + fault;
      return false;
    }
    if (events.empty()) {
      *error = "the key script has no key in it";
      return false;
    }
  }
  if (o.state_dir.empty()) {
    *error = "no state folder: neither HOME nor XDG_STATE_HOME is set; give --state DIR";
    return false;
  }
  if (o.state_dir_given) {
    struct stat st;
    if (stat(o.state_dir.c_str(), &st) != 0) {
      *error = "the state folder " + o.state_dir + " does not exist; make it (mkdir -p " +
               o.state_dir + ") or leave out --state to use " + default_state_dir();
      return false;
    }
    if (!S_ISDIR(st.st_mode)) {
      *error = "the state folder " + o.state_dir + " is not a folder";
      return false;
    }
  } else if (!make_dirs(o.state_dir)) {
    *error = "cannot make the state folder " + o.state_dir + ": " + strerror(errno);
    return false;
  }
  if (access(o.state_dir.c_str(), W_OK) != 0) {
    *error = "the state folder " + o.state_dir + " is not writable";
    return false;
  }
  if (!o.png.empty() && !output_folder_ok("--png", o.png, error)) return false;
  if (!o.transcript.empty() && !output_folder_ok("--transcript", o.transcript, error)) {
    return false;
  }
  if (access(o.safe_run.c_str(), X_OK) != 0) {
    *error = "cannot run " + o.safe_run + ": " + strerror(errno);
    return false;
  }
  if (access(o.program.c_str(), X_OK) != 0) {
    *error = "cannot run the simulated program " + o.program + ": " + strerror(errno) +
             " (build it: cmake --build build --target ruk-simulated)";
    return false;
  }
  if (!simulated_build(o.program)) {
    *error = o.program +
             " is not a simulated build of ruk; ruk-sim never runs the phone build, "
             "which would set this machine's clock, reconfigure its network and "
             "restart it";
    return false;
  }
  return true;
}

}  // namespace ruk_sim
