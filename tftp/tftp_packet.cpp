#include "tftp/tftp_packet.h"

#include <string.h>

#include "tftp/tftp_format.h"

unsigned tftp_byte(const str& packet, int i) {
  return static_cast<unsigned char>(packet.get_character(i));
}

unsigned tftp_number(const str& packet, int i) {
  return tftp_byte(packet, i) << 8 | tftp_byte(packet, i + 1);
}

unsigned tftp_kind(const str& packet) {
  return tftp_byte(packet, 1);
}

str tftp_header(unsigned opcode, unsigned number) {
  const char bytes[tftp_header_size] = {
      static_cast<char>(opcode >> 8 & 0xFF), static_cast<char>(opcode & 0xFF),
      static_cast<char>(number >> 8 & 0xFF), static_cast<char>(number & 0xFF)};
  return str(bytes, tftp_header_size);
}

str tftp_request(unsigned opcode, const str& file) {
  str packet;
  packet += static_cast<char>(0);
  packet += static_cast<char>(opcode);
  packet += file;
  packet += static_cast<char>(0);
  packet += tftp_mode;
  packet += static_cast<char>(0);
  return packet;
}

str tftp_error_packet(unsigned code, const char* message) {
  str packet = tftp_header(TFTP_OP_ERROR, code);
  packet.append(message, static_cast<int>(strlen(message)) + 1);
  return packet;
}
