"""The emulated phone: one boot of QEMU's Malta board with the phone's
kernel and initramfs (scripts/vm-kernel, scripts/vm-initramfs), its flash
backed by a host file, its network QEMU's user-mode network with a real
tftpd-hpa on the host side, all inside a network namespace of the caller's
own (enter_private_network), so that no packet leaves it.

QEMU's user network is set up as the address menu's defaults expect it: its
side, the phone's gateway, is 192.168.0.1 (which would answer TFTP itself,
with an error), the phone 192.168.0.5 with the default netmask 255.255.0.0.
The guest's datagrams to other networks leave through host sockets of QEMU,
inside the namespace. So the TFTP server is tftpd-hpa on 192.0.2.1:69, an
address the namespace gives an unconnected veth of its own: the guest reaches
it through its default route.

RUK_VM_QEMU_ARGS adds arguments to QEMU's, when something needs a closer look
(a capture of the guest's packets: "-object
filter-dump,id=dump,netdev=net0,file=PATH").

A run ends when QEMU does: by the program's restart (QEMU runs with
-no-reboot), by the power-off of the guest's init once the program has ended,
by the time limit, or by a power cut: a watcher that reads the transcript as
QEMU writes it may have QEMU killed (SIGKILL: no shutdown, nothing synced)
at a moment it chooses. Its record: the guest's console, the transcript lines
the guest's devices wrote on the second serial port (the simulator's
"<ms>\\t<kind>\\t<text>"), and how it ended.
"""

import os
import shutil
import signal
import subprocess
import sys
import time

import transcript_format
from transcript_format import KINDS

# The flash: block2mtd splits the virtio disk into mtd0..mtd5 with these
# sizes (the last two are the simulator's default partitions), erase blocks
# of 64 KiB.
ERASE_SIZE = 64 * 1024
PARTITIONS = [("boot", 64 * 1024), ("env", 64 * 1024), ("kernel", 64 * 1024),
              ("rootfs", 64 * 1024), ("mtd4", 2 * 1024 * 1024), ("mtd5", 8 * 1024 * 1024)]

# The phone's addresses: typed on the keypad (the first two) or the menu's
# defaults (the gateway, QEMU's side of its user network, and the netmask).
PHONE_ADDRESS = "192.168.0.5"
SERVER_ADDRESS = "192.0.2.1"
GATEWAY = "192.168.0.1"
NETMASK = "255.255.0.0"
# QEMU's user network, its own address the gateway.
QEMU_NETWORK = "192.168.0.0/24"

NETNS_MARK = "RUK_VM_PRIVATE_NETWORK"


def menu_keys(pause_ms=0, at_ms=1000):
    """Key script words that open the menu during the countdown (a key at
    at_ms) and type the phone's address, then (c) the TFTP server's, into
    screens that start at 0.0.0.0; the gateway and the netmask keep the
    menu's defaults. Each key is followed by pause_ms more, for a person to
    follow."""
    words = ["@%d" % at_ms, "1", "+200"]
    for i, address in enumerate((PHONE_ADDRESS, SERVER_ADDRESS)):
        if i > 0:
            words.append("c")
        octets = address.split(".")
        for k, octet in enumerate(octets):
            words += list(octet)
            # Three digits move on by themselves; * after fewer.
            if len(octet) < 3 and k < 3:
                words.append("*")
    if pause_ms:
        paused = []
        for word in words:
            paused += [word] if word[0] in "@+" else [word, "+%d" % pause_ms]
        words = paused
    return words


def partition(flash, index):
    """The bytes of partition index (0..5) of a flash image."""
    start = sum(size for _, size in PARTITIONS[:index])
    return flash[start:start + PARTITIONS[index][1]]


def flash_size():
    return sum(size for _, size in PARTITIONS)


def start(usage):
    """The calling script's four path arguments, made absolute, once it runs
    in a network namespace of its own with the TFTP server's address set up;
    usage when they are not four."""
    if len(sys.argv) != 5:
        sys.exit(usage)
    paths = [os.path.abspath(a) for a in sys.argv[1:]]
    enter_private_network()
    set_up_network()
    return paths


def enter_private_network():
    """Runs the calling script again in a network namespace of its own with
    only loopback up (and an unconnected veth, below), unless it already is
    in one. Needs root, as tftpd-hpa does."""
    own = os.readlink("/proc/self/ns/net")
    outer = os.environ.get(NETNS_MARK)
    if outer is not None:
        # Set by the run that made the namespace, to the one it left.
        if outer == own:
            sys.exit("vm: %s is set, but this is still the network it names" % NETNS_MARK)
        return
    if os.geteuid() != 0:
        sys.exit("vm: the emulated phone's network namespace and tftpd-hpa need root; "
                 "run as root or with sudo")
    env = dict(os.environ, **{NETNS_MARK: own})
    os.execvpe("unshare", ["unshare", "-n", sys.executable] + sys.argv, env)


def set_up_network():
    """Loopback up, and the TFTP server's address (a documentation address)
    on an unconnected veth: reachable from within the namespace only."""
    for command in (["ip", "link", "set", "lo", "up"],
                    ["ip", "link", "add", "ruk-vm0", "type", "veth", "peer", "name", "ruk-vm1"],
                    ["ip", "addr", "add", SERVER_ADDRESS + "/24", "dev", "ruk-vm0"],
                    ["ip", "link", "set", "ruk-vm0", "up"]):
        subprocess.run(command, check=True)


class Server:
    """tftpd-hpa serving a folder on port 69 of SERVER_ADDRESS, with no
    capability beyond those it needs to bind the port, enter its chroot and
    become its own user."""

    def __init__(self, folder):
        self.process = subprocess.Popen(
            ["setpriv", "--bounding-set", "-all,+net_bind_service,+sys_chroot,+setuid,+setgid",
             "in.tftpd", "--foreground", "--listen", "--ipv4", "--secure",
             "--address", SERVER_ADDRESS + ":69", folder],
            stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not self.listening():
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("tftpd-hpa did not start listening on %s:69" % SERVER_ADDRESS)
            time.sleep(0.05)

    @staticmethod
    def listening():
        out = subprocess.run(["ss", "-Hlun", "sport = :69"], capture_output=True, text=True)
        return SERVER_ADDRESS + ":69" in out.stdout

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


# A transcript line's (ms, kind, text), or None for anything else.
parse_line = transcript_format.split


def rows(screen):
    """A transcript screen's two rows, escapes as written: '"To Update" "Press"'
    -> ['To Update', 'Press']; [] for a text that is not a screen's."""
    return transcript_format.split_screen(screen) or []


def row_is(row, text):
    return lambda screen: len(rows(screen)) > row and rows(screen)[row] == text


def screen_is(top, bottom):
    return lambda screen: rows(screen) == [top, bottom]


def in_order(screens, wanted):
    """True when each wanted (a function of a screen text) matches a screen
    after the one that matched the previous."""
    at = 0
    for want in wanted:
        while at < len(screens) and not want(screens[at]):
            at += 1
        if at == len(screens):
            return False
        at += 1
    return True


class Run:
    """What one boot left behind."""

    def __init__(self, ending, seconds, console, transcript_text, flash):
        # "restart", "power-off", "timeout", "cut", "device fault: ..." or
        # "QEMU ..."
        self.ending = ending
        self.seconds = seconds
        self.console = console
        self.transcript_text = transcript_text
        self.flash = flash

    def lines(self, kind=None):
        """The transcript's (ms, kind, text) lines, of one kind if given; a
        last line that a power cut left unfinished is none."""
        out = []
        complete = self.transcript_text[:self.transcript_text.rfind("\n") + 1]
        for line in complete.split("\n"):
            parsed = parse_line(line)
            if parsed is not None and (kind is None or parsed[1] == kind):
                out.append(parsed)
        return out

    def screens(self):
        return [text for _, _, text in self.lines(KINDS["screen"])]


# At most 255 characters: QEMU's Malta board passes no more.
KERNEL_COMMAND_LINE = " ".join([
    "console=ttyS0",
    "panic=1",  # a guest that panics restarts, and QEMU ends
    "block2mtd.block2mtd=/dev/vda,%d,flash" % ERASE_SIZE,
    "mtdparts=flash:" + ",".join("%dk(%s)" % (size // 1024, name) for name, size in PARTITIONS),
])


def run_initrd(initramfs, work, keys, dots):
    """The initramfs followed by a second archive with this run's settings
    (vm/guest/init.cpp): /ruk-run/keys, the key script, and /ruk-run/dots
    when the screens' pixels are wanted. The kernel unpacks both. Returns
    the path of the file in work; the caller removes it after the boot."""
    staging = os.path.join(work, "run-settings")
    if os.path.isdir(staging):
        shutil.rmtree(staging)
    try:
        os.makedirs(os.path.join(staging, "ruk-run"))
        names = ["ruk-run"]
        if keys is not None:
            with open(os.path.join(staging, "ruk-run", "keys"), "w") as f:
                f.write(keys)
            names.append("ruk-run/keys")
        if dots:
            open(os.path.join(staging, "ruk-run", "dots"), "w").close()
            names.append("ruk-run/dots")
        archive = subprocess.run(["cpio", "-o", "--quiet", "-H", "newc", "-R", "0:0"],
                                 cwd=staging, input="\n".join(names).encode(),
                                 capture_output=True, check=True)
    finally:
        # Only the archive's input.
        shutil.rmtree(staging, ignore_errors=True)
    path = os.path.join(work, "initrd.cpio")
    with open(path, "wb") as out, open(initramfs, "rb") as base:
        shutil.copyfileobj(base, out)
        out.write(archive.stdout)
    return path


def boot(kernel, initramfs, flash_path, work, keys, timeout, dots=None, watch=None):
    """Boots the phone once and returns its Run. flash_path is the flash
    image (read and written in place); work a folder for the console and
    the transcript; keys a key script or None; dots, if given, a file that
    receives every screen's pixels. watch, if given, is handed each
    transcript line as QEMU writes it (watch.line(ms, kind, text)), and QEMU
    is killed once the monotonic time watch.cut_at (None: no cut) has
    come; watch.killed_at is then set to the time of the kill."""
    console_path = os.path.join(work, "console.log")
    transcript_path = os.path.join(work, "transcript")
    for path in (console_path, transcript_path):
        open(path, "w").close()
    initrd = run_initrd(initramfs, work, keys, dots is not None)
    qemu = [
        # No capability at all: the emulator needs none.
        "setpriv", "--bounding-set", "-all", "--inh-caps", "-all", "--no-new-privs",
        "qemu-system-mips", "-M", "malta", "-m", "64", "-nodefaults", "-no-reboot",
        "-display", "none", "-monitor", "none",
        "-kernel", kernel, "-initrd", initrd,
        "-append", KERNEL_COMMAND_LINE,
        "-serial", "file:" + console_path,
        "-serial", "file:" + transcript_path,
        "-serial", ("file:" + dots) if dots else "null",
        "-drive", "file=%s,format=raw,if=none,id=flash" % flash_path,
        "-device", "virtio-blk-pci,drive=flash",
        "-netdev", "user,id=net0,net=%s,host=%s" % (QEMU_NETWORK, GATEWAY),
        "-device", "pcnet,netdev=net0,romfile=",
    ] + os.environ.get("RUK_VM_QEMU_ARGS", "").split()
    qemu_log_path = os.path.join(work, "qemu.log")
    started = time.monotonic()
    try:
        with open(qemu_log_path, "wb") as qemu_log:
            process = subprocess.Popen(qemu, stdin=subprocess.DEVNULL, stdout=qemu_log,
                                       stderr=subprocess.STDOUT, start_new_session=True)
        ending = None
        reader = _TranscriptReader(transcript_path) if watch is not None else None
        while process.poll() is None:
            if reader is not None:
                for parsed in reader.new_lines():
                    watch.line(*parsed)
            now = time.monotonic()
            if reader is not None:
                if watch.cut_at is not None and now >= watch.cut_at:
                    ending = "cut"
            if ending is None and now - started >= timeout:
                ending = "timeout"
            if ending is not None:
                if watch is not None:
                    watch.killed_at = time.monotonic()
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
                break
            # A watcher's cut comes within a millisecond of its time.
            pause = 0.05
            if watch is not None:
                pause = 0.001 if watch.cut_at is None else min(0.001, max(0.0, watch.cut_at - now))
            time.sleep(pause)
    finally:
        # The run's archive (8 MiB) is of no use once QEMU has ended.
        os.remove(initrd)
    seconds = time.monotonic() - started
    if reader is not None:
        reader.file.close()
    with open(qemu_log_path, errors="replace") as f:
        qemu_output = f.read()
    with open(console_path, errors="replace") as f:
        console = f.read()
    with open(transcript_path, errors="replace") as f:
        transcript_text = f.read()
    with open(flash_path, "rb") as f:
        flash = f.read()
    if ending is None:
        if "reboot: Restarting system" in console:
            ending = "restart"
        elif "reboot: Power down" in console:
            ending = "power-off"
        else:
            ending = "QEMU ended with status %d: %s" % (process.returncode, qemu_output.strip())
    run = Run(ending, seconds, console, transcript_text, flash)
    # A run in which the program broke a device's rules has failed, however
    # the guest ended: its devices wrote what was broken in place of the
    # last line.
    faults = [text for _, _, text in run.lines(KINDS["fault"])]
    if faults and ending in ("restart", "power-off"):
        run.ending = "device fault: " + "; ".join(faults)
    return run


class _TranscriptReader:
    """The complete lines added to a transcript file since the last call."""

    def __init__(self, path):
        self.file = open(path, "rb")
        self.pending = b""

    def new_lines(self):
        self.pending += self.file.read()
        *complete, self.pending = self.pending.split(b"\n")
        out = []
        for line in complete:
            parsed = parse_line(line.decode(errors="replace"))
            if parsed is not None:
                out.append(parsed)
        return out


def make_image(payload, checksum_error=0):
    """An update image of the payload: a 16-byte header (checksum, length,
    magic 253, an unused word), every word 32-bit big-endian; checksum_error
    is added to the right checksum."""
    words = len(payload) // 4
    checksum = sum(int.from_bytes(payload[4 * i:4 * i + 4], "big") for i in range(words))
    checksum = (checksum + checksum_error) & 0xFFFFFFFF
    header = b"".join(v.to_bytes(4, "big") for v in (checksum, len(payload), 253, 0))
    return header + payload


def serve(folder, image):
    """Puts the image where tftpd-hpa serves it, readable by its user."""
    if os.path.isdir(folder):
        shutil.rmtree(folder)
    os.makedirs(folder)
    os.chmod(folder, 0o755)
    path = os.path.join(folder, "tolv510.bin")
    with open(path, "wb") as f:
        f.write(image)
    os.chmod(path, 0o644)
