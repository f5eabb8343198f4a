// MatrixDisplay: the display as the program sees it, two text rows (0 and 1)
// of 24 fixed cells on the 132 x 17 LCD. It is itself the off-screen display
// image: Print and Clear change memory only; Flush sends the changed blocks
// to the panel driver (TLD).
//
// Besides text it keeps stored pictures, picture sequences stepped by timers
// (so they run inside the event loop's timeout::next), pictures bound to
// characters, a contrast setting and LED commands.
//
// Not copyable: sequences' timers point back at the display. The object must
// outlive every sequence it runs; its destructor stops them. It does not
// close the panel driver's descriptor (TLD::close_device does).
#pragma once

#include "display/raster_image.h"
#include "lib/str.h"
#include "lib/timeout.h"

class MatrixDisplay : public RasterImage {
 public:
  struct StoredPicture {
    StoredPicture(int id, int width, int height, const str& bitmap);
    StoredPicture* next;
    StoredPicture* previous;
    int id;
    RasterImage image;
  };

  // A picture sequence: frame_ids shown one after the other at (x, y), one
  // every interval ms, from the start again when loop is set. A finished
  // sequence stays listed (and keeps its place taken) until StopSequences.
  struct Sequence {
    Sequence(int count, const int ids[], int loop, int interval, int x, int y);
    ~Sequence();
    Sequence(const Sequence&) = delete;
    Sequence& operator=(const Sequence&) = delete;
    Sequence* next;
    int frame_count;
    int loop;
    int* frame_ids;
    int position;  // index of the next frame
    int interval;
    int x;
    int y;
    int largest_width;  // the rectangle the frames drawn so far cover
    int largest_height;
    timeout timer;
  };

  struct CharPicture {
    CharPicture* next;
    signed char character;
    int picture_id;
    int dx;  // pen advance after drawing
    int dy;
  };

  MatrixDisplay();
  ~MatrixDisplay();
  MatrixDisplay(const MatrixDisplay&) = delete;
  MatrixDisplay& operator=(const MatrixDisplay&) = delete;

  // Opens the panel driver on path, sets up and clears the panel and builds
  // the glyphs. Text printed before draws nothing. Call once.
  void SetDevice(const char* path);
  // Draws text at cell `column` of text row `row` (0 or 1; other rows draw
  // nothing). Codes 14 and 15 switch inverse video on and off (it persists
  // between calls); they and codes 11 and 12 take no cell; every other code
  // draws its glyph. Characters beyond cell 23 are dropped, there is no wrap.
  void Print(int column, int row, const str& text);
  // Blanks the image; everything is sent at the next Flush.
  void Clear();
  // Sends the changed blocks to the panel. The flag has no effect.
  void Flush(bool);
  using RasterImage::Clear;
  using RasterImage::Flush;

  // Stores a picture from a bitmap (RasterImage encoding) under id > 0,
  // replacing one stored under that id; ids below 1 are refused, since 0
  // and below name all pictures at once for DeleteStoredPicture.
  void StorePicture(int id, int width, int height, const str& bitmap);
  // id > 0: removes that picture (if stored); id <= 0: removes all.
  void DeleteStoredPicture(int id);
  // The picture stored under id, or RasterImage::Empty.
  const RasterImage& GetStoredPicture(int id) const;
  // Draws a stored picture at (x, y); no flush.
  void Show(int x, int y, int id);
  // Draws a bitmap at (x, y) and flushes.
  void DrawBitmap(int x, int y, int width, int height, const str& bitmap);

  // Starts a sequence of `count` stored pictures at (x, y), showing the first
  // at once; nothing if a sequence at (x, y) exists. ids is copied.
  void StartSequence(int x, int y, int interval, int count, const int ids[], int loop);
  // Timer function: shows the next frame of `sequence` on `display`.
  static void OnAnimationTimeout(void* display, void* sequence);
  // Stops all sequences, blanks what they drew, flushes.
  void StopSequences();

  // Binds a stored picture to a character, drawn by PutCharPicture at the
  // pen, which then moves by (dx, dy).
  void SetCharPicture(char character, int id, int dx, int dy);
  void ClearCharPictures();
  void PutCharPicture(char character);

  // Steps the panel's contrast until contrast_level reaches 2 x level.
  void SetContrast(int level);
  // Opens the LED device write-only for SetLed, after closing an earlier one
  // (whose blinking stops).
  void SetLedDevice(const char* path);
  // LED 1..6 (led as decimal text): mode "on", "off", or "blink" with
  // half-periods of period / 2 ms (250 when period is 0). Without an LED
  // device, or for other LEDs or modes, nothing happens.
  void SetLed(const str& led, const str& mode, int period);
  // Timer function: one blink step of LED index + 1 on the LED device.
  static void OnBlinkTimeout(void* descriptor, void* index);

  static constexpr int leds = 6;
  static timeout blink_timers[leds];
  static int blink_half_period[leds];
  static int blink_phase[leds];

  int display_fd;  // a device taking panel frames by write; never opened here
  int led_fd;
  int contrast_level;
  int inverse;
  StoredPicture* pictures;  // newest first
  int pen_x;
  int pen_y;
  CharPicture* char_pictures;
  Sequence* sequences;  // newest first
  RasterImage glyphs[256];

 private:
  void BuildGlyphs();
  // Closes the LED device, if open, and stops the blinking on it.
  void CloseLedDevice();
};

// The program's one display, defined by the application.
extern MatrixDisplay theDisplay;
