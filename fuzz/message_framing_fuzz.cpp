// find_header_end, get_message_body and get_complete_message on any text:
// the header end where a reference search finds it, the body and the message
// views of the text, and the message as long as its length header says.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzz_check.h"
#include "lib/message_framing.h"

namespace {

size_t expected_header_end(const std::string& t) {
  size_t blank = t.find("\r\n\r\n");
  if (blank != std::string::npos) return blank + 4;
  for (size_t i = 0; i + 1 < t.size(); ++i) {
    if ((t[i] == '\r' || t[i] == '\n') && t[i + 1] == t[i]) return i + 2;
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  bool headers_only = in.ConsumeBool();
  std::string text = in.ConsumeRemainingBytesAsString();
  str whole;
  str s = fuzz::embedded(text, &whole);

  size_t header_end = expected_header_end(text);
  FUZZ_CHECK(find_header_end(s) == static_cast<int>(header_end));

  str body = get_message_body(s);
  FUZZ_CHECK(fuzz::view_inside(body, s));
  FUZZ_CHECK(fuzz::bytes_of(body) == (header_end == 0 ? std::string() : text.substr(header_end)));
  if (body.length() > 0) FUZZ_CHECK(body.end == s.end);

  str message = get_complete_message(s, headers_only);
  FUZZ_CHECK(fuzz::view_inside(message, s));
  if (message.length() > 0) FUZZ_CHECK(message.start == s.start);
  if (header_end == 0) {
    FUZZ_CHECK(message.length() == 0);
  } else {
    str header = s.substr(0, static_cast<int>(header_end));
    str length_text = header.get_record_content("Content-Length", "l", ':', str::lws);
    long long want;
    if (length_text.length() == 0) {
      want = headers_only ? static_cast<long long>(header_end) : static_cast<long long>(text.size());
    } else {
      long long body_length = length_text.value();
      want = static_cast<long long>(header_end) + (body_length < 0 ? 0 : body_length);
    }
    if (want > static_cast<long long>(text.size())) {
      FUZZ_CHECK(message.length() == 0);
    } else {
      FUZZ_CHECK(message.length() == want);
    }
  }
  FUZZ_CHECK(fuzz::bytes_of(s) == text);
  FUZZ_CHECK(fuzz::bytes_of(whole) == "<<" + text + ">>");
  return 0;
}
