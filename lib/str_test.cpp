#include "lib/str.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/str_text.h"

namespace {

TEST(StrPool, SizeClassBoundaries) {
  struct {
    int wanted;
    int capacity;
  } cases[] = {{-5, 52},       {0, 52},         {52, 52},        {53, 116},
               {2037, 4084},   {4084, 4084},    {65524, 65524},  {65525, 65536},
               {98304, 98304}, {98305, 131072}, {131072, 131072}};
  for (auto c : cases) {
    str::reference* block = str::get_cstring(c.wanted);
    EXPECT_EQ(block->size, c.capacity) << "wanted " << c.wanted;
    EXPECT_EQ(block->count, 1);
    str::release_cstring(block);
  }
}

TEST(StrPool, ReleasedBlocksAreReusedLastInFirstOut) {
  str::reference* a = str::get_cstring(3000);
  str::reference* b = str::get_cstring(4000);
  str::release_cstring(a);
  str::release_cstring(b);
  // Both are 4084-byte blocks: the last released comes back first, for any
  // request of that class.
  EXPECT_EQ(str::get_cstring(2037), b);
  EXPECT_EQ(b->count, 1) << "the count word held the link to a";
  EXPECT_EQ(str::get_cstring(4084), a);
  EXPECT_EQ(a->count, 1);
  str::release_cstring(a);
  str::release_cstring(b);
}

TEST(StrPool, LargeBlocksGoBackToTheHeapNotToAPool) {
  str::reference* large = str::get_cstring(65525);
  str::release_cstring(large);  // freed; under ASan a later use would be reported
  for (int cls = 0; cls < str::pool_classes; ++cls) {
    str::reference* block = str::get_cstring(str::class_capacity(cls));
    EXPECT_NE(block->size, 65536);
    str::release_cstring(block);
  }
}

TEST(StrPool, AnImpossibleSizeEndsTheProcessWithAMessage) {
  EXPECT_EXIT(str::get_cstring(INT32_MAX), testing::ExitedWithCode(255), "ruk: out of memory");
  // Sizes that only overflow once something is added to the caller's count.
  EXPECT_EXIT(str('x', INT32_MAX), testing::ExitedWithCode(255), "ruk: out of memory");
  EXPECT_EXIT(str().set_character(INT32_MAX, 'x'), testing::ExitedWithCode(255),
              "ruk: out of memory");
}

TEST(StrConstruct, EmptyStringsHoldNoBufferExceptFromAnEmptyText) {
  str none;
  str null_text(static_cast<const char*>(nullptr));
  str zero_count("abc", 0);
  EXPECT_EQ(none.ref, nullptr);
  EXPECT_EQ(null_text.ref, nullptr);
  EXPECT_EQ(zero_count.ref, nullptr);
  EXPECT_STREQ(none.c_str(), "");
  EXPECT_EQ(none.ref, nullptr) << "c_str of an empty string allocates nothing";

  str empty_text("");
  ASSERT_NE(empty_text.ref, nullptr);
  EXPECT_EQ(empty_text.ref->size, 52);
  str sum = none + none;
  ASSERT_NE(sum.ref, nullptr);
  EXPECT_EQ(sum.length(), 0);
}

TEST(StrConstruct, FromBytesCharacterAndNullPointer) {
  str bytes("a\0b", 3);
  EXPECT_EQ(bytes.length(), 3);
  EXPECT_EQ(bytes.get_character(1), 0);
  str zeros(static_cast<const char*>(nullptr), 4);
  EXPECT_EQ(text(zeros), std::string(4, '\0'));
  EXPECT_EQ(text(str('x', 3)), "xxx");
  EXPECT_EQ(str('x', 0).ref, nullptr);
}

TEST(StrConstruct, DecimalText) {
  EXPECT_EQ(text(str(0, 0)), "0");
  EXPECT_EQ(text(str(-1, 0)), "-1");
  EXPECT_EQ(text(str(7, 3)), "007");
  EXPECT_EQ(text(str(1234, 3)), "1234");
  EXPECT_EQ(text(str(1024, 0)), "1024");
  EXPECT_EQ(text(str(2147483647, 0)), "2147483647");
  EXPECT_EQ(text(str(INT32_MIN, 0)), "-2147483648");
  EXPECT_EQ(text(str(-7, 3)), "-007");
  EXPECT_EQ(text(str(5, 11)), "5");
  EXPECT_EQ(text(str(5, -2)), "5");
  EXPECT_EQ(text(str(0, 10)), "0000000000");
}

TEST(StrValue, DecimalValueOfATextFollowsTheSignRules) {
  struct {
    const char* text;
    int value;
  } cases[] = {{"42", 42},        {"  42", 42},
               {"\t42", 42},      {"42abc", 42},
               {"-7", -7},        {"+-12", -12},
               {"", 0},           {"   ", 0},
               {"-", 0},          {"-+5", 0},
               {"a1", 0},         {"\n5", 0},
               {"4294967297", 1}, {"-2147483648", INT32_MIN}};
  for (auto c : cases) EXPECT_EQ(str(c.text).value(), c.value) << '"' << c.text << '"';
}

TEST(StrShare, CopiesShareUntilOneWrites) {
  str a("hello");
  str b = a;
  EXPECT_EQ(a.ref, b.ref);
  EXPECT_EQ(a.ref->count, 2);
  b += " world";
  EXPECT_EQ(text(a), "hello");
  EXPECT_EQ(text(b), "hello world");
  EXPECT_NE(a.ref, b.ref);
  EXPECT_EQ(a.ref->count, 1);

  str c;
  c = a;
  c.set_character(0, 'j');
  EXPECT_EQ(text(a), "hello");
  EXPECT_EQ(text(c), "jello");
}

TEST(StrShare, AssignmentToItselfAndBetweenViewsOfOneBuffer) {
  str a("abcdef");
  str& alias = a;
  a = alias;
  EXPECT_EQ(text(a), "abcdef");
  EXPECT_EQ(a.ref->count, 1);
  str view = a.substr(2, 2);
  view = a;  // same buffer: only the window moves
  EXPECT_EQ(a.ref->count, 2);
  EXPECT_EQ(text(view), "abcdef");
}

TEST(StrShare, SubstrOutlivesItsSourceAndAppendsInPlace) {
  str* t = new str("abcdef");
  str s = t->substr(1, 2);
  str::reference* buffer = s.ref;
  delete t;
  EXPECT_EQ(s.ref->count, 1);
  s += "XY";
  EXPECT_EQ(s.ref, buffer) << "a private view with room appends behind its end";
  EXPECT_EQ(text(s), "bcXY");
  EXPECT_EQ(s.start, 1);
}

TEST(StrShare, TouchUnsharesOnlyWhenShared) {
  str a("abc");
  str b = a.substr(1, 2);
  b.touch(0);
  EXPECT_NE(b.ref, a.ref);
  EXPECT_EQ(b.start, 0);
  EXPECT_EQ(text(b), "bc");
  str::reference* own = b.ref;
  b.touch(0);
  EXPECT_EQ(b.ref, own);
  str none;
  none.touch(0);
  EXPECT_NE(none.ref, nullptr) << "a string without buffer always gets one";
}

TEST(StrShare, CStrOfASharedViewLeavesTheOtherSharersAlone) {
  str whole("abcdef");
  str view = whole.substr(1, 2);
  EXPECT_STREQ(view.c_str(), "bc");
  EXPECT_EQ(text(whole), "abcdef");
  EXPECT_EQ(whole.get_character(3), 'd');
  EXPECT_EQ(text(view), "bc");

  str own("xyz");
  str::reference* buffer = own.ref;
  EXPECT_STREQ(own.c_str(), "xyz");
  EXPECT_EQ(own.ref, buffer) << "a private buffer with room takes the terminator in place";
  EXPECT_EQ(own.length(), 3);
}

TEST(StrAppend, AppendingItselfWhenTheBufferMustMove) {
  str a("0123456789");
  std::string expected = "0123456789";
  for (int i = 0; i < 6; ++i) {  // crosses several class boundaries
    a += a;
    expected += expected;
  }
  EXPECT_EQ(text(a), expected);

  str b(std::string(52, 'q').c_str());  // a full class-0 buffer
  b.append(b.data() + 10, 20);
  EXPECT_EQ(text(b), std::string(72, 'q'));

  str c("abcdef");
  str d = c;  // shared: appending part of it must copy first
  c.append(c.data() + 1, 3);
  EXPECT_EQ(text(c), "abcdefbcd");
  EXPECT_EQ(text(d), "abcdef");
}

TEST(StrAppend, GrowthAboveTheLargestClassIsInStepsOf32768) {
  str s;
  std::string expected;
  char piece[512];
  for (int i = 0; i < 300; ++i) {
    for (int k = 0; k < 512; ++k) piece[k] = static_cast<char>(i + k);
    s.append(piece, 512);
    expected.append(piece, 512);
  }
  EXPECT_EQ(text(s), expected);
  EXPECT_EQ(s.ref->size, 163840) << "153600 bytes rounded up to 5 steps";
}

TEST(StrAppend, ALargePrivateViewGrowsAsANewBlockWould) {
  // A private view that starts inside its large block: growing it leaves
  // the bytes at the beginning of a block of the next 32768 step, as a fresh
  // block would have them.
  std::string expected;
  for (int i = 0; i < 70000; ++i) expected += static_cast<char>('a' + i % 26);
  str whole = bytes(expected);
  str tail = whole.substr(1000, -1);
  whole = str();  // tail alone holds the block now
  ASSERT_EQ(tail.ref->count, 1);
  ASSERT_EQ(tail.ref->size, 98304);
  std::string more(40000, 'z');
  tail.append(more.data(), static_cast<int>(more.size()));
  EXPECT_EQ(tail.start, 0);
  EXPECT_EQ(tail.ref->size, 131072) << "69000 + 40000 bytes rounded up to 4 steps";
  EXPECT_EQ(text(tail), expected.substr(1000) + more);
}

TEST(StrAppend, ALargePrivateViewAppendsItsOwnBytesWhenItMustGrow) {
  // Growing moves the bytes to the block's beginning, or the block itself:
  // the bytes to append must be read from where they were.
  std::string expected;
  for (int i = 0; i < 70000; ++i) expected += static_cast<char>('a' + i % 26);
  str whole = bytes(expected);
  str tail = whole.substr(1000, -1);
  whole = str();
  ASSERT_EQ(tail.ref->size, 98304);
  tail.append(tail.data() + 5, 40000);
  EXPECT_EQ(text(tail), expected.substr(1000) + expected.substr(1005, 40000));
}

TEST(StrAppend, ALargeSharedStringIsCopiedBeforeItGrows) {
  std::string expected(100000, 'x');
  str a = bytes(expected);
  str b = a;
  b.append("tail", 4);
  EXPECT_NE(a.ref, b.ref);
  EXPECT_EQ(text(a), expected);
  EXPECT_EQ(text(b), expected + "tail");
  EXPECT_EQ(a.ref->count, 1);
  EXPECT_EQ(b.ref->count, 1);
}

TEST(StrAppend, TryTouchRefusesWhatItCannotHaveAndLeavesTheTextAsItWas) {
  // Every kind of block a growing string may need next: a first one, a
  // copy of a shared one, one beyond the largest class, a private large one
  // resized. Sizes that 32 bits cannot hold are refused like a heap that
  // refuses, without ending the process.
  str small("abc");
  str shared_a("abc");
  str shared_b = shared_a;
  str at_largest = bytes(std::string(65000, 'm'));
  str large = bytes(std::string(70000, 'l'));
  struct {
    const char* what;
    str* s;
    int n;
    std::string text;
  } cases[] = {
      {"past INT32_MAX", &small, INT32_MAX - 1, "abc"},
      {"capacity past 32 bits", &small, INT32_MAX - 10, "abc"},
      {"shared", &shared_b, INT32_MAX - 10, "abc"},
      {"at the largest class", &at_largest, INT32_MAX - 65100, std::string(65000, 'm')},
      {"private large block", &large, INT32_MAX - 70100, std::string(70000, 'l')},
  };
  for (auto& c : cases) {
    str::reference* before = c.s->ref;
    int32_t size = before->size;
    EXPECT_FALSE(c.s->try_touch(c.n)) << c.what;
    EXPECT_EQ(c.s->ref, before) << c.what;
    EXPECT_EQ(c.s->ref->size, size) << c.what;
    EXPECT_EQ(text(*c.s), c.text) << c.what;
  }
  EXPECT_EQ(shared_a.ref->count, 2);
  EXPECT_TRUE(small.try_touch(100));
  EXPECT_GE(small.ref->size, 103);
  EXPECT_EQ(text(small), "abc");
}

TEST(StrAccess, CharactersOutOfRangeAndWritesPastTheEnd) {
  str s("abc");
  EXPECT_EQ(s.get_character(-1), 0);
  EXPECT_EQ(s.get_character(3), 0);
  EXPECT_EQ(str("\xff").get_character(0), static_cast<char>(-1));
  s.set_character(-1, 'x');
  EXPECT_EQ(text(s), "abc");
  s.set_character(5, 'z');
  EXPECT_EQ(text(s), std::string("abc\0\0z", 6));
  str e;
  e.set_character(0, 'q');
  EXPECT_EQ(text(e), "q");
}

TEST(StrAccess, CStrOfAFullBufferMovesTheTextToMakeRoomForTheZero) {
  str full(std::string(52, 'f').c_str());  // private, not a byte to spare
  ASSERT_EQ(full.ref->size, full.end);
  const char* z = full.c_str();
  EXPECT_LT(full.end, full.ref->size) << "the terminator lies inside the buffer";
  EXPECT_EQ(std::string(z), std::string(52, 'f'));
}

TEST(StrSubstr, ClampsPositionAndLength) {
  str s("abcde");
  EXPECT_EQ(text(s.substr(0, -1)), "abcde");
  EXPECT_EQ(s.substr(0, -1).ref, s.ref);
  EXPECT_EQ(text(s.substr(2, 100)), "cde");
  EXPECT_EQ(s.substr(5, 1).ref, nullptr);
  EXPECT_EQ(text(s.substr(-2, 3)), "a");
  EXPECT_EQ(text(s.substr(1, 2).substr(1, -1)), "c");
  EXPECT_EQ(s.substr(9, -1).length(), 0);
  EXPECT_EQ(text(s.substr(INT32_MIN, -1)), "abcde") << "the position added to the length";
}

TEST(StrHeap, HeapStringsComeFromSlotsReusedLastInFirstOut) {
  str* a = new str("a");
  str* b = new str("b");
  auto slot_of_a = reinterpret_cast<uintptr_t>(a);
  delete a;
  str* c = new str("c");
  EXPECT_EQ(reinterpret_cast<uintptr_t>(c), slot_of_a);
  delete b;
  delete c;
}

}  // namespace
