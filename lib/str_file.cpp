// str: whole files, directories and removal. Every path that opens a
// descriptor closes it again before returning.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lib/str.h"

namespace {

// The C library sees a path only up to its first zero byte; a path with one
// inside would name another file than the one asked for.
bool usable_path(const str& path) {
  return path.length() > 0 && memchr(path.data(), 0, static_cast<size_t>(path.length())) == nullptr;
}

// Reads exactly size bytes onto the end of content.
bool read_sized(int fd, long long size, str& content) {
  if (size > INT32_MAX - str::large_step) return false;
  content.touch(static_cast<int>(size));
  long long missing = size;
  while (missing > 0) {
    ssize_t got = read(fd, content.ref->bytes + content.end, static_cast<size_t>(missing));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;  // an error, or the file ended early
    content.end += static_cast<int32_t>(got);
    missing -= got;
  }
  return true;
}

// Reads until the end of a file whose size the system does not report.
bool read_unsized(int fd, str& content) {
  const int chunk = 2048;
  for (;;) {
    if (content.length() > INT32_MAX - str::large_step - chunk) return false;
    content.touch(chunk);
    ssize_t got = read(fd, content.ref->bytes + content.end, chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    content.end += static_cast<int32_t>(got);
  }
}

bool write_all(int fd, const char* bytes, int n) {
  while (n > 0) {
    ssize_t written = write(fd, bytes, static_cast<size_t>(n));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    n -= static_cast<int>(written);
  }
  return true;
}

// Creates each directory that leads to the file named by path; results are
// ignored, since the open that follows tells whether the way is there.
void make_directories(const str& path) {
  const str separators("\\/");
  char first = path.get_character(0);
  str prefix = first == '/' || first == '\\' ? path.substr(0, 1) : str();
  str field;
  for (int i = 0; (field = path.get_field(i, separators)).length() > 0; ++i) {
    bool lone_separator = prefix.length() == 1 && str::one_of(prefix.get_character(0), separators);
    if (prefix.length() > 0 && !lone_separator) {
      mkdir(prefix.c_str(), 0777);
      prefix += '/';
    }
    prefix += field;
  }
}

}  // namespace

str str::read_file(const str& path) {
  if (!usable_path(path)) return empty;
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return empty;
  struct stat info;
  str content;
  bool complete = fstat(fd, &info) == 0 && (info.st_size > 0 ? read_sized(fd, info.st_size, content)
                                                             : read_unsized(fd, content));
  close(fd);
  // An empty file keeps no buffer either.
  return complete && content.length() > 0 ? content : empty;
}

bool str::write_file(const str& path) const {
  if (!usable_path(path)) return false;
  make_directories(path);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return false;
  bool complete = write_all(fd, data(), length());
  // A failing close can be the first report of a write that did not reach
  // the disk.
  if (close(fd) != 0) complete = false;
  return complete;
}

str str::list_directory(const str& path) {
  if (!usable_path(path)) return empty;
  str directory = path;
  // One trailing slash is dropped, but the root stays the root.
  if (directory.length() > 1 && directory.get_character(directory.length() - 1) == '/') {
    directory = directory.substr(0, directory.length() - 1);
  }
  DIR* listing = opendir(directory.c_str());
  if (listing == nullptr) return empty;
  str names;
  while (dirent* entry = readdir(listing)) {
    names += entry->d_name;
    names += crlf;
  }
  closedir(listing);
  return names;
}

int str::remove_file(const str& path) {
  if (!usable_path(path)) {
    errno = EINVAL;
    return -1;
  }
  return unlink(path.c_str());
}
