// The port driver and LCD controller model, driven through the program's own
// ioctl calls: pin tracking, bus cycles, the command set, and the count of
// protocol breaches.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "sim/seam/fd_table.h"
#include "sim/seam/lcd_model.h"
#include "sim/seam/lcd_test_bus.h"

namespace {

using sim::lcd_model;

class LcdBus : public lcd_test::on_device {
 protected:
  // The violations that one step, taken on a bus set up as usual, adds.
  sim::lcd_violations breach(const std::function<void()>& step) {
    model().reset();
    bus.set_up();
    step();
    return model().violations();
  }
};

TEST_F(LcdBus, SetUpLikeThePanelDriverReachesDisplayOnWithoutABreach) {
  for (uint8_t byte : {0xAE, 0xA0, 0xC0, 0x23, 0x81, 0x20, 0xA9, 0xC1, 0xA3, 0x2F, 0xAF}) {
    EXPECT_EQ(bus.status() & sim::lcd_status::busy, 0);
    bus.command(byte);
  }
  const sim::lcd_controller& c = model().controller();
  EXPECT_TRUE(c.display_on());
  EXPECT_EQ(c.contrast(), 32);
  EXPECT_EQ(c.power(), 7);
  EXPECT_EQ(c.counts().unknown_commands, 0);
  EXPECT_EQ(c.counts().status_reads, 11);
  EXPECT_EQ(model().violations().total(), 0);
}

TEST_F(LcdBus, ADataByteCostsThirteenRequestsAndACommandFourteen) {
  long requests = model().requests();
  bus.data(0x11);
  EXPECT_EQ(model().requests() - requests, 13);
  EXPECT_EQ(model().data_bytes(), 1);
  requests = model().requests();
  bus.command(0xB1);
  EXPECT_EQ(model().requests() - requests, 14);
  EXPECT_EQ(model().command_bytes(), 1);
}

TEST_F(LcdBus, AByteIsTakenOnTheRisingWriteStrobeWhileSelected) {
  bus.put_data_lines(0x5A);
  bus.level(sim::lcd_a0, 1);
  bus.level(sim::lcd_cs, 0);
  bus.level(sim::lcd_wr, 0);
  EXPECT_EQ(model().data_bytes(), 0) << "nothing yet on the falling edge";
  bus.level(sim::lcd_wr, 1);
  EXPECT_EQ(model().data_bytes(), 1);
  EXPECT_EQ(model().memory().page[0][0], 0x5A);
  bus.level(sim::lcd_wr, 1);
  EXPECT_EQ(model().data_bytes(), 1) << "a level written again is no edge";

  bus.level(sim::lcd_cs, 1);
  bus.level(sim::lcd_wr, 0);
  bus.level(sim::lcd_wr, 1);
  EXPECT_EQ(model().data_bytes(), 1) << "not selected: not taken";
  EXPECT_EQ(model().memory().page[0][1], sim::lcd_controller::power_on_byte(0, 1));
  EXPECT_EQ(model().violations().strobe_without_select, 1);
}

TEST_F(LcdBus, A0TellsACommandFromData) {
  bus.data(0xB2);
  EXPECT_EQ(model().controller().page(), 0);
  EXPECT_EQ(model().memory().page[0][0], 0xB2);
  bus.command(0xB2);
  EXPECT_EQ(model().controller().page(), 2);
  EXPECT_EQ(model().memory().page[0][1], sim::lcd_controller::power_on_byte(0, 1))
      << "a command writes no pixels";
}

TEST_F(LcdBus, PageAndColumnAddressTheMemoryAndDataAdvancesTheColumn) {
  bus.address(1, 37);
  EXPECT_EQ(model().controller().column(), 37);
  bus.data(0x01);
  bus.data(0x02);
  EXPECT_EQ(model().memory().page[1][37], 0x01);
  EXPECT_EQ(model().memory().page[1][38], 0x02);
  EXPECT_EQ(model().controller().column(), 39);

  bus.address(2, 130);
  bus.data(0xAA);
  bus.data(0xBB);
  bus.data(0xCC);  // column 132: beyond the memory
  EXPECT_EQ(model().memory().page[2][130], 0xAA);
  EXPECT_EQ(model().memory().page[2][131], 0xBB);
  EXPECT_EQ(model().controller().counts().dropped_data, 1);

  bus.address(8, 0);
  bus.data(0xFF);
  EXPECT_EQ(model().memory().page[8][0], 0xFF) << "the ninth page is memory too";
  bus.address(9, 0);
  bus.data(0xFF);
  EXPECT_EQ(model().controller().counts().dropped_data, 2) << "page 9 is not in the memory";
  EXPECT_EQ(model().violations().total(), 0);
}

TEST_F(LcdBus, StatusReadsReadyUnlessBusyIsInjected) {
  uint8_t status = bus.status();
  EXPECT_EQ(status & sim::lcd_status::busy, 0);
  EXPECT_NE(status & sim::lcd_status::display_off, 0);
  bus.command(0xAF);
  EXPECT_EQ(bus.status() & sim::lcd_status::display_off, 0);

  model().set_faults({false, true});
  for (int i = 0; i < 3; ++i) EXPECT_NE(bus.status() & sim::lcd_status::busy, 0);
  EXPECT_EQ(model().violations().total(), 0);
}

TEST_F(LcdBus, DisplayDataReadsBackAndAdvances) {
  bus.address(0, 10);
  bus.data(0x3C);
  bus.data(0xC3);
  bus.address(0, 10);
  auto read_byte = [&] {
    for (sim::port_line line : sim::lcd_data) bus.direction(line, 0);
    bus.level(sim::lcd_cs, 0);
    bus.level(sim::lcd_rd, 0);
    int byte = 0;
    for (int bit = 7; bit >= 0; --bit) byte = byte * 2 + bus.read(sim::lcd_data[bit]);
    bus.level(sim::lcd_rd, 1);
    bus.level(sim::lcd_cs, 1);
    for (sim::port_line line : sim::lcd_data) bus.direction(line, 1);
    return byte;
  };
  EXPECT_EQ(read_byte(), 0x3C);
  EXPECT_EQ(read_byte(), 0xC3);
  EXPECT_EQ(model().violations().total(), 0);
}

TEST_F(LcdBus, CommandsChangeTheControllerState) {
  bus.command(0x81);
  bus.command(0x3F);
  EXPECT_EQ(model().controller().contrast(), 63);
  bus.command(0xB1);
  EXPECT_EQ(model().controller().page(), 1) << "after its value, 0x81 is done";
  bus.command(0xAF);
  bus.command(0xA7);
  bus.command(0x45);
  EXPECT_TRUE(model().controller().inverse());
  EXPECT_EQ(model().controller().start_line(), 5);
  bus.command(0x37);
  EXPECT_EQ(model().controller().counts().unknown_commands, 1);

  bus.address(0, 3);
  bus.data(0x99);
  bus.command(0xE2);  // software reset: addressing and contrast, not the pixels
  EXPECT_EQ(model().controller().page(), 0);
  EXPECT_EQ(model().controller().column(), 0);
  EXPECT_EQ(model().controller().contrast(), 32);
  EXPECT_TRUE(model().controller().display_on());
  EXPECT_EQ(model().memory().page[0][3], 0x99);

  bus.level(sim::lcd_reset, 0);
  EXPECT_NE(bus.status() & sim::lcd_status::resetting, 0);
  bus.level(sim::lcd_reset, 1);
  EXPECT_FALSE(model().controller().display_on()) << "the reset line turns the display off";
  EXPECT_EQ(model().memory().page[0][3], 0x99);
}

TEST_F(LcdBus, EveryKindOfProtocolBreachIsCounted) {
  using sim::lcd_violations;
  auto only = [](const lcd_violations& v, long lcd_violations::*kind) {
    return v.*kind == 1 && v.total() == 1;
  };
  EXPECT_TRUE(only(breach([&] {
                     bus.level(sim::lcd_cs, 1);
                     bus.level(sim::lcd_wr, 0);
                     bus.level(sim::lcd_wr, 1);
                   }),
                   &lcd_violations::strobe_without_select));
  EXPECT_TRUE(only(breach([&] {
                     bus.direction(sim::lcd_data[3], 0);
                     bus.level(sim::lcd_cs, 0);
                     bus.level(sim::lcd_wr, 0);
                     bus.level(sim::lcd_wr, 1);
                   }),
                   &lcd_violations::strobe_with_undriven_lines));
  EXPECT_EQ(model().data_bytes(), 0) << "an undriven byte is not taken";
  EXPECT_TRUE(only(breach([&] {
                     bus.level(sim::lcd_a0, 0);
                     bus.level(sim::lcd_cs, 0);
                     bus.level(sim::lcd_rd, 0);
                   }),
                   &lcd_violations::read_with_output_data));
  EXPECT_TRUE(only(breach([&] {
                     for (sim::port_line line : sim::lcd_data) bus.direction(line, 0);
                     bus.level(sim::lcd_cs, 0);
                     bus.level(sim::lcd_rd, 0);
                     bus.direction(sim::lcd_data[5], 1);
                   }),
                   &lcd_violations::read_with_output_data));
  EXPECT_TRUE(only(breach([&] {
                     bus.direction(sim::lcd_data[0], 0);
                     bus.read(sim::lcd_data[0]);
                   }),
                   &lcd_violations::read_outside_cycle));
  EXPECT_TRUE(only(breach([&] {
                     bus.direction(sim::lcd_data[1], 0);
                     bus.level(sim::lcd_data[1], 1);
                   }),
                   &lcd_violations::level_on_input));
  EXPECT_TRUE(only(breach([&] {
                     for (sim::port_line line : sim::lcd_data) bus.direction(line, 0);
                     bus.level(sim::lcd_cs, 0);
                     bus.level(sim::lcd_rd, 0);
                     bus.level(sim::lcd_wr, 0);
                   }),
                   &lcd_violations::both_strobes));
  EXPECT_TRUE(only(breach([&] {
                     bus.level(sim::lcd_cs, 0);
                     bus.level(sim::lcd_wr, 0);
                     bus.level(sim::lcd_a0, 0);
                   }),
                   &lcd_violations::a0_changed_in_cycle));
  EXPECT_TRUE(only(breach([&] {
                     bus.level(sim::lcd_reset, 0);
                     bus.data(0x42);
                   }),
                   &lcd_violations::byte_during_reset));

  model().reset();
  bus.level(sim::lcd_cs, 1);
  EXPECT_EQ(model().violations().level_before_direction, 1);
}

TEST_F(LcdBus, PinsKeepTheirDirectionLevelAndOpenDrain) {
  const sim::port_pins& pins = model().pins();
  EXPECT_TRUE(pins.state(sim::lcd_data[0]).open_drain);
  EXPECT_TRUE(pins.state(sim::lcd_data[7]).open_drain);
  EXPECT_FALSE(pins.state(sim::lcd_data[1]).open_drain);
  EXPECT_EQ(pins.state(sim::lcd_cs).direction, sim::pin_direction::output);
  EXPECT_EQ(pins.state(sim::lcd_cs).level, 1);

  sim::port_line spare = {2, 11};
  EXPECT_EQ(pins.state(spare).direction, sim::pin_direction::unset);
  bus.direction(spare, 0);
  EXPECT_EQ(pins.state(spare).direction, sim::pin_direction::input);
  EXPECT_EQ(bus.read(spare), 1) << "an input nobody drives reads high";
  sim::port_line other = {2, 12};
  bus.direction(other, 1);
  bus.level(other, 0);
  EXPECT_EQ(bus.read(other), 0) << "an output reads back its level";

  const sim::port_request_counts& counts = pins.counts();
  EXPECT_EQ(counts.open_drain, 2);
  EXPECT_EQ(counts.read, 2);
  EXPECT_EQ(model().violations().total(), 0) << "lines off the bus are free";
}

TEST_F(LcdBus, MalformedRequestsFailAndAreCounted) {
  sim::port_record record = {1, 16, 0};
  errno = 0;
  EXPECT_EQ(ioctl(bus.fd, 0x800CBF01UL, &record), -1);
  EXPECT_EQ(errno, ENOTTY);
  record = {4, 0, 1};
  EXPECT_EQ(ioctl(bus.fd, sim::port_request::write, &record), -1);
  EXPECT_EQ(errno, EINVAL);
  record = {1, 32, 1};
  EXPECT_EQ(ioctl(bus.fd, sim::port_request::write, &record), -1);
  EXPECT_EQ(ioctl(bus.fd, sim::port_request::read, nullptr), -1);
  EXPECT_EQ(errno, EFAULT);
  EXPECT_EQ(model().pins().counts().unknown, 1);
  EXPECT_EQ(model().pins().counts().rejected, 3);
}

TEST_F(LcdBus, TheDeviceCanBeMissingOrServedAtAnotherPath) {
  model().set_faults({true, false});
  errno = 0;
  EXPECT_EQ(open(lcd_model::default_path, O_RDONLY), -1);
  EXPECT_EQ(errno, ENOENT);
  model().set_faults({});

  model().attach("/dev/test-port");
  EXPECT_FALSE(sim::path_attached(lcd_model::default_path));
  int fd = open("/dev/test-port", O_RDONLY);
  EXPECT_GE(fd, 0);
  close(fd);
  model().attach(lcd_model::default_path);
}

TEST(LcdFaults, SettingNamesTheFaultsOrSaysWhatIsWrong) {
  sim::lcd_faults faults;
  std::string error;
  ASSERT_TRUE(sim::lcd_parse_faults("busy,missing", &faults, &error));
  EXPECT_TRUE(faults.busy);
  EXPECT_TRUE(faults.missing);
  ASSERT_TRUE(sim::lcd_parse_faults("", &faults, &error));
  EXPECT_FALSE(faults.busy || faults.missing);
  EXPECT_FALSE(sim::lcd_parse_faults("busy,slow", &faults, &error));
  EXPECT_EQ(error, "unknown fault \"slow\" (known: missing, busy)");
}

}  // namespace
