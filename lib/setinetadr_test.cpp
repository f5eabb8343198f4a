#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <stddef.h>
#include <string.h>

#include "lib/utils.h"
#include "tests/str_text.h"

namespace {

const unsigned char* bytes_of(const sockaddr_in& a) {
  return reinterpret_cast<const unsigned char*>(&a);
}

TEST(Setinetadr, DottedQuadFillsTheWholeAddressInNetworkOrder) {
  sockaddr_in a;
  memset(&a, 0xFF, sizeof a);
  EXPECT_TRUE(utils::setinetadr(a, 0x1234, "10.1.2.3"));
  EXPECT_EQ(a.sin_family, AF_INET);
  const unsigned char* port = bytes_of(a) + offsetof(sockaddr_in, sin_port);
  EXPECT_EQ(port[0], 0x12);
  EXPECT_EQ(port[1], 0x34);
  const unsigned char* address = bytes_of(a) + offsetof(sockaddr_in, sin_addr);
  EXPECT_EQ(address[0], 10);
  EXPECT_EQ(address[1], 1);
  EXPECT_EQ(address[2], 2);
  EXPECT_EQ(address[3], 3);
  for (size_t i = 0; i < sizeof a.sin_zero; ++i) EXPECT_EQ(a.sin_zero[i], 0) << i;
}

TEST(Setinetadr, NamesAndMalformedTextsAreNoAddress) {
  const str texts[] = {"localhost", "", "1.2.3.4.5", "300.1.1.1", str("1.2.3.4\0junk", 12)};
  for (const str& t : texts) {
    sockaddr_in a;
    memset(&a, 0xFF, sizeof a);
    EXPECT_FALSE(utils::setinetadr(a, 80, t)) << text(t);
    EXPECT_EQ(a.sin_addr.s_addr, 0u);
    EXPECT_EQ(a.sin_family, AF_INET);
  }
}

TEST(Setinetadr, PortsThatDoNotFitAreRefused) {
  sockaddr_in a;
  EXPECT_FALSE(utils::setinetadr(a, 70000, "127.0.0.1"));
  EXPECT_EQ(a.sin_port, 0);
  EXPECT_FALSE(utils::setinetadr(a, -1, "127.0.0.1"));
  EXPECT_EQ(a.sin_addr.s_addr, htonl(INADDR_LOOPBACK)) << "the address is converted all the same";
  EXPECT_TRUE(utils::setinetadr(a, 65535, "127.0.0.1"));
  EXPECT_EQ(ntohs(a.sin_port), 65535);
  EXPECT_TRUE(utils::setinetadr(a, 0, "127.0.0.1"));
}

}  // namespace
