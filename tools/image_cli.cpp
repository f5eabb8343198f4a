#include "tools/image_cli.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "tools/image.h"

namespace ruk_image {

namespace {

const char synopsis[] =
    "usage: ruk-image create PAYLOAD -o IMAGE [--flash-size N]\n"
    "       ruk-image check IMAGE [--flash-size N]\n";

const char details[] =
    "\n"
    "create  writes IMAGE: the 16-byte header (checksum, length, magic 253), then\n"
    "        PAYLOAD; a payload under 1008 bytes is followed by 0xFF pad bytes up\n"
    "        to the phone's minimum file of 1024 bytes, which the phone neither\n"
    "        checks nor writes (the length stays the payload's)\n"
    "check   shows the header's fields and every fault the phone would find, in\n"
    "        the phone's words (\"Wrong Size!\", \"Wrong Image\", \"CRC error\")\n"
    "--flash-size N  also check that the payload fits a partition of N bytes\n"
    "                (decimal or 0x hexadecimal, optional K or M)\n"
    "\n"
    "Exit status: 0 good image, 1 faulty image, 2 usage or file error.\n";

// What the command line asked for.
struct request {
  std::string command;
  std::string input;
  std::string output;
  uint64_t flash_size = 0;
  bool help = false;
};

bool parse_args(const std::vector<std::string>& args, request* req, std::string* error) {
  std::vector<std::string> words;
  for (size_t i = 0; i < args.size(); i++) {
    const std::string& a = args[i];
    auto value = [&](const std::string& name, std::string* v) {
      if (a.size() > name.size() && a.compare(0, name.size() + 1, name + "=") == 0) {
        *v = a.substr(name.size() + 1);
        return true;
      }
      if (a != name) return false;
      if (i + 1 == args.size()) {
        *error = name + " needs a value";
        return false;
      }
      *v = args[++i];
      return true;
    };
    std::string v;
    if (a == "-h" || a == "--help") {
      req->help = true;
    } else if (value("-o", &v) || value("--output", &v)) {
      if (v.empty()) {
        *error = "the output file name is empty";
        return false;
      }
      req->output = v;
    } else if (value("--flash-size", &v)) {
      if (!parse_size(v, &req->flash_size)) {
        *error = "--flash-size '" + v + "' is not a size from 1 byte to 4G";
        return false;
      }
    } else if (!error->empty()) {
      return false;
    } else if (a.size() > 1 && a[0] == '-') {
      *error = "unknown option " + a;
      return false;
    } else {
      words.push_back(a);
    }
  }
  if (req->help) return true;
  if (words.empty()) {
    *error = "no command; say create or check";
    return false;
  }
  req->command = words[0];
  if (req->command != "create" && req->command != "check") {
    *error = "unknown command '" + req->command + "'; say create or check";
    return false;
  }
  const char* what = req->command == "create" ? "payload" : "image";
  if (words.size() < 2) {
    *error = req->command + ": no " + what + " file given";
    return false;
  }
  if (words.size() > 2) {
    *error = req->command + ": one " + what + " file only, not also '" + words[2] + "'";
    return false;
  }
  req->input = words[1];
  if (req->command == "create" && req->output.empty()) {
    *error = "create: no output file; give -o IMAGE (the phone fetches tolv510.bin)";
    return false;
  }
  if (req->command == "check" && !req->output.empty()) {
    *error = "check: -o is for create; check writes nothing";
    return false;
  }
  return true;
}

// Reads the whole file. On failure says why in *error, naming the file.
bool read_file(const std::string& path, uint64_t limit, std::vector<uint8_t>* data,
               std::string* error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open " + path + ": " + strerror(errno);
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) > limit) {
    *error = path + " has " + bytes(st.st_size) + ", more than the header's length field can hold";
    close(fd);
    return false;
  }
  data->clear();
  uint8_t buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = "cannot read " + path + ": " + strerror(errno);
      close(fd);
      return false;
    }
    if (n == 0) break;
    data->insert(data->end(), buffer, buffer + n);
    if (data->size() > limit) {
      *error = path + " holds more than the header's length field can hold";
      close(fd);
      return false;
    }
  }
  close(fd);
  return true;
}

// Writes data to path through a temporary file beside it, so that a failed
// write leaves no half image and an existing file as it was.
bool write_file(const std::string& path, const std::vector<uint8_t>& data, std::string* error) {
  std::string temporary = path + ".tmp-" + std::to_string(getpid());
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot write " + path + ": " + strerror(errno);
    return false;
  }
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  int saved = errno;
  bool ok = done == data.size();
  if (close(fd) != 0 && ok) {
    saved = errno;
    ok = false;
  }
  if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
    saved = errno;
    ok = false;
  }
  if (!ok) {
    unlink(temporary.c_str());
    *error = "cannot write " + path + ": " + strerror(saved);
  }
  return ok;
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// Says so when the checksum leaves out the payload's last bytes.
std::string unsummed_note(uint32_t length) {
  if (length % 4 == 0) return "";
  std::string tail = length % 4 == 1 ? "last byte is" : "last " + bytes(length % 4) + " are";
  return "note: the payload's " + tail +
         " written but not summed: the checksum covers whole words only\n";
}

int create(const request& req, std::string* out, std::string* err) {
  std::vector<uint8_t> payload;
  std::string error;
  if (!read_file(req.input, max_payload, &payload, &error)) {
    *err += "ruk-image: " + error + "\n";
    return exit_usage;
  }
  if (payload.empty()) {
    *err += "ruk-image: " + req.input +
            " is empty; the phone refuses an image without payload (Wrong Size!)\n";
    return exit_usage;
  }
  if (req.flash_size != 0 && payload.size() > req.flash_size) {
    *err += "ruk-image: " + req.input + " has " + bytes(payload.size()) +
            ", more than the partition of " + bytes(req.flash_size) + "\n";
    return exit_usage;
  }
  if (head_reads_erased(payload.data(), payload.size(), static_cast<uint32_t>(payload.size()))) {
    *err += "ruk-image: " + req.input + " begins with " +
            bytes(std::min<size_t>(head_size, payload.size())) +
            " of 0xFF; the phone refuses such an image (Wrong Image): once written it "
            "reads as a partition whose update was cut short\n";
    return exit_usage;
  }
  if (same_file(req.input, req.output)) {
    *err += "ruk-image: the output " + req.output + " is the payload itself; name another file\n";
    return exit_usage;
  }
  std::vector<uint8_t> image = build(payload);
  if (!write_file(req.output, image, &error)) {
    *err += "ruk-image: " + error + "\n";
    return exit_usage;
  }
  uint32_t checksum = get_be32(&image[checksum_offset]);
  *out += req.output + ": " + bytes(image.size()) + ", checksum " + hex32(checksum) + ", length " +
          std::to_string(payload.size()) + ", magic " + std::to_string(magic) + "\n";
  size_t pad = image.size() - header_size - payload.size();
  if (pad != 0) {
    *out += "note: " + bytes(pad) + " of 0xFF after the payload make up the phone's minimum of " +
            bytes(min_file_size) + "; they are neither checked nor written\n";
  }
  *out += unsummed_note(static_cast<uint32_t>(payload.size()));
  return exit_good;
}

int check(const request& req, std::string* out, std::string* err) {
  std::vector<uint8_t> file;
  std::string error;
  if (!read_file(req.input, max_payload + header_size, &file, &error)) {
    *err += "ruk-image: " + error + "\n";
    return exit_usage;
  }
  report r = ruk_image::check(file, req.flash_size);
  *out += "file       " + req.input + ", " + bytes(r.file_size) + "\n";
  if (r.has_header) {
    const header& h = r.fields;
    *out += "checksum   " + hex32(h.checksum) + " (the payload sums to " + hex32(r.sum) + ")\n";
    *out += "length     " + std::to_string(h.length) + " (the file holds " +
            bytes(r.payload_in_file) + " after the header)\n";
    *out += "magic      " + std::to_string(h.magic) + "\n";
    char unused[16];
    snprintf(unused, sizeof unused, "%02X %02X %02X %02X", h.unused[0], h.unused[1], h.unused[2],
             h.unused[3]);
    *out += std::string("unused     ") + unused + " (not read)\n";
    if (req.flash_size != 0) *out += "partition  " + bytes(req.flash_size) + "\n";
    if (h.length != 0 && h.length < r.payload_in_file) {
      *out += "note: " + bytes(r.payload_in_file - h.length) +
              " after the payload are neither checked nor written\n";
    }
    if (h.length <= r.payload_in_file) *out += unsummed_note(h.length);
  }
  if (r.faults.empty()) {
    *out += req.input + ": good: the phone writes " + bytes(r.fields.length) + " to /dev/mtd5\n";
    return exit_good;
  }
  for (const fault& f : r.faults) {
    *err += "ruk-image: " + req.input + ": " + f.phone_words + ": " + f.detail + "\n";
  }
  if (r.faults.size() > 1) {
    *err += "ruk-image: " + req.input + ": " + std::to_string(r.faults.size()) +
            " faults; the phone shows the first: " + r.faults[0].phone_words + "\n";
  }
  return exit_fault;
}

}  // namespace

int run(const std::vector<std::string>& args, std::string* out, std::string* err) {
  request req;
  std::string error;
  if (!parse_args(args, &req, &error)) {
    *err += "ruk-image: " + error + "\n" + synopsis;
    return exit_usage;
  }
  if (req.help) {
    *out += std::string(synopsis) + details;
    return exit_good;
  }
  return req.command == "create" ? create(req, out, err) : check(req, out, err);
}

}  // namespace ruk_image
