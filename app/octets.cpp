// The sixteen octet strings of the address menu with their start-up values.
// They are built after theDisplay and countdown_timer, ip_adr0 first and
// tftp3 last, and destroyed in the reverse order.
#include "app/menu.h"
#include "lib/init_order.h"

str ip_adr0 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str ip_adr1 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str ip_adr2 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str ip_adr3 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str netmask0 RUK_INIT(RUK_INIT_APP_OCTETS) = "255";
str netmask1 RUK_INIT(RUK_INIT_APP_OCTETS) = "255";
str netmask2 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str netmask3 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str gw0 RUK_INIT(RUK_INIT_APP_OCTETS) = "192";
str gw1 RUK_INIT(RUK_INIT_APP_OCTETS) = "168";
str gw2 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str gw3 RUK_INIT(RUK_INIT_APP_OCTETS) = "1";
str tftp0 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str tftp1 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str tftp2 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str tftp3 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
