// MatrixDisplay: stored pictures and pictures bound to characters.
#include "display/matrix_display.h"

MatrixDisplay::StoredPicture::StoredPicture(int picture_id, int width, int height,
                                            const str& bitmap)
    : next(nullptr), previous(nullptr), id(picture_id), image(width, height, bitmap) {}

void MatrixDisplay::StorePicture(int id, int width, int height, const str& bitmap) {
  if (id <= 0) return;
  DeleteStoredPicture(id);
  auto* picture = new StoredPicture(id, width, height, bitmap);
  picture->next = pictures;
  if (pictures != nullptr) pictures->previous = picture;
  pictures = picture;
}

void MatrixDisplay::DeleteStoredPicture(int id) {
  StoredPicture* p = pictures;
  while (p != nullptr) {
    StoredPicture* next = p->next;
    if (id <= 0 || p->id == id) {
      if (p->previous != nullptr) p->previous->next = p->next;
      if (p->next != nullptr) p->next->previous = p->previous;
      if (pictures == p) pictures = p->next;
      delete p;
      if (id > 0) return;
    }
    p = next;
  }
}

const RasterImage& MatrixDisplay::GetStoredPicture(int id) const {
  for (StoredPicture* p = pictures; p != nullptr; p = p->next) {
    if (p->id == id) return p->image;
  }
  return RasterImage::Empty;
}

void MatrixDisplay::Show(int x, int y, int id) {
  Insert(x, y, GetStoredPicture(id), false);
}

void MatrixDisplay::DrawBitmap(int x, int y, int width, int height, const str& bitmap) {
  Insert(x, y, width, height, bitmap);
  Flush(false);
}

void MatrixDisplay::SetCharPicture(char character, int id, int dx, int dy) {
  auto ch = static_cast<signed char>(character);
  for (CharPicture* c = char_pictures; c != nullptr; c = c->next) {
    if (c->character == ch) {
      c->picture_id = id;
      c->dx = dx;
      c->dy = dy;
      return;
    }
  }
  char_pictures = new CharPicture{char_pictures, ch, id, dx, dy};
}

void MatrixDisplay::ClearCharPictures() {
  while (char_pictures != nullptr) {
    CharPicture* c = char_pictures;
    char_pictures = c->next;
    delete c;
  }
}

void MatrixDisplay::PutCharPicture(char character) {
  auto ch = static_cast<signed char>(character);
  for (CharPicture* c = char_pictures; c != nullptr; c = c->next) {
    if (c->character != ch) continue;
    Insert(pen_x, pen_y, GetStoredPicture(c->picture_id), false);
    pen_x += c->dx;
    pen_y += c->dy;
    return;
  }
}
