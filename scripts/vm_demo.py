"""make vm-demo: the whole update on the emulated phone, watched live.

Usage: python3 scripts/vm_demo.py KERNEL INITRAMFS VIEWER WORK
  KERNEL     the guest's vmlinux (scripts/vm-kernel)
  INITRAMFS  the guest's userspace (scripts/vm-initramfs)
  VIEWER     ruk-vm-view, which draws the panel from the guest's serial ports
  WORK       where everything the run makes stays, emptied first: the
             payload, the served image, the flash, console and transcript

A sample payload and its image, served by tftpd-hpa behind QEMU's user
network; the key script waits out part of the countdown, opens the menu,
types the phone's address and the TFTP server's, a key at a time (the
gateway and the netmask are the menu's defaults, which that network is set
up to match), and presses update. The run ends with the
program's restart of the guest, and one line that compares mtd5 with the
payload.
"""

import os
import random
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True
import vm_phone  # noqa: E402

PAYLOAD_SIZE = 200000


def main():
    kernel, initramfs, viewer, work = vm_phone.start(__doc__)
    if os.path.isdir(work):
        shutil.rmtree(work)
    os.makedirs(work)

    payload = random.Random().randbytes(PAYLOAD_SIZE)
    with open(os.path.join(work, "payload.bin"), "wb") as f:
        f.write(payload)
    flash = os.path.join(work, "flash.img")
    with open(flash, "wb") as f:
        f.write(b"\x00" * vm_phone.flash_size())
    vm_phone.serve(os.path.join(work, "tftp"), vm_phone.make_image(payload))
    server = vm_phone.Server(os.path.join(work, "tftp"))
    keys = " ".join(vm_phone.menu_keys(pause_ms=250) + ["+600", "h"])
    print("vm-demo: the phone types its address %s and the TFTP server %s; the gateway %s and "
          "the netmask %s are the menu's defaults"
          % (vm_phone.PHONE_ADDRESS, vm_phone.SERVER_ADDRESS, vm_phone.GATEWAY, vm_phone.NETMASK))
    dots = os.path.join(work, "dots")
    transcript = os.path.join(work, "transcript")
    open(dots, "w").close()
    open(transcript, "w").close()
    view = subprocess.Popen([viewer, transcript, dots], stdin=subprocess.PIPE, text=True)
    try:
        run = vm_phone.boot(kernel, initramfs, flash, work, keys, 180, dots=dots)
    finally:
        server.stop()
    words = {"restart": "the phone restarts: ruk's reboot ended the VM",
             "power-off": "ruk ended and the guest powered off",
             "timeout": "the run was stopped after 180 s"}
    view.communicate(words.get(run.ending, run.ending) + "\n")

    mtd5 = vm_phone.partition(run.flash, 5)
    rest = mtd5[len(payload):]
    if run.ending != "restart" or mtd5[:len(payload)] != payload or rest != b"\xff" * len(rest):
        sys.exit("vm-demo: FAILED: the update did not end in a restart with mtd5 holding the "
                 "payload followed by erased flash (see %s)" % work)
    print("vm-demo: verified: mtd5 holds the %d payload bytes, and the rest of its %d bytes is "
          "erased; everything the run made is in %s" % (len(payload), len(mtd5), work))


if __name__ == "__main__":
    main()
