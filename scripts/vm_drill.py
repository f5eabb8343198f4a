"""Power cuts on the emulated phone (scripts/vm_phone.py): `make drill`, and
one cut for each step of the update in `make vm-test`.

A cut: the phone boots on a flash that holds an old firmware's bytes, a key
script types the addresses and starts the update of a 100000-byte payload,
and QEMU is killed (SIGKILL: no shutdown, nothing synced, the flash file as
the guest's writes had left it) at a moment within one step of the update,
chosen by the cut's seed. Then the phone boots again on the same flash file
and what that start does is checked.

The steps (the phases a cut is aimed at and told to have hit), from the
transcript as QEMU wrote it, read while it runs: the screens and the flash
lines that ruk-devices writes for each request of the program to a
partition, before the request goes on:
  download    from the first "tftp" screen (the byte count) until the first
              erase request: the download and the image's checks
  erase-head  the erase of mtd5's first erase block, until mtd4's erase
  erase-mtd4  the erase of mtd4
  erase-mtd5  an erase of all of mtd5 in one request
  erase-rest  the erases of the rest of mtd5
  write-body  the writes of the payload but its first 16 bytes (the head)
  read-body   its read-back
  write-head  the write of the head at offset 0
  read-head   its read-back
  pause       from "Update Successful" until the restart
  restarted   the program restarted the phone before the cut came
A step lasts from its first request to the next step's first request, so
it takes in the closes (which sync the partition) and the screens drawn
between. A cut is aimed at a seeded share of the step's length, measured
once by an update that is not cut; the step a cut hit is what the
transcript showed when QEMU died, whatever it was aimed at.

What the next start must do follows from the flash the cut left, against
the flash before the update:
  old         the flash is byte for byte as before (the cut came before any
              erase reached it): the countdown runs out, the program ends
              with status 0, the flash is still as before
  not intact  mtd5's first 16 bytes are erased: the not-intact screen, no
              countdown; a key, the addresses and h then update the phone
              (its restart, mtd5 holding the payload and erased after it,
              mtd4 erased, the other partitions as before)
  new         mtd5 holds the payload, its head too: the countdown runs out,
              status 0, the flash as the cut left it
Any other flash (changed, yet its head neither erased nor the payload's) is
a failed cut whatever the start does: no start could tell that software
from an intact one. So is a flash that changed during the download step,
before any erase was asked for. A cut whose next start does what the flash
asks for is "recovered".

Usage: python3 scripts/vm_drill.py KERNEL INITRAMFS RUK WORK
(as tests/vm_test.py; RUK, the stripped phone build, only named: make
vm-test checks the guest's copy) with, from the environment:
  DRILL_CUTS=N   cuts with the seeds DRILL_FIRST .. DRILL_FIRST+N-1 (100)
  DRILL_FIRST=S  the first seed (1)
  SEED=S         the cut of seed S alone (a failing cut's rerun)
Seed S aims at step PHASES[(S - 1) % 9] (seeds 1 to 9: one cut for each,
the cuts of make vm-test), at a share of it from random.Random(S). Each cut
prints a line; the table of the cuts so far (by step hit, recovered or
not) is printed every ten cuts and at the end, and kept in WORK/table.md.
Each cut's transcripts and consoles stay in WORK/seed-S/{cut,restart}/, its
flash files (after the cut, after the next start) only when it failed.
Runs itself in a network namespace of its own.
"""

import hashlib
import json
import os
import random
import shutil
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vm_phone  # noqa: E402
from transcript_format import KINDS  # noqa: E402
from vm_phone import in_order, row_is, rows, screen_is  # noqa: E402

# The update's payload (tests/vm_test.py's too), and the size of its head,
# which the program writes last.
PAYLOAD_SIZE = 100000
HEAD_SIZE = 16
TIME_LIMIT = 90

# The steps a seed aims at, in their order in an update.
PHASES = ["download", "erase-head", "erase-mtd4", "erase-rest", "write-body", "read-body",
          "write-head", "read-head", "pause"]
# Every step the transcript can show, in order (erase-mtd5: one request for
# all of mtd5, which a program that erases the head block first never makes).
ORDER = ["download", "erase-head", "erase-mtd4", "erase-mtd5", "erase-rest", "write-body",
         "read-body", "write-head", "read-head", "pause", "restarted"]

COUNTDOWN = [screen_is("To Update by TFTP:", "Press any key:%d" % n) for n in (3, 2, 1)]
NOT_INTACT = screen_is("Software not intact:", "update needed, press key")
# When the key that answers the not-intact screen comes: its screen is
# usually there some 350 ms into the run, and keys before it or within 200 ms
# of it are dropped.
ACK_AT_MS = 1200


def payload():
    return random.Random(1).randbytes(PAYLOAD_SIZE)


def old_flash():
    """What the partitions hold before an update: an old firmware's bytes."""
    return random.Random(2).randbytes(vm_phone.flash_size())


def update_keys():
    """Open the menu during the countdown, type the addresses, update."""
    return " ".join(vm_phone.menu_keys() + ["+300", "h"])


def answer_keys():
    """Answer the not-intact screen, type the addresses, update."""
    return " ".join(vm_phone.menu_keys(at_ms=ACK_AT_MS) + ["+300", "h"])


class Tracker:
    """The step of the update that a transcript has reached, fed line by
    line; phase is None before the download."""

    def __init__(self):
        self.phase = None
        self.last_flash = None

    def feed(self, kind, text):
        if kind == KINDS["restart"]:
            self.phase = "restarted"
        elif kind == KINDS["screen"]:
            top = rows(text)[:1]
            if top == ["tftp"] and self.phase is None:
                self.phase = "download"
            elif top == ["Update Successful"] and self.phase is not None:
                self.phase = "pause"
        elif kind == KINDS["flash"] and self.phase not in (None, "pause", "restarted"):
            self.last_flash = text
            step = self.step_of(text.split())
            if step is not None:
                self.phase = step

    def step_of(self, words):
        if len(words) < 3 or words[0] not in ("erase", "write", "read") or "+" not in words[2]:
            return None
        request, device = words[0], words[1]
        at, length = (int(n) for n in words[2].split("+"))
        if request == "erase":
            if device == "mtd4":
                return "erase-mtd4"
            if device != "mtd5":
                return None
            if at == 0:
                return "erase-head" if length == vm_phone.ERASE_SIZE else "erase-mtd5"
            return "erase-rest"
        if device != "mtd5":
            return None
        if request == "write":
            return "write-head" if (at, length) == (0, HEAD_SIZE) else "write-body"
        # A read after the head's write reads the head back; any other read
        # from the body's write on, the body.
        if self.phase in ("write-head", "read-head"):
            return "read-head"
        if ORDER.index(self.phase) >= ORDER.index("write-body"):
            return "read-body"
        return None


def spans(lines):
    """Each step's (first ms, ms of the next step's first line) in an update
    that was not cut, from its transcript lines."""
    tracker = Tracker()
    starts = []
    for ms, kind, text in lines:
        before = tracker.phase
        tracker.feed(kind, text)
        if tracker.phase != before and tracker.phase is not None:
            starts.append((tracker.phase, ms))
    out = {}
    for (phase, start), (_, end) in zip(starts, starts[1:]):
        out.setdefault(phase, (start, end))
    return out


class Aim:
    """The watcher of a cut's run (vm_phone.boot): once the transcript has
    reached the step aimed at, or a later one, QEMU is killed delay seconds
    after that step's first line was written. The guest's clock runs with
    the host's, so the lines' times place them on the host's clock: the
    offset is the least difference seen between a line's reading and its
    time, so that a line read late (the host busy) does not delay the cut."""

    def __init__(self, phase, delay):
        self.tracker = Tracker()
        self.phase = phase
        self.delay = delay
        self.offset = None
        self.cut_at = None
        self.killed_at = None

    def line(self, ms, kind, text):
        now = time.monotonic()
        self.offset = min(self.offset, now - ms / 1000.0) if self.offset is not None \
            else now - ms / 1000.0
        self.tracker.feed(kind, text)
        if (self.cut_at is None and self.tracker.phase is not None
                and ORDER.index(self.tracker.phase) >= ORDER.index(self.phase)):
            self.cut_at = self.offset + ms / 1000.0 + self.delay

    def cut_ms(self):
        """When the cut came, on the guest's clock."""
        return int((self.killed_at - self.offset) * 1000)


def aim_of(seed, measured):
    """The step seed aims at, and the delay after its first line: a share of
    its length in the update measured (or of the next step's, when the
    program has no such step)."""
    phase = PHASES[(seed - 1) % len(PHASES)]
    share = random.Random(seed).random()
    for candidate in ORDER[ORDER.index(phase):]:
        if candidate in measured:
            start, end = measured[candidate]
            return phase, share, (end - start) * share / 1000.0, end - start
    return phase, share, 0.0, 0


def expected_start(before, after, load):
    """What the next start must do with the flash a cut left: "old",
    "not intact", "new" or None (no start could be right)."""
    if after == before:
        return "old"
    mtd5 = vm_phone.partition(after, 5)
    if mtd5[:HEAD_SIZE] == b"\xff" * HEAD_SIZE:
        return "not intact"
    if mtd5[:len(load)] == load:
        return "new"
    return None


def head_text(flash, before, load):
    head = vm_phone.partition(flash, 5)[:HEAD_SIZE]
    if head == b"\xff" * HEAD_SIZE:
        return "erased"
    if head == load[:HEAD_SIZE]:
        return "the payload's"
    if head == vm_phone.partition(before, 5)[:HEAD_SIZE]:
        return "the old software's"
    return "other bytes (%s)" % head.hex()


def changed_parts(before, after):
    return [name for index, (name, _) in enumerate(vm_phone.PARTITIONS)
            if vm_phone.partition(before, index) != vm_phone.partition(after, index)]


def what_it_did(run):
    """A start in a few words: its first screens, and how it ended."""
    screens = [" / ".join(rows(s)) for s in run.screens()]
    shown = "; ".join(screens[:3]) + ("; ..." if len(screens) > 3 else "")
    ends = [text for _, _, text in run.lines("end")]
    return "screens: %s; ended: %s%s" % (shown or "none", run.ending,
                                           " (%s)" % ends[0] if ends else "")


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


class Result:
    def __init__(self, seed):
        self.seed = seed
        self.aimed = None
        self.hit = None
        self.expected = None
        self.problems = []
        self.seconds = 0.0
        self.note = ""

    @property
    def recovered(self):
        return not self.problems

    def summary(self):
        return "aimed at %s, hit %s%s; the next start: %s" % (
            self.aimed, self.hit, self.note, self.expected or "none right")

    def text(self):
        state = "recovered" if self.recovered else "NOT RECOVERED: " + "; ".join(self.problems)
        return "drill: seed %d: %s; %s [%.1f s]" % (self.seed, self.summary(), state, self.seconds)


class Drill:
    def __init__(self, kernel, initramfs, work):
        self.kernel = kernel
        self.initramfs = initramfs
        self.work = work
        self.payload = payload()
        self.image = vm_phone.make_image(self.payload)
        self.before = old_flash()

    def boot(self, folder, flash, keys, watch=None):
        os.makedirs(folder, exist_ok=True)
        tftp = os.path.join(folder, "tftp")
        vm_phone.serve(tftp, self.image)
        server = vm_phone.Server(tftp)
        try:
            return vm_phone.boot(self.kernel, self.initramfs, flash, folder, keys, TIME_LIMIT,
                                 watch=watch)
        finally:
            server.stop()
            # Only the run's record stays: the served image goes.
            shutil.rmtree(tftp, ignore_errors=True)

    def measure(self):
        """The steps' lengths from one update that is not cut, kept in
        WORK/steps.json for the same guest userspace."""
        with open(self.initramfs, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        path = os.path.join(self.work, "steps.json")
        if os.path.exists(path):
            with open(path) as f:
                kept = json.load(f)
            if kept.get("initramfs") == digest:
                return {k: tuple(v) for k, v in kept["spans"].items()}
        folder = os.path.join(self.work, "uncut")
        os.makedirs(folder, exist_ok=True)
        flash = os.path.join(folder, "flash.img")
        with open(flash, "wb") as f:
            f.write(self.before)
        run = self.boot(folder, flash, update_keys())
        os.remove(flash)
        if run.ending != "restart" or vm_phone.partition(run.flash, 5)[:PAYLOAD_SIZE] != self.payload:
            raise Failure("the update that is not cut failed (%s): see %s" % (what_it_did(run), folder))
        measured = spans(run.lines())
        with open(path, "w") as f:
            json.dump({"initramfs": digest, "spans": measured}, f)
        return measured

    def cut(self, seed, measured):
        """One cut and the next start, checked."""
        started = time.monotonic()
        result = Result(seed)
        try:
            self._cut(seed, measured, result)
        except Failure as e:
            result.problems.append(str(e))
        result.seconds = time.monotonic() - started
        return result

    def _cut(self, seed, measured, result):
        folder = os.path.join(self.work, "seed-%d" % seed)
        if os.path.isdir(folder):
            shutil.rmtree(folder)
        os.makedirs(folder)
        flash = os.path.join(folder, "flash.img")
        with open(flash, "wb") as f:
            f.write(self.before)

        phase, share, delay, length = aim_of(seed, measured)
        result.aimed = "%s (%.2f of %d ms)" % (phase, share, length)
        aim = Aim(phase, delay)
        cut = self.boot(os.path.join(folder, "cut"), flash, update_keys(), watch=aim)
        if cut.ending == "restart":
            result.hit = "restarted"
        elif cut.ending == "cut":
            tracker = Tracker()
            began = None
            for ms, kind, text in cut.lines():
                before = tracker.phase
                tracker.feed(kind, text)
                if tracker.phase != before:
                    began = ms
            result.hit = tracker.phase
            result.note = " %d ms in" % (aim.cut_ms() - began)
            if tracker.last_flash is not None and tracker.phase != "download":
                result.note += ", after: %s" % tracker.last_flash
        else:
            raise Failure("the update never reached %s: %s" % (phase, what_it_did(cut)))
        after = cut.flash

        expected = expected_start(self.before, after, self.payload)
        result.expected = expected
        if result.hit == "download" and after != self.before:
            result.problems.append("the flash changed (%s) before any erase was asked for"
                                   % ", ".join(changed_parts(self.before, after)))
        if expected is None:
            result.problems.append(
                "the cut left %s changed while mtd5's head holds %s: no start can tell" %
                (", ".join(changed_parts(self.before, after)),
                 head_text(after, self.before, self.payload)))

        keys = answer_keys() if expected == "not intact" else None
        restart = self.boot(os.path.join(folder, "restart"), flash, keys)
        if expected is None:
            result.problems.append("the next start: " + what_it_did(restart))
        else:
            try:
                self.check_start(expected, after, restart)
            except Failure as e:
                result.problems.append("%s (mtd5's head %s; the next start: %s)" % (
                    e, head_text(after, self.before, self.payload), what_it_did(restart)))
        if result.problems:
            with open(os.path.join(folder, "flash-after-cut.img"), "wb") as f:
                f.write(after)
            os.rename(flash, os.path.join(folder, "flash-after-restart.img"))
        else:
            os.remove(flash)

    def check_start(self, expected, after, run):
        screens = run.screens()
        if expected in ("old", "new"):
            check(not any(NOT_INTACT(s) for s in screens), "the not-intact screen came")
            check(in_order(screens, COUNTDOWN) and len(screens) == 3,
                  "the countdown 3, 2, 1 and nothing else")
            check(run.ending == "power-off", "the guest powered off after ruk ended")
            check([text for _, _, text in run.lines("end")] == ["exit 0"], "ruk ended with status 0")
            check(run.flash == after, "the start left the flash as it was")
            if expected == "old":
                check(run.flash == self.before, "the flash is as before the update")
            if expected == "new":
                check(vm_phone.partition(run.flash, 5)[:PAYLOAD_SIZE] == self.payload,
                      "mtd5 holds the payload")
        else:
            check(screens[:1] != [] and NOT_INTACT(screens[0]),
                  "the first screen is the not-intact one")
            check(not any(row_is(0, "To Update by TFTP:")(s) for s in screens), "no countdown")
            check(in_order(screens, [
                NOT_INTACT,
                row_is(0, "IP Address:"),
                row_is(0, "tftp"),
                screen_is("Erasing applications...", "DON'T TURN OFF THE POWER"),
                row_is(0, "Writing applications..."),
                screen_is("Update Successful", "Restarting..."),
            ]), "the not-intact screen, the menu, then the whole update")
            check(run.ending == "restart", "the VM ended by the program's restart")
            mtd5 = vm_phone.partition(run.flash, 5)
            check(mtd5[:PAYLOAD_SIZE] == self.payload, "mtd5 holds the payload")
            check(mtd5[PAYLOAD_SIZE:] == b"\xff" * (len(mtd5) - PAYLOAD_SIZE),
                  "mtd5 is erased after the payload")
            check(vm_phone.partition(run.flash, 4) == b"\xff" * vm_phone.PARTITIONS[4][1],
                  "mtd4 is erased")
            for index in range(4):
                check(vm_phone.partition(run.flash, index) == vm_phone.partition(self.before, index),
                      "%s as before" % vm_phone.PARTITIONS[index][0])
        port = [text for _, _, text in run.lines("port")]
        check(len(port) == 1 and port[0].endswith(", 0 bus protocol violations"),
              "the panel's bus without violations: %r" % port)


def table(results):
    """The cuts by the step they hit: how many, how many recovered, what the
    next start was to do."""
    lines = ["| step hit | cuts | recovered | not recovered | next start (old / not intact / new / none right) |",
             "|---|---:|---:|---:|---|"]
    hits = sorted({r.hit for r in results}, key=lambda h: ORDER.index(h) if h in ORDER else -1)
    for hit in hits:
        mine = [r for r in results if r.hit == hit]
        ok = sum(1 for r in mine if r.recovered)
        kinds = " / ".join(str(sum(1 for r in mine if r.expected == k))
                           for k in ("old", "not intact", "new", None))
        lines.append("| %s | %d | %d | %d | %s |" % (hit or "none", len(mine), ok, len(mine) - ok,
                                                    kinds))
    ok = sum(1 for r in results if r.recovered)
    lines.append("| **all** | %d | %d | %d | |" % (len(results), ok, len(results) - ok))
    return "\n".join(lines)


def main():
    kernel, initramfs, _, work = vm_phone.start(__doc__)
    os.makedirs(work, exist_ok=True)
    if os.environ.get("SEED"):
        seeds = [int(os.environ["SEED"])]
    else:
        first = int(os.environ.get("DRILL_FIRST") or 1)
        seeds = list(range(first, first + int(os.environ.get("DRILL_CUTS") or 100)))
    drill = Drill(kernel, initramfs, work)
    started = time.monotonic()
    measured = drill.measure()
    print("drill: the steps of an update that is not cut, in ms: " +
          ", ".join("%s %d" % (p, measured[p][1] - measured[p][0])
                    for p in ORDER if p in measured))
    print("drill: %d cut(s), seeds %d to %d; a cut reruns alone with make drill SEED=S"
          % (len(seeds), seeds[0], seeds[-1]))
    sys.stdout.flush()
    results = []
    try:
        for seed in seeds:
            results.append(drill.cut(seed, measured))
            print(results[-1].text())
            with open(os.path.join(work, "table.md"), "w") as f:
                f.write(table(results) + "\n")
            if len(results) % 10 == 0 and len(results) < len(seeds):
                print("drill: after %d cuts (%.0f s):\n%s" % (len(results),
                                                             time.monotonic() - started,
                                                             table(results)))
            sys.stdout.flush()
    except KeyboardInterrupt:
        print("drill: stopped")
    if results:
        print("drill: %d cut(s) in %.0f s, %.1f s a cut:\n%s" % (
            len(results), time.monotonic() - started,
            sum(r.seconds for r in results) / len(results), table(results)))
        failed = [r.seed for r in results if not r.recovered]
        if failed:
            print("drill: not recovered: seeds %s" % " ".join(map(str, failed)))
    sys.exit(0 if results and all(r.recovered for r in results) else 1)


if __name__ == "__main__":
    main()
