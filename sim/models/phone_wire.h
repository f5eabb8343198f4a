/*
 * What crosses the wire between the program and the phone's drivers, as the
 * drivers define it: request numbers, record sizes and the keypad's layout.
 * Plain C, so that the emulated phone's kernel modules (vm/modules/, built by
 * scripts/vm-initramfs, which copies this file beside them) include it as
 * the simulator's models and the guest programs do.
 *
 * The program keeps its own copy (app/keypad.h, app/keypad.cpp,
 * display/port_ioctl.h) on purpose: the devices the program is tested
 * against are written from the drivers' numbers, not from the program's, so
 * a wrong number in the program fails a test instead of agreeing with
 * itself. tests/wire_test.cpp checks that the two copies agree.
 */
#ifndef RUK_PHONE_WIRE_H
#define RUK_PHONE_WIRE_H

/* The port driver (/dev/inca-port, type 0xBF): a 12-byte record of three
 * 32-bit integers (port, pin, value) in the machine's own byte order. */
#define PHONE_PORT_OPEN_DRAIN 0x800CBF00u
#define PHONE_PORT_DIRECTION 0x800CBF04u /* value 1 = output, 0 = input */
#define PHONE_PORT_WRITE 0x800CBF05u
#define PHONE_PORT_READ 0xC00CBF06u /* the driver fills in value */
#define PHONE_PORT_RECORD_SIZE 12
#define PHONE_PORT_COUNT 4
#define PHONE_PINS_PER_PORT 32

/* The keypad (/dev/keypad): the read-event request (type 'G', number 1, 12
 * bytes read) fills a 12-byte record: the code byte, three bytes unused, the
 * state as a 32-bit integer (1 press, 0 release), four bytes unused. */
#define PHONE_KEYPAD_READ_EVENT 0x400C4701u
#define PHONE_KEYPAD_RECORD_SIZE 12

/* The key each code names: the code's low six bits index this text; codes
 * beyond its 34 characters name no key. */
#define PHONE_KEYPAD_LAYOUT "#psvduh*0963jc7852ibg41ga.ket.mo.r"
#define PHONE_KEYPAD_CODE_MASK 0x3F

#endif
