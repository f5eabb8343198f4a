// The panel's own account of a broken bus, as both the simulator and the
// emulated phone report it at the end of a run.
#include "sim/models/lcd_panel.h"

#include <gtest/gtest.h>

namespace {

void level(sim::lcd_panel& panel, sim::port_line line, int value) {
  sim::port_record record = {line.port, line.pin, value};
  ASSERT_EQ(panel.apply(sim::port_request::write, &record), 0);
}

TEST(LcdPanelViolations, NamesEachKindBrokenWithItsCountInOneLine) {
  sim::lcd_panel panel;
  EXPECT_EQ(panel.violations_text(), "");

  // No line given a direction: each of the five levels is a breach too.
  level(panel, sim::lcd_cs, 1);
  for (int i = 0; i < 2; ++i) {
    level(panel, sim::lcd_wr, 0);
    level(panel, sim::lcd_wr, 1);
  }
  EXPECT_EQ(panel.violations_text(),
            "LCD bus protocol broken: write strobe without chip select 2, "
            "level before direction 5");
}

}  // namespace
