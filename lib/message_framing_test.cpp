#include "lib/message_framing.h"
#include "tests/str_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MessageFraming, HeaderEndPrefersCrLfCrLfAnywhere) {
  EXPECT_EQ(find_header_end("A: 1\r\n\r\nbody"), 8);
  EXPECT_EQ(find_header_end("A: 1\n\nbody"), 6);
  EXPECT_EQ(find_header_end("A: 1\r\rbody"), 6);
  EXPECT_EQ(find_header_end("A\n\nB: 1\r\n\r\nbody"), 11) << "found by the first search";
  EXPECT_EQ(find_header_end("A: 1\r\nB: 2\r\n"), 0);
  EXPECT_EQ(find_header_end("\r\n\r"), 0);
  EXPECT_EQ(find_header_end(""), 0);
  str view = str("\n\nA\r\n\r\n").substr(2, -1);
  EXPECT_EQ(find_header_end(view), 5) << "positions count from the view's first byte";
}

TEST(MessageFraming, BodyIsAViewAfterTheHeaderBlock) {
  str message("A: 1\r\n\r\nhello");
  str body = get_message_body(message);
  EXPECT_EQ(text(body), "hello");
  EXPECT_EQ(body.ref, message.ref);
  EXPECT_EQ(get_message_body("A: 1\r\n\r\n").length(), 0);
  EXPECT_EQ(get_message_body("A: 1\r\nhello").ref, nullptr);
}

TEST(MessageFraming, LengthHeaderDecidesWhetherTheMessageIsComplete) {
  const std::string head = "POST / X\r\nContent-Length: 5\r\n\r\n";
  EXPECT_EQ(get_complete_message((head + "12345").c_str(), false).length(),
            static_cast<int>(head.size()) + 5);
  EXPECT_EQ(get_complete_message((head + "1234").c_str(), false).ref, nullptr);
  EXPECT_EQ(text(get_complete_message((head + "1234567").c_str(), true)), head + "12345");
  EXPECT_EQ(text(get_complete_message("L: 2\r\n\r\nabc", false)), "L: 2\r\n\r\nab");
  EXPECT_EQ(text(get_complete_message("l:0\n\nabc", false)), "l:0\n\n");
}

TEST(MessageFraming, WithoutALengthHeaderTheFlagChoosesTheEnd) {
  str message("A: 1\r\n\r\nbody");
  EXPECT_EQ(text(get_complete_message(message, false)), "A: 1\r\n\r\nbody");
  EXPECT_EQ(text(get_complete_message(message, true)), "A: 1\r\n\r\n");
  EXPECT_EQ(get_complete_message("A: 1\r\nbody", false).ref, nullptr);
  EXPECT_EQ(get_complete_message("A: 1\r\nbody", true).ref, nullptr);
}

TEST(MessageFraming, UnusableLengthsMeanNoBody) {
  // A length that is no number, or a negative one, must not cut into the
  // header block or wait for bytes that never come.
  EXPECT_EQ(text(get_complete_message("Content-Length: x\r\n\r\nab", false)),
            "Content-Length: x\r\n\r\n");
  EXPECT_EQ(text(get_complete_message("Content-Length: -9\r\n\r\nab", false)),
            "Content-Length: -9\r\n\r\n");
  EXPECT_EQ(get_complete_message("Content-Length: 2147483647\r\n\r\nab", false).ref, nullptr);
}

TEST(MessageFraming, TheLengthHeaderIsOnlyLookedForInTheHeaderBlock) {
  EXPECT_EQ(text(get_complete_message("A: 1\r\n\r\nContent-Length: 1\r\n", true)), "A: 1\r\n\r\n");
}

}  // namespace
