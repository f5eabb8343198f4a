#include "sim/seam/settle.h"

#include <stdlib.h>

#include <vector>

namespace sim {

namespace {

std::vector<void (*)()>& hooks() {
  static auto* list = new std::vector<void (*)()>;  // still there at exit
  return *list;
}

}  // namespace

void settle() {
  for (auto hook : hooks()) hook();
}

void settle_for(const std::shared_ptr<file>& f) {
  if (f == nullptr || f->settles_display()) settle();
}

void on_settle(void (*hook)()) {
  if (hooks().empty()) atexit(settle);
  hooks().push_back(hook);
}

}  // namespace sim
