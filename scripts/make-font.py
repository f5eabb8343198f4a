#!/usr/bin/env python3
"""Builds the display's 5 x 8 fonts from the drawings below.

Writes display/font.cpp (the tables `char_code` and `panel_font`) and
sim/models/lcd_charset.cpp (the Unicode text of each character, with which the LCD
model writes decoded screens). Both outputs are committed; after changing a
drawing run

    scripts/make-font.py            # rewrite both files
    scripts/make-font.py --check    # fail if either file is out of date

The glyphs are this project's own drawings (no outside font is used), in the
style of the classic 5 x 7 dot-matrix panels: capitals and digits stand in
rows 0..6, small letters have their x-height in rows 2..6, and row 7 carries
descenders and the marks below a letter (cedilla, ogonek). Accented letters
are composed from a base letter and a mark: small letters take the mark in
rows 0..1 above their x-height; capitals are redrawn five rows tall (rows
2..6) to make room for it, except O, which would then be an o and so stands
in rows 1..6 with its mark merging into its top.
"""

import os
import sys

ROWS = 8
COLUMNS = 5

# Drawings: strips of glyphs side by side. A strip's first line names its
# glyphs (a hex code places the glyph in the font, any other name is a part
# used by the compositions below); the next eight lines are rows 0..7, one
# group of five '#' (set) or '.' (clear) per glyph, groups separated by blanks.
DRAWINGS = r"""
0x01  0x02  0x03  0x04  0x05  0x06  0x07  0x08
.###. ..... ..#.. ..#.. .###. .##.. .###. .###.
##.## ##### .##.# .###. #.#.# #..#. #...# #####
#...# ##.## ####. .###. #.#.# #..#. #...# #...#
..#.. #.#.# ####. .###. #.### .##.. ##### #...#
.###. #...# ####. ##### #...# ..#.. ##.## #####
##### ##### .##.# ..... .###. ..##. ##.## #####
##### ..... ..#.. ..#.. ..... ..#.. ##### #####
..... ..... ..... ..... ..... ..##. ..... .....

0x09  0x0A  0x0B  0x0C  0x0D  0x0E  0x0F
....# ..... ##.## .###. .###. ....# .###.
....# ....# .###. #...# .###. ....# .###.
...## ...#. ..#.. #...# .###. ..#.# .###.
...## #.#.. .###. ##.## #.#.# .##.# .....
..### .#... ##.## ##.## .###. ##### #####
.#### ..... ..... ..... ..#.. .##.. #####
##### ..... ..... ..... .###. ..#.. #####
..... ..... ..... ..... ..... ..... .....

0x10  0x11  0x12  0x13  0x14  0x15  0x16  0x17
#.... ....# ..#.. .#.#. .#### .#### ..... ..#..
##... ...## .###. .#.#. ###.# #.... ..... .###.
###.. ..### #.#.# .#.#. ###.# .###. ..... #.#.#
####. .#### ..#.. .#.#. .##.# #...# ..... ..#..
###.. ..### #.#.# .#.#. ..#.# .###. ##### #.#.#
##... ...## .###. ..... ..#.# ....# ##### .###.
#.... ....# ..#.. .#.#. ..#.# ####. ##### ..#..
..... ..... ..... ..... ..... ..... ..... #####

0x18  0x19  0x1A  0x1B  0x1C  0x1D  0x1E  0x1F
..#.. ..#.. ..... ..... ..... ..... ..... .....
.###. ..#.. ..#.. ..#.. ..... ..... ..#.. #####
#.#.# ..#.. ...#. .#... #.... .#.#. ..#.. .###.
..#.. ..#.. ##### ##### #.... ##### .###. .###.
..#.. #.#.# ...#. .#... #.... .#.#. .###. ..#..
..#.. .###. ..#.. ..#.. ##### ..... ##### ..#..
..#.. ..#.. ..... ..... ..... ..... ..... .....
..... ..... ..... ..... ..... ..... ..... .....

0x20  0x21  0x22  0x23  0x24  0x25  0x26  0x27
..... ..#.. .#.#. .#.#. ..#.. ##... .##.. ..#..
..... ..#.. .#.#. .#.#. .#### ##..# #..#. ..#..
..... ..#.. .#.#. ##### #.#.. ...#. #.#.. .#...
..... ..#.. ..... .#.#. .###. ..#.. .#... .....
..... ..#.. ..... ##### ..#.# .#... #.#.# .....
..... ..... ..... .#.#. ####. #..## #..#. .....
..... ..#.. ..... .#.#. ..#.. ...## .##.# .....
..... ..... ..... ..... ..... ..... ..... .....

0x28  0x29  0x2A  0x2B  0x2C  0x2D  0x2E  0x2F
...#. .#... ..... ..... ..... ..... ..... .....
..#.. ..#.. ..#.. ..#.. ..... ..... ..... ....#
.#... ...#. #.#.# ..#.. ..... ..... ..... ...#.
.#... ...#. .###. ##### ..... ##### ..... ..#..
.#... ...#. #.#.# ..#.. ..... ..... ..... .#...
..#.. ..#.. ..#.. ..#.. .##.. ..... .##.. #....
...#. .#... ..... ..... ..#.. ..... .##.. .....
..... ..... ..... ..... .#... ..... ..... .....

0x30  0x31  0x32  0x33  0x34  0x35  0x36  0x37
.###. ..#.. .###. ##### ...#. ##### ..##. #####
#...# .##.. #...# ...#. ..##. #.... .#... ....#
#..## ..#.. ....# ..#.. .#.#. ####. #.... ...#.
#.#.# ..#.. ...#. ...#. #..#. ....# ####. ..#..
##..# ..#.. ..#.. ....# ##### ....# #...# .#...
#...# ..#.. .#... #...# ...#. #...# #...# .#...
.###. .###. ##### .###. ...#. .###. .###. .#...
..... ..... ..... ..... ..... ..... ..... .....

0x38  0x39  0x3A  0x3B  0x3C  0x3D  0x3E  0x3F
.###. .###. ..... ..... ...#. ..... .#... .###.
#...# #...# .##.. .##.. ..#.. ..... ..#.. #...#
#...# #...# .##.. .##.. .#... ##### ...#. ....#
.###. .#### ..... ..... #.... ..... ....# ...#.
#...# ....# .##.. .##.. .#... ##### ...#. ..#..
#...# ...#. .##.. ..#.. ..#.. ..... ..#.. .....
.###. .##.. ..... .#... ...#. ..... .#... ..#..
..... ..... ..... ..... ..... ..... ..... .....

0x40  0x41  0x42  0x43  0x44  0x45  0x46  0x47
.###. .###. ####. .###. ###.. ##### ##### .###.
#...# #...# #...# #...# #..#. #.... #.... #...#
....# #...# #...# #.... #...# #.... #.... #....
.##.# #...# ####. #.... #...# ####. ####. #.###
#.#.# ##### #...# #.... #...# #.... #.... #...#
#.#.# #...# #...# #...# #..#. #.... #.... #...#
.###. #...# ####. .###. ###.. ##### #.... .####
..... ..... ..... ..... ..... ..... ..... .....

0x48  0x49  0x4A  0x4B  0x4C  0x4D  0x4E  0x4F
#...# .###. ..### #...# #.... #...# #...# .###.
#...# ..#.. ...#. #..#. #.... ##.## #...# #...#
#...# ..#.. ...#. #.#.. #.... #.#.# ##..# #...#
##### ..#.. ...#. ##... #.... #.#.# #.#.# #...#
#...# ..#.. ...#. #.#.. #.... #...# #..## #...#
#...# ..#.. #..#. #..#. #.... #...# #...# #...#
#...# .###. .##.. #...# ##### #...# #...# .###.
..... ..... ..... ..... ..... ..... ..... .....

0x50  0x51  0x52  0x53  0x54  0x55  0x56  0x57
####. .###. ####. .#### ##### #...# #...# #...#
#...# #...# #...# #.... ..#.. #...# #...# #...#
#...# #...# #...# #.... ..#.. #...# #...# #...#
####. #...# ####. .###. ..#.. #...# #...# #.#.#
#.... #.#.# #.#.. ....# ..#.. #...# #...# #.#.#
#.... #..#. #..#. ....# ..#.. #...# .#.#. #.#.#
#.... .##.# #...# ####. ..#.. .###. ..#.. .#.#.
..... ..... ..... ..... ..... ..... ..... .....

0x58  0x59  0x5A  0x5B  0x5C  0x5D  0x5E  0x5F
#...# #...# ##### .###. ..... .###. ..#.. .....
#...# #...# ....# .#... #.... ...#. .#.#. .....
.#.#. #...# ...#. .#... .#... ...#. #...# .....
..#.. .#.#. ..#.. .#... ..#.. ...#. ..... .....
.#.#. ..#.. .#... .#... ...#. ...#. ..... .....
#...# ..#.. #.... .#... ....# ...#. ..... .....
#...# ..#.. ##### .###. ..... .###. ..... .....
..... ..... ..... ..... ..... ..... ..... #####

0x60  0x61  0x62  0x63  0x64  0x65  0x66  0x67
.#... ..... #.... ..... ....# ..... ..##. .....
..#.. ..... #.... ..... ....# ..... .#..# .....
...#. .###. #.##. .###. .##.# .###. .#... .####
..... ....# ##..# #.... #..## #...# ###.. #...#
..... .#### #...# #.... #...# ##### .#... #...#
..... #...# #...# #...# #...# #.... .#... .####
..... .#### ####. .###. .#### .###. .#... ....#
..... ..... ..... ..... ..... ..... ..... .###.

0x68  0x69  0x6A  0x6B  0x6C  0x6D  0x6E  0x6F
#.... ..#.. ...#. #.... .##.. ..... ..... .....
#.... ..... ..... #.... ..#.. ..... ..... .....
#.##. .##.. ..##. #..#. ..#.. ##.#. #.##. .###.
##..# ..#.. ...#. #.#.. ..#.. #.#.# ##..# #...#
#...# ..#.. ...#. ##... ..#.. #.#.# #...# #...#
#...# ..#.. ...#. #.#.. ..#.. #...# #...# #...#
#...# .###. #..#. #..#. .###. #...# #...# .###.
..... ..... .##.. ..... ..... ..... ..... .....

0x70  0x71  0x72  0x73  0x74  0x75  0x76  0x77
..... ..... ..... ..... .#... ..... ..... .....
..... ..... ..... ..... .#... ..... ..... .....
####. .#### #.##. .###. ###.. #...# #...# #...#
#...# #...# ##..# #.... .#... #...# #...# #...#
#...# #...# #.... .###. .#... #...# #...# #.#.#
####. .#### #.... ....# .#..# #..## .#.#. #.#.#
#.... ....# #.... ####. ..##. .##.# ..#.. .#.#.
#.... ....# ..... ..... ..... ..... ..... .....

0x78  0x79  0x7A  0x7B  0x7C  0x7D  0x7E  0x7F
..... ..... ..... ...#. ..#.. .#... ..... .....
..... ..... ..... ..#.. ..#.. ..#.. ..... ..#..
#...# #...# ##### ..#.. ..#.. ..#.. .#... .#.#.
.#.#. #...# ...#. .#... ..#.. ...#. #.#.# #...#
..#.. #...# ..#.. ..#.. ..#.. ..#.. ...#. #...#
.#.#. .#### .#... ..#.. ..#.. ..#.. ..... #...#
#...# ....# ##### ...#. ..#.. .#... ..... #####
..... .###. ..... ..... ..#.. ..... ..... .....

0x91  0x92  0x9B  0x9C  0x9D  0x9E  0x9F  0xA6
..... .#### ..#.. ..##. #...# ###.. ...## .##..
..... #.#.. .#### .#..# .#.#. #..#. ..#.. ...#.
##.#. #.#.. #.#.. .#... ##### ###.. ..#.. .###.
..#.# ##### #.#.. ###.. ..#.. #..#. .###. #..#.
.#### #.#.. .#### .#... ##### #.### ..#.. .###.
#.#.. #.#.. ..#.. .#..# ..#.. #..#. ..#.. .....
.#### #.### ..... #.##. ..#.. #..## ..#.. ####.
..... ..... ..... ..... ..... ..... ##... .....

0xA7  0xA8  0xA9  0xAA  0xAB  0xAC  0xAD  0xAE
.##.. ..#.. ..... ..... #.... #.... ..#.. .....
#..#. ..... ..... ..... #..#. #..#. ..... ..#.#
#..#. ..#.. ##### ##### #.#.. #.#.. ..#.. .#.#.
.##.. .#... #.... ....# .#... .#... ..#.. #.#..
..... #.... #.... ....# #.##. #.#.# ..#.. .#.#.
####. #...# ..... ..... ...#. ..### ..#.. ..#.#
..... .###. ..... ..... ..#.. ....# ..#.. .....
..... ..... ..... ..... ..### ....# ..... .....

0xAF  0xC5  0xCF  0xB9  0xDC  0xDD  0xE7  0xF3
..... ..#.# .#..# ..#.. .#... .##.. ..... .###.
#.#.. ..#.# .#..# .#... .#... ..#.. ..... #..##
.#.#. .##.. ###.. .##.. .#.#. ..##. .##.. #.#.#
..#.# #.#.. .#... ..#.. .##.. .##.. ..#.. #.#.#
.#.#. #.#.. .#... ..#.. ##... ..#.. ..#.. #.#.#
#.#.. #.#.. .#..# ..#.. .#... ..#.. ..#.. ##..#
..... .##.. ..##. .###. .#### .###. .###. .###.
..... ..... ..... ..... ..... ..... ..... .....

0xF4  0xF5  0xF6  0xF7  0xF8  0xF9  0xFA  0xFB
..... .#### ..... .##.. .##.. ..#.. ..... .....
..... #.#.. ..... #..#. #..#. ..#.. ..... #...#
.###. #.#.. .#.#. #..#. #..#. ##### #...# .#.#.
#..## #.### #.#.# #.#.. .##.. ..#.. #...# ..#..
#.#.# #.#.. #.### #..#. ..... ..#.. #...# .#.#.
##..# #.#.. #.#.. #...# ..... ..... ##.## #...#
.###. .#### .#.## #.##. ..... ##### #.#.# .....
..... ..... ..... ..... ..... ..... #.... .....

0xFC  0xFD  0xFE  0xFF  ge    approx 0xE8  0xE9
..... ..### ..... ##### .#... ..... #..#. .##.#
..#.. .#... ..... ##### ..#.. .##.# #..#. ..#.#
..... ####. ..... ##### ...#. #..#. #.... ..#..
##### .#... .##.. ##### ..#.. ..... #.... ..#..
..... ####. .##.. ##### .#... .##.# #.... ..#..
..#.. .#... ..... ##### ..... #..#. #.... ..#..
..... ..### ..... ##### ##### ..... ##### .###.
..... ..... ..... ##### ..... ..... ..... .....

A_    C_    D_    E_    G_    I_    L_    N_
..... ..... ..... ..... ..... ..... ..... .....
..... ..... ..... ..... ..... ..... ..... .....
.###. .#### ####. ##### .#### .###. #.... #...#
#...# #.... #...# #.... #.... ..#.. #.... ##..#
##### #.... #...# ####. #..## ..#.. #.... #.#.#
#...# #.... #...# #.... #...# ..#.. #.... #..##
#...# .#### ####. ##### .###. .###. ##### #...#
..... ..... ..... ..... ..... ..... ..... .....

O_    R_    S_    T_    U_    Y_    Z_    dotless
..... ..... ..... ..... ..... ..... ..... .....
.###. ..... ..... ..... ..... ..... ..... .....
#...# ####. .#### ##### #...# #...# ##### .##..
#...# #...# #.... ..#.. #...# .#.#. ...## ..#..
#...# ####. .###. ..#.. #...# ..#.. ..#.. ..#..
#...# #..#. ....# ..#.. #...# ..#.. ##... ..#..
.###. #...# ####. ..#.. .###. ..#.. ##### .###.
..... ..... ..... ..... ..... ..... ..... .....

acute grave caron circ  uml   tilde ring  dblac
...#. .#... .#.#. ..#.. .#.#. .##.# ..#.. ..#.#
..#.. ..#.. ..#.. .#.#. ..... #..#. .#.#. .#.#.
..... ..... ..... ..... ..... ..... ..#.. .....
..... ..... ..... ..... ..... ..... ..... .....
..... ..... ..... ..... ..... ..... ..... .....
..... ..... ..... ..... ..... ..... ..... .....
..... ..... ..... ..... ..... ..... ..... .....
..... ..... ..... ..... ..... ..... ..... .....

breve dot   cedil ogon  ringa
#...# ..#.. ..... ..... .###.
.###. ..... ..... ..... .#.#.
..... ..... ..... ..... .....
..... ..... ..... ..... .....
..... ..... ..... ..... .....
..... ..... ..... ..... .....
..... ..... ..... ..... .....
..... ..... ..##. ...## .....
"""

# Accented letters: code -> (base glyph, mark). A base is a code of a drawn
# glyph or the name of a part above.
COMPOSED = {
    0x80: (0x43, "cedil"), 0x81: (0x75, "uml"), 0x82: (0x65, "acute"),
    0x83: (0x61, "circ"), 0x84: (0x61, "uml"), 0x85: (0x61, "grave"),
    0x86: (0x61, "ringa"), 0x87: (0x63, "cedil"), 0x88: (0x65, "circ"),
    0x89: (0x65, "uml"), 0x8A: (0x65, "grave"), 0x8B: ("dotless", "uml"),
    0x8C: ("dotless", "circ"), 0x8D: ("dotless", "grave"), 0x8E: ("A_", "uml"),
    0x8F: ("A_", "ringa"), 0x90: ("E_", "acute"), 0x93: (0x6F, "circ"),
    0x94: (0x6F, "uml"), 0x95: (0x6F, "grave"), 0x96: (0x75, "circ"),
    0x97: (0x75, "grave"), 0x98: (0x79, "uml"), 0x99: ("O_", "uml"),
    0x9A: ("U_", "uml"), 0xA0: (0x61, "acute"), 0xA1: ("dotless", "acute"),
    0xA2: (0x6F, "acute"), 0xA3: (0x75, "acute"), 0xA4: (0x6E, "tilde"),
    0xA5: ("N_", "tilde"),
    0xB0: ("A_", "acute"), 0xB1: ("I_", "acute"), 0xB2: ("O_", "acute"),
    0xB3: ("U_", "acute"), 0xB4: ("Y_", "acute"), 0xB5: (0x79, "acute"),
    0xB6: ("C_", "acute"), 0xB7: (0x63, "acute"), 0xB8: ("L_", "acute"),
    0xBA: ("N_", "acute"), 0xBB: (0x6E, "acute"), 0xBC: ("R_", "acute"),
    0xBD: (0x72, "acute"), 0xBE: ("S_", "acute"), 0xBF: (0x73, "acute"),
    0xC0: ("Z_", "acute"), 0xC1: (0x7A, "acute"), 0xC2: ("C_", "caron"),
    0xC3: (0x63, "caron"), 0xC4: ("D_", "caron"), 0xC6: ("E_", "caron"),
    0xC7: (0x65, "caron"), 0xC8: ("N_", "caron"), 0xC9: (0x6E, "caron"),
    0xCA: ("R_", "caron"), 0xCB: (0x72, "caron"), 0xCC: ("S_", "caron"),
    0xCD: (0x73, "caron"), 0xCE: ("T_", "caron"), 0xD0: ("Z_", "caron"),
    0xD1: (0x7A, "caron"), 0xD2: ("U_", "ring"), 0xD3: (0x75, "ring"),
    0xD4: ("O_", "dblac"), 0xD5: (0x6F, "dblac"), 0xD6: ("U_", "dblac"),
    0xD7: (0x75, "dblac"), 0xD8: (0x41, "ogon"), 0xD9: (0x61, "ogon"),
    0xDA: (0x45, "ogon"), 0xDB: (0x65, "ogon"), 0xDE: ("Z_", "dot"),
    0xDF: (0x7A, "dot"), 0xE0: ("A_", "breve"), 0xE1: (0x61, "breve"),
    0xE2: ("G_", "breve"), 0xE3: (0x67, "breve"), 0xE4: (0x53, "cedil"),
    0xE5: (0x73, "cedil"), 0xE6: ("I_", "dot"), 0xEA: ("E_", "uml"),
    0xEB: ("I_", "uml"), 0xEC: ("A_", "circ"), 0xED: ("E_", "circ"),
    0xEE: ("I_", "circ"), 0xEF: ("U_", "grave"), 0xF0: ("U_", "circ"), 0xF1: ("A_", "grave"),
    0xF2: ("E_", "grave"),
}

# The panel driver's own text frames: codes 5..13 are blank (10..12 are
# controls there) and 241, 242, 247 keep code page 437's signs.
PANEL_BLANK = range(5, 14)
PANEL_OTHER = {0xF1: 0xF9, 0xF2: "ge", 0xF7: "approx"}
PANEL_OTHER_TEXT = {0xF1: "±", 0xF2: "≥", 0xF7: "≈"}

# What each character is, as Unicode text; None for the device's own
# pictographs, which Unicode has no exact counterpart for.
PICTOGRAPHS = [
    "telephone", "envelope", "loudspeaker", "bell", "clock", "key", "lock",
    "battery", "signal strength", "check mark", "cross", "headset",
    "microphone", "enter", "person",
]
CP437_SIGNS = "►◄↕‼¶§▬↨↑↓→←∟↔▲▼"
CP437_LETTERS = ("ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»")
FURTHER = ("ÁÍÓÚÝýĆćĹĺŃńŔŕŚś"
           "ŹźČčĎďĚěŇňŘřŠšŤť"
           "ŽžŮůŐőŰűĄąĘęŁłŻż"
           "ĂăĞğŞşİıĽľËÏÂÊÎÙ"
           "ÛÀÈØøŒœß°±µ×÷€·")


def unicode_text():
    text = [None] * 256
    text[0x20:0x7F] = [chr(c) for c in range(0x20, 0x7F)]
    text[0x10:0x20] = list(CP437_SIGNS)
    text[0x7F] = "⌂"
    text[0x80:0xB0] = list(CP437_LETTERS)
    text[0xB0:0xFF] = list(FURTHER)
    text[0xFF] = "█"
    return text


def parse_drawings(source):
    glyphs = {}
    lines = [line.rstrip() for line in source.strip("\n").split("\n")]
    i = 0
    while i < len(lines):
        if not lines[i]:
            i += 1
            continue
        names = lines[i].split()
        rows = lines[i + 1:i + 1 + ROWS]
        if len(rows) != ROWS:
            sys.exit(f"make-font: strip {names} has {len(rows)} rows, not {ROWS}")
        art = [[] for _ in names]
        for r, row in enumerate(rows):
            groups = row.split()
            if len(groups) != len(names):
                sys.exit(f"make-font: strip {names}, row {r}: {len(groups)} glyphs")
            for g, group in enumerate(groups):
                if len(group) != COLUMNS or set(group) - set("#."):
                    sys.exit(f"make-font: strip {names}, row {r}: bad group '{group}'")
                art[g].append(group)
        for name, glyph in zip(names, art):
            key = int(name, 16) if name.startswith("0x") else name
            if key in glyphs:
                sys.exit(f"make-font: {name} drawn twice")
            glyphs[key] = glyph
        i += 1 + ROWS
    return glyphs


def overlay(base, mark):
    return ["".join("#" if "#" in (a, b) else "." for a, b in zip(x, y))
            for x, y in zip(base, mark)]


def columns(glyph):
    """The five column bytes: bit r of byte k is pixel (k, r)."""
    return [sum(1 << r for r in range(ROWS) if glyph[r][k] == "#")
            for k in range(COLUMNS)]


def build():
    drawn = parse_drawings(DRAWINGS)
    blank = ["." * COLUMNS] * ROWS
    font = {0x00: blank}
    for key, glyph in drawn.items():
        if isinstance(key, int):
            font[key] = glyph
    for code, (base, mark) in COMPOSED.items():
        if code in font:
            sys.exit(f"make-font: 0x{code:02X} both drawn and composed")
        font[code] = overlay(drawn[base], drawn[mark])
    missing = [c for c in range(256) if c not in font]
    if missing:
        sys.exit("make-font: no glyph for " + ", ".join(f"0x{c:02X}" for c in missing))

    char_code = [columns(font[c]) for c in range(256)]
    panel_font = list(char_code)
    for c in PANEL_BLANK:
        panel_font[c] = [0] * COLUMNS
    for c, other in PANEL_OTHER.items():
        panel_font[c] = columns(drawn[other])
    check(char_code)
    return char_code, panel_font


def check(char_code):
    telling = {
        0x20: [0x00, 0x00, 0x00, 0x00, 0x00],
        0x2E: [0x00, 0x60, 0x60, 0x00, 0x00],
        0x30: [0x3E, 0x51, 0x49, 0x45, 0x3E],
        0x41: [0x7E, 0x11, 0x11, 0x11, 0x7E],
        0x67: [0x18, 0xA4, 0xA4, 0xA4, 0x7C],
        0xFF: [0xFF] * 5,
    }
    for code, expected in telling.items():
        if char_code[code] != expected:
            sys.exit(f"make-font: 0x{code:02X} is {char_code[code]}, must be {expected}")
    # The LCD model reads characters back by their pixels, so no two may look
    # alike (0x00 and the space are both blank).
    seen = {}
    for code in range(1, 256):
        key = tuple(char_code[code])
        if key in seen:
            sys.exit(f"make-font: 0x{code:02X} looks like 0x{seen[key]:02X}")
        seen[key] = code


def name_of(code, text):
    if 0x01 <= code <= 0x0F:
        return PICTOGRAPHS[code - 1]
    if code == 0x00:
        return "blank"
    if code == 0x20:
        return "space"
    if code == 0x5C:
        return "backslash"  # a comment may not end in one
    return text[code]


def table(name, rows, text, notes):
    out = [f"const unsigned char {name}[font_characters * font_columns] = {{"]
    for code, row in enumerate(rows):
        values = ", ".join(f"0x{v:02X}" for v in row)
        out.append(f"    {values},  // 0x{code:02X} {notes.get(code, name_of(code, text))}")
    out.append("};")
    return out


def font_cpp(char_code, panel_font):
    text = unicode_text()
    panel_notes = {c: "blank" for c in PANEL_BLANK}
    panel_notes.update(PANEL_OTHER_TEXT)
    lines = [
        "// Generated by scripts/make-font.py from the drawings kept there; change",
        "// the drawings and run the script rather than editing this file.",
        '#include "display/font.h"',
        "",
    ]
    lines += table("char_code", char_code, text, {})
    lines += [""]
    lines += table("panel_font", panel_font, text, panel_notes)
    return "\n".join(lines) + "\n"


def c_string(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


def charset_cpp():
    text = unicode_text()
    lines = [
        "// Generated by scripts/make-font.py with the font; change the script",
        "// and run it rather than editing this file.",
        '#include "sim/models/lcd_text.h"',
        "",
        "namespace sim {",
        "",
        "const char* const lcd_unicode[256] = {",
    ]
    for code in range(256):
        value = "nullptr" if text[code] is None else c_string(text[code])
        lines.append(f"    {value},  // 0x{code:02X}" +
                     (f" {PICTOGRAPHS[code - 1]}" if 0x01 <= code <= 0x0F else ""))
    lines += ["};", "", "}  // namespace sim"]
    return "\n".join(lines) + "\n"


def main():
    check_only = sys.argv[1:] == ["--check"]
    if sys.argv[1:] and not check_only:
        sys.exit("usage: make-font.py [--check]")
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    char_code, panel_font = build()
    outputs = {
        "display/font.cpp": font_cpp(char_code, panel_font),
        "sim/models/lcd_charset.cpp": charset_cpp(),
    }
    stale = []
    for path, content in outputs.items():
        full = os.path.join(root, path)
        try:
            with open(full, encoding="utf-8") as f:
                current = f.read()
        except FileNotFoundError:
            current = None
        if current == content:
            continue
        if check_only:
            stale.append(path)
        else:
            with open(full, "w", encoding="utf-8") as f:
                f.write(content)
            print(f"make-font: wrote {path}")
    if stale:
        sys.exit("make-font: out of date (run scripts/make-font.py): " + ", ".join(stale))


if __name__ == "__main__":
    main()
