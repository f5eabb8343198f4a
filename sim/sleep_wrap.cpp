// The program's sleep(): on the virtual clock a pause takes no real time,
// the simulated clock moves on by it instead. A pause settles the display:
// what it shows is what a person looks at meanwhile.
#include <unistd.h>

#include "sim/clock.h"
#include "sim/settle.h"

extern "C" unsigned __real_sleep(unsigned seconds);

extern "C" unsigned __wrap_sleep(unsigned seconds) {
  sim::settle();
  if (!sim::clock::is_virtual()) return __real_sleep(seconds);
  sim::clock::advance_us(static_cast<int64_t>(seconds) * 1000000);
  return 0;
}
