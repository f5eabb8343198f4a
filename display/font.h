// The display's 5 x 8 bitmap fonts, 256 characters of five column bytes each.
//
// Character n occupies bytes 5n..5n+4, one byte per pixel column from left to
// right; bit r of a byte is pixel row r, bit 0 the top row, bit 7 carries
// descenders. Layout of the code points: 0x00 blank, 0x01..0x0F the device's
// own pictographs, 0x10..0x1F and 0x7F and 0x80..0xAF the signs and letters of
// code page 437 at the same positions, 0x20..0x7E printable ASCII, 0xB0..0xFE
// further accented letters and signs, 0xFF a fully set block.
#pragma once

constexpr int font_characters = 256;
constexpr int font_columns = 5;

// The font of the display image (RasterImage glyphs, MatrixDisplay::Print).
extern const unsigned char char_code[font_characters * font_columns];
// The panel driver's own text frames: char_code with characters 5..13 blank
// and other glyphs at 241, 242 and 247.
extern const unsigned char panel_font[font_characters * font_columns];
