"""The run's transcript for the Python scripts: the twin of
sim/models/transcript_format.h, which says what the form is and why.
A line is "<ms>\\t<kind>\\t<text>"; a screen's text is its two rows, each in
double quotes, one space between, with \\" and \\\\ inside a row.

Run as a program it checks itself against the header:
  transcript_format.py --check HEADER EXAMPLES
compares the kinds and exit statuses with the header's and runs these
functions over the examples that the C++ test runs its own over.
"""

import re
import sys

KINDS = {
    "screen": "screen",
    "panel": "panel",
    "key": "key",
    "net": "net",
    "flash": "flash",
    "restart": "restart",
    "port": "port",
    "fault": "fault",
    "end": "end",
}

# Exit statuses that only the simulator and the emulated phone's devices give.
STATUS = {
    "device_fault": 97,
    "setting_error": 98,
    "restart": 99,
}


def join(ms, kind, text):
    """'<ms>\\t<kind>\\t<text>' without the newline."""
    return "%d\t%s\t%s" % (ms, kind, text)


def split(line):
    """A line's (ms, kind, text), or None for anything that is not a
    transcript line (no ms of digits, fewer than two tabs)."""
    parts = line.split("\t", 2)
    if len(parts) == 3 and re.fullmatch(r"[0-9]+", parts[0]):
        return int(parts[0]), parts[1], parts[2]
    return None


def screen_text(top, bottom):
    return '"%s" "%s"' % (top, bottom)


_ROW = r'"((?:[^"\\]|\\.)*)"'


def split_screen(text):
    """A screen's two rows, escapes kept as written, or None when the text
    is not two quoted rows."""
    m = re.fullmatch(_ROW + " " + _ROW, text, re.S)
    return [m.group(1), m.group(2)] if m else None


def unquote_row(row):
    """A row with \\" and \\\\ undone; the reader's other escapes stay."""
    return re.sub(r'\\(["\\])', r"\1", row)


def _field(text):
    return text.replace("\\t", "\t")


def check(header_path, examples_path):
    """Problems found, as a list of texts (empty when in step)."""
    problems = []
    header = open(header_path, encoding="utf-8").read()
    kinds = dict(re.findall(r'constexpr char (\w+)\[\] = "([^"]*)";', header))
    if kinds != KINDS:
        problems.append("kinds differ: header %s, script %s" % (kinds, KINDS))
    statuses = {k: int(v) for k, v in re.findall(r"constexpr int (\w+) = (\d+);", header)}
    if statuses != STATUS:
        problems.append("statuses differ: header %s, script %s" % (statuses, STATUS))
    for number, raw in enumerate(open(examples_path, encoding="utf-8"), 1):
        raw = raw.rstrip("\n")
        if not raw or raw.startswith("#"):
            continue
        what, *fields = [_field(f) for f in raw.split("\t")]
        if what == "split":
            got = split(fields[0])
            want = None if fields[1:] == ["none"] else (int(fields[1]), fields[2], fields[3])
            if want is not None and join(*want) != fields[0]:
                problems.append("line %d: join does not give the line back" % number)
        elif what == "screen":
            got = split_screen(fields[0])
            want = None if fields[1:] == ["none"] else fields[1:3]
            if want is not None and screen_text(*want) != fields[0]:
                problems.append("line %d: screen_text does not give the text back" % number)
        elif what == "unquote":
            got, want = unquote_row(fields[0]), fields[1]
        else:
            problems.append("line %d: no such example kind %r" % (number, what))
            continue
        if got != want:
            problems.append("line %d: %s gives %r, the example says %r" % (number, what, got, want))
    return problems


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] != "--check":
        sys.exit("usage: transcript_format.py --check HEADER EXAMPLES")
    found = check(sys.argv[2], sys.argv[3])
    for p in found:
        print("transcript_format.py: " + p)
    sys.exit(1 if found else 0)
