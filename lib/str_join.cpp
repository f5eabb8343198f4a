#include "lib/str_join.h"

#include <string.h>

#include "lib/out_of_memory.h"

namespace {

// Whether the non-empty pieces form one window of one buffer.
bool back_to_back(const str* const* pieces, int count, const str** first) {
  const str* last = nullptr;
  *first = nullptr;
  for (int i = 0; i < count; ++i) {
    const str* piece = pieces[i];
    if (piece->length() == 0) continue;
    if (last != nullptr && (piece->ref != last->ref || piece->start != last->end)) return false;
    if (*first == nullptr) *first = piece;
    last = piece;
  }
  return true;
}

}  // namespace

str join_texts(const str* const* pieces, int count) {
  const str* first = nullptr;
  if (back_to_back(pieces, count, &first)) {
    if (first == nullptr) return str::empty;
    str view(*first);
    for (int i = 0; i < count; ++i) {
      if (pieces[i]->length() > 0) view.end = pieces[i]->end;
    }
    return view;
  }
  long long total = 0;
  for (int i = 0; i < count; ++i) total += pieces[i]->length();
  str result;
  result.ref = str::get_cstring(checked_size(total));
  for (int i = 0; i < count; ++i) {
    const str& piece = *pieces[i];
    if (piece.length() == 0) continue;
    memcpy(result.ref->bytes + result.end, piece.ref->bytes + piece.start,
           static_cast<size_t>(piece.length()));
    result.end += piece.length();
  }
  return result;
}
