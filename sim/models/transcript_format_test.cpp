#include "sim/models/transcript_format.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> fields(const std::string& raw) {
  std::vector<std::string> out(1);
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\t') {
      out.emplace_back();
    } else if (raw[i] == '\\' && i + 1 < raw.size() && raw[i + 1] == 't') {
      out.back() += '\t';
      ++i;
    } else {
      out.back() += raw[i];
    }
  }
  return out;
}

// The same examples as scripts/transcript_format.py --check runs, so that
// the C++ and the Python readers of a transcript agree line for line.
TEST(TranscriptFormat, ReadsAndWritesTheExamplesAsTheScriptsDo) {
  const char* source = getenv("RUK_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  std::ifstream in(std::string(source) + "/tests/transcript_examples.txt");
  ASSERT_TRUE(in) << "tests/transcript_examples.txt";
  int checked = 0;
  std::string raw;
  while (std::getline(in, raw)) {
    if (raw.empty() || raw[0] == '#') continue;
    std::vector<std::string> f = fields(raw);
    ASSERT_GE(f.size(), 3u) << raw;
    bool none = f.size() == 3 && f[2] == "none";
    ++checked;
    if (f[0] == "split") {
      transcript_format::line l;
      ASSERT_EQ(transcript_format::split(f[1], &l), !none) << raw;
      if (none) continue;
      ASSERT_EQ(f.size(), 5u) << raw;
      EXPECT_EQ(l.ms, strtol(f[2].c_str(), nullptr, 10)) << raw;
      EXPECT_EQ(l.kind, f[3]) << raw;
      EXPECT_EQ(l.text, f[4]) << raw;
      EXPECT_EQ(transcript_format::join(l.ms, l.kind, l.text), f[1]) << raw;
    } else if (f[0] == "screen") {
      std::string top, bottom;
      ASSERT_EQ(transcript_format::split_screen(f[1], &top, &bottom), !none) << raw;
      if (none) continue;
      ASSERT_EQ(f.size(), 4u) << raw;
      EXPECT_EQ(top, f[2]) << raw;
      EXPECT_EQ(bottom, f[3]) << raw;
      EXPECT_EQ(transcript_format::screen_text(top, bottom), f[1]) << raw;
    } else {
      ASSERT_EQ(f[0], "unquote") << raw;
      EXPECT_EQ(transcript_format::unquote_row(f[1]), f[2]) << raw;
    }
  }
  EXPECT_GE(checked, 15);
}

}  // namespace
