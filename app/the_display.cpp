// The program's one display, built before every other object of the
// application and destroyed after them.
#include "display/matrix_display.h"
#include "lib/init_order.h"

MatrixDisplay theDisplay RUK_INIT(RUK_INIT_APP_DISPLAY);
