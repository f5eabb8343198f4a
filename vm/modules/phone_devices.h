/* SPDX-License-Identifier: GPL-2.0 */
/*
 * The records that the emulated phone's two device modules exchange with
 * their userspace half (vm/guest/), in the machine's own byte order. Shared
 * by the modules and by the C++ guest programs, so plain C.
 *
 * /dev/inca-port        the port driver the program opens (12-byte request
 *                       record: port, pin, value)
 * /dev/inca-port-lines  its other end: every request the driver accepted, as
 *                       a port_line_request, read by the agent that runs the
 *                       LCD controller; the agent writes a port_line_answer
 *                       for each read request
 * /dev/keypad           the keypad the program opens
 * /dev/keypad-feed      its other end: the feeder writes keypad_feed_event
 *                       records (the key presses and releases to come), and
 *                       reads keypad_taken records (each event the program
 *                       took, and when)
 */
#ifndef RUK_VM_PHONE_DEVICES_H
#define RUK_VM_PHONE_DEVICES_H

#include <linux/types.h>

/* The drivers' request numbers and record sizes (PHONE_PORT_*,
 * PHONE_KEYPAD_*) are the simulator's: sim/models/phone_wire.h, which the
 * modules include beside this file. */

struct port_line_request {
	__s64 time_ns; /* CLOCK_MONOTONIC when the program made the request */
	__u32 request; /* one of PHONE_PORT_* */
	__u32 sequence; /* counts the accepted requests from 1 */
	__s32 port;
	__s32 pin;
	__s32 value; /* as the program passed it */
	__s32 reserved;
};

struct port_line_answer {
	__u32 sequence; /* of the read request answered */
	__s32 level; /* the level the line reads */
};

struct keypad_feed_event {
	__u8 code; /* the record's code byte */
	__u8 character; /* what a one-byte read of this press delivers */
	__u8 fails; /* non-zero: the read-event request for it fails (EIO) */
	__u8 reserved;
	__s32 state; /* 1 press, 0 release */
};

struct keypad_taken {
	__s64 time_ns; /* CLOCK_MONOTONIC when the program took it */
	struct keypad_feed_event event;
};

#endif
