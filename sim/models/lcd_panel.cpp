#include "sim/models/lcd_panel.h"

#include <utility>

namespace sim {

int lcd_panel::apply(unsigned long request, port_record* record) {
  port_event event;
  if (pins_.apply(request, *record, &event) < 0) return -1;
  int level = bus_.on_request(event);
  if (event.kind == port_event::read) record->value = level;
  return 0;
}

lcd_change lcd_panel::take() {
  lcd_change change;
  if (controller_.changes() == taken_changes_) return change;
  taken_changes_ = controller_.changes();
  std::string dark = controller_.dark_reason();
  if (dark != taken_dark_) {
    taken_dark_ = dark;
    change.panel = dark.empty() ? "on" : "off: " + dark;
  }
  lcd_memory shown = controller_.panel();
  if (shown == taken_) return change;
  taken_ = shown;
  change.screen = lcd_read_screen(taken_).transcript_text();
  return change;
}

std::string lcd_panel::violations_text() const {
  const lcd_violations& v = violations();
  if (v.total() == 0) return "";
  const std::pair<long, const char*> kinds[] = {
      {v.strobe_without_select, "write strobe without chip select"},
      {v.strobe_with_undriven_lines, "byte latched from undriven lines"},
      {v.read_with_output_data, "read cycle with data lines as outputs"},
      {v.read_outside_cycle, "data line read outside a read cycle"},
      {v.level_before_direction, "level before direction"},
      {v.level_on_input, "level written to an input"},
      {v.both_strobes, "both strobes low"},
      {v.a0_changed_in_cycle, "A0 changed in a cycle"},
      {v.byte_during_reset, "byte during reset"},
  };
  std::string text = "LCD bus protocol broken:";
  const char* separator = " ";
  for (const auto& k : kinds) {
    if (k.first == 0) continue;
    text += separator + std::string(k.second) + " " + std::to_string(k.first);
    separator = ", ";
  }
  return text;
}

void lcd_panel::reset() {
  pins_.reset();
  controller_.power_on();
  bus_.reset();
  taken_ = controller_.panel();
  taken_dark_ = "-";
  taken_changes_ = 0;
}

}  // namespace sim
