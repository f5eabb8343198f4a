// The font tables: the rows other code relies on, the panel's variant, and
// the properties that let the LCD model read characters back from pixels.
#include "display/font.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

const unsigned char* glyph(const unsigned char* font, int code) {
  return font + code * font_columns;
}

bool blank(const unsigned char* g) {
  for (int k = 0; k < font_columns; ++k)
    if (g[k] != 0) return false;
  return true;
}

void expect_rows(int code, const unsigned char (&rows)[font_columns]) {
  EXPECT_EQ(memcmp(glyph(char_code, code), rows, font_columns), 0) << "character " << code;
}

TEST(Font, TellingCharactersHaveTheirExactColumns) {
  expect_rows(0x20, {0x00, 0x00, 0x00, 0x00, 0x00});
  expect_rows(0x2E, {0x00, 0x60, 0x60, 0x00, 0x00});
  expect_rows(0x30, {0x3E, 0x51, 0x49, 0x45, 0x3E});
  expect_rows(0x41, {0x7E, 0x11, 0x11, 0x11, 0x7E});
  expect_rows(0x67, {0x18, 0xA4, 0xA4, 0xA4, 0x7C});
  expect_rows(0xFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
}

TEST(Font, PanelFontDiffersOnlyInItsControlCodesAndThreeSigns) {
  for (int code = 0; code < font_characters; ++code) {
    const unsigned char* panel = glyph(panel_font, code);
    bool same = memcmp(panel, glyph(char_code, code), font_columns) == 0;
    if (code >= 5 && code <= 13) {
      EXPECT_TRUE(blank(panel)) << "character " << code;
    } else if (code == 241 || code == 242 || code == 247) {
      EXPECT_FALSE(same) << "character " << code;
      EXPECT_FALSE(blank(panel)) << "character " << code;
    } else {
      EXPECT_TRUE(same) << "character " << code;
    }
  }
}

TEST(Font, EveryCharacterButTheBlankOnesHasInkAndNoTwoLookAlike) {
  EXPECT_TRUE(blank(glyph(char_code, 0)));
  for (int a = 1; a < font_characters; ++a) {
    if (a == 0x20) continue;
    EXPECT_FALSE(blank(glyph(char_code, a))) << "character " << a;
    for (int b = a + 1; b < font_characters; ++b)
      EXPECT_NE(memcmp(glyph(char_code, a), glyph(char_code, b), font_columns), 0)
          << "characters " << a << " and " << b;
  }
}

TEST(Font, CapitalsAndDigitsStandOnTheBaselineWithoutDescenders) {
  auto rows_used = [](int code) {
    int used = 0;
    for (int k = 0; k < font_columns; ++k) used |= glyph(char_code, code)[k];
    return used;
  };
  for (int code = 'A'; code <= 'Z'; ++code) EXPECT_EQ(rows_used(code) & 0xC0, 0x40) << code;
  for (int code = '0'; code <= '9'; ++code) EXPECT_EQ(rows_used(code) & 0xC0, 0x40) << code;
  for (int code : {'g', 'j', 'p', 'q', 'y'}) EXPECT_NE(rows_used(code) & 0x80, 0) << code;
}

}  // namespace
