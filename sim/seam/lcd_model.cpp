#include "sim/seam/lcd_model.h"
#include "sim/seam/settings.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "sim/seam/fd_table.h"
#include "sim/seam/lcd_png.h"
#include "sim/models/lcd_render.h"
#include "sim/models/transcript_format.h"
#include "sim/seam/run_end.h"
#include "sim/seam/settle.h"
#include "sim/seam/transcript.h"

namespace sim {

namespace {

constexpr int png_scale = 4;

// The program's descriptor of the port driver. Its requests are the display
// traffic itself, so they never settle the display.
class port_file : public file {
 public:
  explicit port_file(lcd_model& model) : model_(model) {}
  int ioctl(unsigned long request, void* arg) override { return model_.ioctl(request, arg); }
  bool settles_display() override { return false; }

 private:
  lcd_model& model_;
};

void set_up_from_settings() {
  lcd_model& model = lcd_model::instance();
  lcd_faults faults;
  std::string error;
  if (!lcd_parse_faults(settings::value(setting::port_fault), &faults, &error))
    settings::refuse(setting::port_fault, error);

  model.attach(settings::value(setting::port));
  model.set_faults(faults);
  model.set_png_path(settings::value(setting::lcd_png));
  model.set_dots_path(settings::value(setting::lcd_dots));
  on_settle([] { lcd_model::instance().settle(); });
  on_run_end([] { return lcd_model::instance().violations_text(); });
}

setup_registration registration(set_up_from_settings);

}  // namespace

bool lcd_parse_faults(const std::string& text, lcd_faults* faults, std::string* error) {
  lcd_faults parsed;
  for (const std::string& name : split_list(text)) {
    if (name == "missing") {
      parsed.missing = true;
    } else if (name == "busy") {
      parsed.busy = true;
    } else if (!name.empty()) {
      *error = "unknown fault \"" + name + "\" (known: missing, busy)";
      return false;
    }
  }
  *faults = parsed;
  return true;
}

lcd_model& lcd_model::instance() {
  static lcd_model* model = new lcd_model;  // used until the very end of the process
  return *model;
}

void lcd_model::attach(const std::string& path) {
  if (!path_.empty()) detach_path(path_);
  path_ = path;
  attach_path(path_, [this](int) -> std::shared_ptr<file> {
    if (faults_.missing) {
      errno = ENOENT;
      return nullptr;
    }
    return std::make_shared<port_file>(*this);
  });
}

void lcd_model::set_faults(const lcd_faults& faults) {
  faults_ = faults;
  panel_.set_busy_forever(faults.busy);
}

int lcd_model::ioctl(unsigned long request, void* arg) {
  port_record record = {-1, -1, 0};  // a missing record names no line
  if (arg != nullptr) memcpy(&record, arg, sizeof record);
  if (panel_.apply(request, &record) < 0) {
    if (arg == nullptr && errno == EINVAL) errno = EFAULT;
    return -1;
  }
  if (request == port_request::read) memcpy(arg, &record, sizeof record);
  return 0;
}

void lcd_model::settle() {
  lcd_change change = panel_.take();
  if (!change.panel.empty()) transcript(transcript_format::kind::panel, change.panel);
  if (change.screen.empty()) return;
  transcript(transcript_format::kind::screen, change.screen);
  write_png();
  write_dots();
}

void lcd_model::write_png() {
  if (png_path_.empty() || png_failed_) return;
  std::string error;
  if (!lcd_write_png(panel_.shown(), png_path_, png_scale, &error)) {
    fprintf(stderr, "ruk-sim: %s: %s\n", row_of(setting::lcd_png).name, error.c_str());
    png_failed_ = true;
  }
}

void lcd_model::set_dots_path(const std::string& path) {
  if (dots_ != nullptr) fclose(dots_);
  dots_ = nullptr;
  dots_path_ = path;
  dots_failed_ = false;
}

void lcd_model::write_dots() {
  if (dots_path_.empty() || dots_failed_) return;
  // Opened at the first screen: a run that draws nothing makes no file.
  if (dots_ == nullptr) dots_ = fopen(dots_path_.c_str(), "a");
  std::string text = lcd_dots_frame(panel_.shown());
  if (dots_ == nullptr || fputs(text.c_str(), dots_) == EOF || fflush(dots_) != 0) {
    fprintf(stderr, "ruk simulator: %s: cannot write %s: %s\n", row_of(setting::lcd_dots).name,
            dots_path_.c_str(), strerror(errno));
    dots_failed_ = true;
  }
}

void lcd_model::reset() {
  panel_.reset();
  set_faults(lcd_faults());
  png_failed_ = false;
}

}  // namespace sim
