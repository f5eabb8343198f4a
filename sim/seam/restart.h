// The restart model: the program's reboot() ends the simulated run as a
// restart ends the phone's: at once, without exit handlers, and with whatever
// the program left in stdio's buffers lost, as the phone loses it. The
// process's status is then transcript_format::status::restart.
#pragma once

namespace sim {

// RUK_SIM_REBOOT=fail makes reboot() fail instead (EPERM), as it would for a
// process without the right to restart; restart (the default) ends the run.
void set_reboot_fails(bool fails);

}  // namespace sim
