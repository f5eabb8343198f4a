// Port 69 redirection: a TFTP server of a demo or test listens on a port of
// its own, which needs no privilege, and the program's datagrams addressed to
// port 69 (whatever the host) are sent there instead. The program's request
// still names port 69; only the simulated sendto changes the destination.
//
// RUK_SIM_PORT69=PORT sets it for a run (1 to 65535); a test may call
// redirect_port69 instead. 0 turns the redirection off.
#pragma once

namespace sim {

void redirect_port69(int port);
// The port that datagrams for port 69 go to now; 69 when not redirected.
int port69_target();

}  // namespace sim
