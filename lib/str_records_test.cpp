#include <gtest/gtest.h>

#include <string>

#include "lib/str.h"
#include "tests/str_text.h"

namespace {

std::string content_length(const str& headers) {
  return text(headers.get_record_content("Content-Length", "l", ':', str::lws));
}

TEST(StrRecords, ContentByKeyOrAlternativeInAnyCase) {
  EXPECT_EQ(content_length("Host: x\r\nContent-Length: 12\r\n"), "12");
  EXPECT_EQ(content_length("l:12"), "12");
  EXPECT_EQ(content_length("L:\t12 \r\n"), "12");
  EXPECT_EQ(content_length("content-LENGTH: 12\r\n"), "12");
  EXPECT_EQ(content_length(" Content-Length :12\r\n"), "12") << "the key field is trimmed";
  EXPECT_EQ(content_length("Content-Type: 12\r\n"), "");
  EXPECT_EQ(content_length("Content-Length\r\n"), "") << "no separator, no value";
  EXPECT_EQ(content_length(""), "");
  str without_alternative("l: 1\r\nContent-Length: 2\r\n");
  EXPECT_EQ(text(without_alternative.get_record_content("Content-Length", ':', str::lws)), "2");
}

TEST(StrRecords, GetRecordReturnsTheWholeLineAsAView) {
  str headers("A: 1\r\nVia: x\r\n y\r\nB: 2");
  str line = headers.get_record("via", ':', str::lws);
  EXPECT_EQ(text(line), "Via: x\r\n y") << "continuation lines belong to the record";
  EXPECT_EQ(line.ref, headers.ref);
  EXPECT_EQ(text(headers.get_record_content("via", ':', str::lws)), "x\r\n y");
  EXPECT_EQ(text(headers.get_record("b", ':', str::lws)), "B: 2");
  EXPECT_EQ(headers.get_record("C", ':', str::lws).ref, nullptr);

  str view = str("B: 0\r\nA: 1\r\nB: 2").substr(6, -1);
  EXPECT_EQ(text(view.get_record("B", ':', str::lws)), "B: 2");
}

TEST(StrRecords, ReadingFindsARecordPastAnEmptyLine) {
  str message("A: 1\r\n\r\nB: 2\r\n");
  EXPECT_EQ(text(message.get_record_content("B", ':', str::lws)), "2");
  EXPECT_EQ(message.get_records("B", ':', str::lws).ref, nullptr)
      << "collecting stops at the first empty line";
}

TEST(StrRecords, QuotedKeysAndLeadingSeparators) {
  str quoted("\"a:b\": v1\r\n\"Key\"  :  v2\r\n::c:v3\r\n");
  EXPECT_EQ(text(quoted.get_record_content("a:b", ':', str::lws)), "v1");
  EXPECT_EQ(text(quoted.get_record_content("key", ':', str::lws)), "v2");
  EXPECT_EQ(text(quoted.get_record_content("c", ':', str::lws)), "v3");
  EXPECT_EQ(text(quoted.set_record_content("a:b", "new", ':', " ")),
            "\"a:b\": new\r\n\"Key\"  :  v2\r\n::c:v3\r\n")
      << "the key keeps its quotes, or its separator would split it";
}

TEST(StrRecords, GetRecordsCollectsMatchingLinesOfTheBlockInOrder) {
  str block("Via: a\r\nX: 0\r\nvia: b\r\n c\r\nV: d\r\n\r\nVia: e\r\n");
  EXPECT_EQ(text(block.get_records("Via", "v", ':', str::lws)),
            "Via: a\r\nvia: b\r\n c\r\nV: d\r\n");
  EXPECT_EQ(text(block.get_records("Via", ':', str::lws)), "Via: a\r\nvia: b\r\n c\r\n");
  EXPECT_EQ(block.get_records("Y", ':', str::lws).ref, nullptr);
}

TEST(StrRecords, SetReplacesTheLineWithItsContinuationsAndKeepsTheKeysSpelling) {
  str headers("A: 1\r\nbody-Type: x\r\n y\r\n\tz\r\nC: 3\r\n");
  EXPECT_EQ(text(headers.set_record_content("Body-type", "new", ':', " ")),
            "A: 1\r\nbody-Type: new\r\nC: 3\r\n");
  EXPECT_EQ(text(headers), "A: 1\r\nbody-Type: x\r\n y\r\n\tz\r\nC: 3\r\n");
  EXPECT_EQ(text(str("l: 5").set_record_content("Content-Length", "l", "9", ':', " ")), "l: 9\r\n");
}

TEST(StrRecords, SetInsertsBeforeTheFirstEmptyLineOrAtTheEnd) {
  EXPECT_EQ(text(str("A: 1\r\n\r\nK: old").set_record_content("K", "v", ':', " ")),
            "A: 1\r\nK: v\r\n\r\nK: old");
  EXPECT_EQ(text(str("A: 1\r\n").set_record_content("K", "v", ':', " ")), "A: 1\r\nK: v\r\n");
  EXPECT_EQ(text(str("A: 1").set_record_content("K", "v", ':', " ")), "A: 1\r\nK: v\r\n")
      << "an unterminated last line is closed before the new record";
  EXPECT_EQ(text(str("A: 1\n").set_record_content("K", "v", '=', "")), "A: 1\nK=v\r\n");
  EXPECT_EQ(text(str().set_record_content("K", "v", ':', " ")), "K: v\r\n");
  EXPECT_EQ(text(str("\r\nbody").set_record_content("K", "v", ':', " ")), "K: v\r\n\r\nbody");
}

TEST(StrRecords, WhatIsSetIsWhatIsReadBack) {
  const char* texts[] = {"K: 1\r\n", " K : 1\r\nA: 2\r\n", "A: 2\r\nk:1\r\n 2\r\n\r\nK: 3",
                         "\"K\": 1", "A: 2",
                         // The key after a leading separator, written back
                         // at the line's start: not a continuation.
                         "A: 2\r\n: K\r\n "};
  for (const char* t : texts) {
    str updated = str(t).set_record_content("K", "new", ':', " ");
    EXPECT_EQ(text(updated.get_record_content("K", ':', str::lws)), "new") << t;
    std::string records = text(updated.get_records("K", ':', str::lws));
    EXPECT_NE(records.find("new"), std::string::npos) << t;
    EXPECT_EQ(records.find('1'), std::string::npos) << "the old record is gone: " << t;
  }
}

}  // namespace
