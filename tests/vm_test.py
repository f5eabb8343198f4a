"""The phone build of ruk on the emulated phone (scripts/vm_phone.py): the
shipped binary under a real big-endian MIPS kernel, its flash a kernel MTD
driver, its network a real stack with a real tftpd-hpa behind QEMU's user
network, its restart a real reboot.

Usage: python3 tests/vm_test.py KERNEL INITRAMFS RUK WORK
  KERNEL     the guest's vmlinux (scripts/vm-kernel)
  INITRAMFS  the guest's userspace (scripts/vm-initramfs)
  RUK        the stripped phone build that `make size` measures; the
             initramfs must hold it byte for byte
  WORK       a folder for each case's flash, console and transcript

The cases: the whole update, a wrong checksum, no key, and a power cut in
each step of the update (scripts/vm_drill.py's seeds 1 to 9).
Runs itself in a network namespace of its own. Prints each case's time and,
for a failing case, its transcript and the guest's console (a power cut:
what it hit and what the next start did); ends with
"vm-test: N passed, N failed".
"""

import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
import vm_drill  # noqa: E402
import vm_phone  # noqa: E402
from vm_phone import in_order, row_is, rows, screen_is  # noqa: E402

# Small enough for a case well under a minute: every 512-byte block redraws
# the byte count through some 1,400 port requests; not a multiple of the
# 8192-byte write, so the last write is a short one.
PAYLOAD_SIZE = vm_drill.PAYLOAD_SIZE
TIME_LIMIT = 90


Failure = vm_drill.Failure
check = vm_drill.check


class Cases:
    def __init__(self, kernel, initramfs, work):
        self.kernel = kernel
        self.initramfs = initramfs
        self.work = work
        self.payload = vm_drill.payload()
        # What the partitions hold before a run: an old firmware's bytes.
        self.old_flash = vm_drill.old_flash()

    def run(self, name, image, keys):
        folder = os.path.join(self.work, name)
        os.makedirs(folder, exist_ok=True)
        flash = os.path.join(folder, "flash.img")
        with open(flash, "wb") as f:
            f.write(self.old_flash)
        vm_phone.serve(os.path.join(folder, "tftp"), image)
        server = vm_phone.Server(os.path.join(folder, "tftp"))
        try:
            return vm_phone.boot(self.kernel, self.initramfs, flash, folder, keys, TIME_LIMIT)
        finally:
            server.stop()

    def no_violations(self, run):
        port = [text for _, _, text in run.lines("port")]
        check(len(port) == 1, "one port line at the end of the run, got %r" % port)
        check(port[0].endswith(", 0 bus protocol violations"), "the panel's bus: " + port[0])

    def unchanged_except(self, run, changed):
        for index, (name, _) in enumerate(vm_phone.PARTITIONS):
            if index not in changed:
                check(vm_phone.partition(run.flash, index) ==
                      vm_phone.partition(self.old_flash, index), "%s changed" % name)

    def update(self):
        image = vm_phone.make_image(self.payload)
        keys = vm_phone.menu_keys() + ["+300", "h"]
        run = self.run("update", image, " ".join(keys))
        check(run.ending == "restart", "the VM ended by the program's restart, not: " + run.ending)
        check([text for _, _, text in run.lines("restart")] == ["0x01234567"],
              "the program asked for the restart (RB_AUTOBOOT)")
        screens = run.screens()
        check(in_order(screens, [
            screen_is("To Update by TFTP:", "Press any key:3"),
            row_is(0, "IP Address:"),
            row_is(0, "tftp"),
            screen_is("Erasing applications...", "DON'T TURN OFF THE POWER"),
            screen_is("Writing applications...", "Update: 0%"),
            screen_is("Update Successful", "Restarting..."),
        ]), "the update's screens in order")
        # Every datagram's count, once: 512-byte blocks, then the short last.
        counts = [int(rows(s)[1]) for s in screens if row_is(0, "tftp")(s) and rows(s)[1:2] != [""]]
        check(counts == list(range(512, len(image), 512)) + [len(image)],
              "the byte count block by block up to the image's %d bytes: %r" % (len(image), counts))
        # The share written before each 8192-byte write, whenever it changes;
        # the one after the last write stays on the panel only if the
        # program makes a call before it draws its next screen.
        shown = [rows(s)[1] for s in screens if row_is(0, "Writing applications...")(s)]
        wanted = []
        for k in range((PAYLOAD_SIZE + 8191) // 8192):
            text = "Update: %d%%" % (k * 819200 // PAYLOAD_SIZE)
            if text not in wanted:
                wanted.append(text)
        check(shown in (wanted, wanted[:-1]), "the percentages %r, not %r" % (wanted, shown))
        typed = [k for k in keys if k[0] not in "@+"]
        pressed = [text.split()[1] for _, _, text in run.lines("key") if text.startswith("press ")]
        check(pressed == typed, "the program took the keys typed: %r" % pressed)
        console = run.console.replace("\r", "")
        for name, address in (("ip", vm_phone.PHONE_ADDRESS), ("tftp", vm_phone.SERVER_ADDRESS),
                              ("gw", vm_phone.GATEWAY), ("nm", vm_phone.NETMASK)):
            check("%s = %s\n" % (name, address) in console, "ruk printed %s = %s" % (name, address))
        mtd5 = vm_phone.partition(run.flash, 5)
        check(mtd5[:len(self.payload)] == self.payload, "mtd5 begins with the payload")
        check(mtd5[len(self.payload):] == b"\xff" * (len(mtd5) - len(self.payload)),
              "mtd5 is erased after the payload")
        check(vm_phone.partition(run.flash, 4) == b"\xff" * vm_phone.PARTITIONS[4][1],
              "mtd4 is erased")
        self.unchanged_except(run, {4, 5})
        self.no_violations(run)
        return run

    def wrong_checksum(self):
        image = vm_phone.make_image(self.payload, checksum_error=1)
        # A key during the transfer is dropped, so one every half second; the
        # wait ends at an event after a key other than the first it reads.
        keys = vm_phone.menu_keys() + ["+300", "h"] + ["+400", "1", "+400", "2"] * 60
        run = self.run("wrong-checksum", image, " ".join(keys))
        check(run.ending == "power-off", "the guest powered off after ruk ended, not: " + run.ending)
        check(in_order(run.screens(), [
            row_is(0, "tftp"),
            screen_is("  CRC error - aborted.", "     Press any key"),
            row_is(0, "Canceled ..."),
        ]), "the CRC screen, then Canceled")
        check(not any(row_is(0, "Erasing applications...")(s) for s in run.screens()),
              "nothing erased")
        check([text for _, _, text in run.lines("end")] == ["exit 0"], "ruk ended with status 0")
        check(run.flash == self.old_flash, "the flash is byte for byte as before")
        self.no_violations(run)
        return run

    def no_key(self):
        run = self.run("no-key", vm_phone.make_image(self.payload), None)
        check(run.ending == "power-off", "the guest powered off after ruk ended, not: " + run.ending)
        check(in_order(run.screens(), [
            screen_is("To Update by TFTP:", "Press any key:3"),
            screen_is("To Update by TFTP:", "Press any key:2"),
            screen_is("To Update by TFTP:", "Press any key:1"),
        ]), "the countdown 3, 2, 1")
        check(len(run.screens()) == 3, "nothing else on the panel: %r" % run.screens())
        check([text for _, _, text in run.lines("end")] == ["exit 0"], "ruk ended with status 0")
        check("init: ruk ended with status 0" in run.console, "init reported the status")
        # The program set the guest's clock to its fixed date when it started.
        check("init: the clock reads 2001-12-24 00:00:0" in run.console,
              "the guest's clock counts from 2001-12-24 00:00:00 UTC")
        check(run.flash == self.old_flash, "the flash is byte for byte as before")
        self.no_violations(run)
        return run


def initramfs_file(initramfs, name):
    """One file of a newc archive, read with cpio."""
    with open(initramfs, "rb") as archive:
        out = subprocess.run(["cpio", "-i", "--quiet", "--to-stdout", name], stdin=archive,
                             capture_output=True, check=True)
    return out.stdout


def main():
    kernel, initramfs, ruk, work = vm_phone.start(__doc__)
    os.makedirs(work, exist_ok=True)

    passed = failed = 0
    with open(ruk, "rb") as f:
        shipped = f.read()
    if initramfs_file(initramfs, "bin/ruk") == shipped:
        print("vm-test: the guest's /bin/ruk is %s, byte for byte (%d bytes)" % (ruk, len(shipped)))
        passed += 1
    else:
        print("vm-test: FAILED: the guest's /bin/ruk is not %s" % ruk)
        failed += 1

    cases = Cases(kernel, initramfs, work)
    update = None
    for name, case in (("update", cases.update), ("wrong checksum", cases.wrong_checksum),
                       ("no key", cases.no_key)):
        started = time.monotonic()
        try:
            run = case()
            if case == cases.update:
                update = run
            passed += 1
            print("vm-test: case %s: passed in %.1f s (the VM ran %.1f s)"
                  % (name, time.monotonic() - started, run.seconds))
        except Exception as e:  # a failed check, or a case that could not run
            failed += 1
            print("vm-test: case %s: FAILED after %.1f s: %s" % (name, time.monotonic() - started, e))
            folder = os.path.join(work, name.replace(" ", "-"))
            for what in ("transcript", "console.log"):
                path = os.path.join(folder, what)
                if os.path.exists(path):
                    print("---- " + path)
                    with open(path, errors="replace") as f:
                        sys.stdout.write(f.read())
            print("----")
        sys.stdout.flush()
    # A power cut in each step of the update, aimed by the steps' lengths in
    # the update above: the drill's first seeds (make drill SEED=S reruns one).
    drill = vm_drill.Drill(kernel, initramfs, os.path.join(work, "power-cut"))
    measured = vm_drill.spans(update.lines()) if update is not None else None
    for seed in range(1, len(vm_drill.PHASES) + 1):
        if measured is None:
            failed += 1
            print("vm-test: case power cut, seed %d: FAILED: no step lengths, the update failed"
                  % seed)
            continue
        result = drill.cut(seed, measured)
        if result.recovered:
            passed += 1
            print("vm-test: case power cut, seed %d: passed in %.1f s: %s"
                  % (seed, result.seconds, result.summary()))
        else:
            failed += 1
            print("vm-test: case power cut, seed %d: FAILED: %s (its runs: %s; rerun: make drill "
                  "SEED=%d)" % (seed, result.text(), os.path.join(drill.work, "seed-%d" % seed),
                                seed))
        sys.stdout.flush()
    print("vm-test: %d passed, %d failed" % (passed, failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
