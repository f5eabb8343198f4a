#include "files/ruk_file.h"
#include "tests/str_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> listed_names() {
  std::vector<std::string> names;
  for (RukFile* f = RukFile::first_file; f != nullptr; f = f->next) names.push_back(text(f->name));
  return names;
}

TEST(RukFile, ReadsBackBytesInOrderAndStopsAtTheEnd) {
  RukFile file("data");
  ASSERT_TRUE(file.append_hex("0A0B0C"));
  EXPECT_EQ(file.read_byte(), 10);
  str rest = file.ReadBin(5);
  EXPECT_EQ(text(rest), "\x0b\x0c");
  EXPECT_EQ(rest.ref, file.content.ref) << "bytes read are a view of the content";
  EXPECT_EQ(file.position, 3);
  EXPECT_EQ(file.read_byte(), 0);
  EXPECT_EQ(file.position, 3);
  EXPECT_EQ(file.ReadBin(1).length(), 0);

  RukFile high("high");
  ASSERT_TRUE(high.append_hex("ff80"));
  EXPECT_EQ(high.read_byte(), 255);
  EXPECT_EQ(high.read_byte(), 128);
}

TEST(RukFile, AppendHexRejectsTextsThatSpellNoBytes) {
  RukFile file("x");
  ASSERT_TRUE(file.append_hex("01"));
  EXPECT_FALSE(file.append_hex("0g"));
  EXPECT_FALSE(file.append_hex("02 03"));
  EXPECT_FALSE(file.append_hex("4"));
  EXPECT_FALSE(file.append_hex(str()));
  EXPECT_EQ(text(file.content), "\x01");
  EXPECT_TRUE(file.append_hex("0203"));
  EXPECT_EQ(text(file.content), "\x01\x02\x03");
}

TEST(RukFile, ReadHexAndNegativeCountsReadTheRest) {
  RukFile file("hex");
  ASSERT_TRUE(file.append_hex("ff01"));
  EXPECT_EQ(text(file.read_hex(2)), "FF01");
  EXPECT_EQ(file.read_hex(2).ref, nullptr);

  RukFile rest("rest");
  ASSERT_TRUE(rest.append_hex("a1b2c3"));
  rest.read_byte();
  EXPECT_EQ(text(rest.read_hex(-1)), "B2C3");
  EXPECT_EQ(rest.position, 3);
}

TEST(RukFile, AppendingAfterAReadKeepsEarlierViewsIntact) {
  RukFile file("grow");
  ASSERT_TRUE(file.append_hex("0102"));
  str first = file.ReadBin(2);
  ASSERT_TRUE(file.append_hex("03"));
  EXPECT_EQ(text(first), "\x01\x02");
  EXPECT_EQ(file.read_byte(), 3);
}

TEST(RukFile, FindGivesTheNewestFileOfANameInAnyCase) {
  EXPECT_EQ(RukFile::find("A"), nullptr);
  RukFile older("A");
  RukFile newer("a");
  EXPECT_EQ(RukFile::find("A"), &newer);
  EXPECT_EQ(RukFile::find("b"), nullptr);
  EXPECT_EQ(RukFile::first_file, &newer);
}

TEST(RukFile, DestroyingAnyObjectKeepsTheOthersListed) {
  // Destroyed at the head, in the middle and at the tail of the list.
  for (int victim = 0; victim < 4; ++victim) {
    std::unique_ptr<RukFile> files[4];
    const char* names[] = {"w", "x", "y", "z"};
    for (int i = 0; i < 4; ++i) files[i] = std::make_unique<RukFile>(names[i]);
    ASSERT_EQ(listed_names(), (std::vector<std::string>{"z", "y", "x", "w"}));
    files[victim].reset();
    std::vector<std::string> expected;
    for (int i = 3; i >= 0; --i) {
      if (i != victim) expected.push_back(names[i]);
    }
    EXPECT_EQ(listed_names(), expected) << "destroyed " << names[victim];
    EXPECT_EQ(RukFile::find(names[victim]), nullptr);
    for (int i = 0; i < 4; ++i) {
      if (i != victim) {
        EXPECT_EQ(RukFile::find(names[i]), files[i].get());
      }
    }
  }
  EXPECT_EQ(RukFile::first_file, nullptr);
}

}  // namespace
