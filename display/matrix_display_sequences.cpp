// MatrixDisplay: picture sequences, one frame per timer expiry.
#include <string.h>

#include "display/matrix_display.h"

MatrixDisplay::Sequence::Sequence(int count, const int ids[], int loop_flag, int interval_ms,
                                  int at_x, int at_y)
    : next(nullptr),
      frame_count(count > 0 && ids != nullptr ? count : 0),
      loop(loop_flag),
      frame_ids(nullptr),
      position(0),
      interval(interval_ms > 0 ? interval_ms : 0),
      x(at_x),
      y(at_y),
      largest_width(0),
      largest_height(0),
      timer() {
  if (frame_count > 0) {
    frame_ids = new int[frame_count];
    memcpy(frame_ids, ids, static_cast<size_t>(frame_count) * sizeof(int));
  }
}

MatrixDisplay::Sequence::~Sequence() {
  delete[] frame_ids;
}

void MatrixDisplay::StartSequence(int x, int y, int interval, int count, const int ids[],
                                  int loop) {
  for (Sequence* s = sequences; s != nullptr; s = s->next) {
    if (s->x == x && s->y == y) return;
  }
  auto* sequence = new Sequence(count, ids, loop, interval, x, y);
  sequence->next = sequences;
  sequences = sequence;
  OnAnimationTimeout(this, sequence);
}

void MatrixDisplay::OnAnimationTimeout(void* display_arg, void* sequence_arg) {
  auto* display = static_cast<MatrixDisplay*>(display_arg);
  auto* s = static_cast<Sequence*>(sequence_arg);
  if (s->loop && s->position >= s->frame_count) s->position = 0;
  if (s->position >= s->frame_count) return;
  const RasterImage& picture = display->GetStoredPicture(s->frame_ids[s->position]);
  // The rectangle StopSequences blanks: every frame actually drawn lies
  // inside it, whatever the order of wide and tall frames.
  if (display->Fits(s->x, s->y, picture.Width(), picture.Height())) {
    if (picture.Width() > s->largest_width) s->largest_width = picture.Width();
    if (picture.Height() > s->largest_height) s->largest_height = picture.Height();
  }
  display->Insert(s->x, s->y, picture, false);
  display->Flush(false);
  ++s->position;
  s->timer.callback(s->interval, OnAnimationTimeout, display, s);
}

void MatrixDisplay::StopSequences() {
  while (sequences != nullptr) {
    Sequence* s = sequences;
    sequences = s->next;
    if (s->largest_width > 0 && s->largest_height > 0) {
      RasterImage::Clear(s->x, s->y, s->largest_width, s->largest_height);
    }
    delete s;
  }
  Flush(false);
}
