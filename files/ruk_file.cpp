#include "files/ruk_file.h"

#include "lib/utils.h"

RukFile* RukFile::first_file = nullptr;

RukFile::RukFile(const str& file_name) : content(), position(0), name(file_name), next(first_file) {
  first_file = this;
}

RukFile::~RukFile() {
  RukFile** link = &first_file;
  while (*link != nullptr && *link != this) link = &(*link)->next;
  if (*link == this) *link = next;
}

bool RukFile::append_hex(const str& hex_text) {
  str bytes = utils::hex2bin(hex_text);
  if (bytes.length() == 0) return false;
  content += bytes;
  return true;
}

int RukFile::read_byte() {
  if (position >= content.length()) return 0;
  return static_cast<unsigned char>(content.get_character(position++));
}

str RukFile::ReadBin(int n) {
  str bytes = content.substr(position, n);
  position += bytes.length();
  return bytes;
}

str RukFile::read_hex(int n) {
  return utils::bin2hex(ReadBin(n));
}

RukFile* RukFile::find(const str& file_name) {
  for (RukFile* file = first_file; file != nullptr; file = file->next) {
    if (file->name == file_name) return file;
  }
  return nullptr;
}
