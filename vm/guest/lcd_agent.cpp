#include "vm/guest/lcd_agent.h"

#include "sim/models/lcd_text.h"

namespace vm {

int lcd_agent::apply(const port_line_request& r) {
  ++requests_;
  sim::port_record record = {r.port, r.pin, r.value};
  sim::port_event event;
  // The kernel's driver has already refused what the pins refuse.
  if (pins_.apply(r.request, record, &event) < 0) return 0;
  int level = bus_.on_request(event);
  return event.kind == sim::port_event::read ? level : 0;
}

bool lcd_agent::take_screen(std::string* panel, std::string* text) {
  panel->clear();
  if (controller_.changes() == taken_changes_) return false;
  taken_changes_ = controller_.changes();
  std::string dark = controller_.dark_reason();
  if (dark != taken_dark_) {
    taken_dark_ = dark;
    *panel = dark.empty() ? "on" : "off: " + dark;
  }
  // What a person would see: nothing while the panel is dark, the picture
  // as the controller's directions and start line place it.
  sim::lcd_memory shown = controller_.panel();
  if (shown == taken_) return false;
  taken_ = shown;
  *text = sim::lcd_read_screen(taken_).transcript_text();
  return true;
}

}  // namespace vm
