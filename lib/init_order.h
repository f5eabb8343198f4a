// Start-up order of the process-wide objects.
//
// The program's singletons are globals and static members in many files, and
// several are used by the constructors of others (a global string copies
// str::empty, a global timer needs the timer list). Their order must not
// depend on how the linker happens to arrange the object files, so each one
// carries a priority from this list; lower numbers are built first and
// destroyed last. Objects without a priority are built after all of these.
#pragma once

#define RUK_INIT(level) __attribute__((init_priority(level)))

// The timer list and its element pool.
#define RUK_INIT_TIMERS 1000
// The panel driver's and the display's class-wide members.
#define RUK_INIT_DISPLAY 1100
// RasterImage::Empty.
#define RUK_INIT_RASTER 1200
// str::empty, str::lws, str::crlf, str::space, str::newline.
#define RUK_INIT_STRINGS 1300
// The TFTP client: tftp, tftp_content, tftp_timer, tftp_last_packet.
#define RUK_INIT_TFTP 1400
// theDisplay, then countdown_timer, then the sixteen address octets
// (ip_adr0 first, tftp3 last), each group possibly in a file of its own.
#define RUK_INIT_APP_DISPLAY 1500
#define RUK_INIT_APP_TIMER 1510
#define RUK_INIT_APP_OCTETS 1520
