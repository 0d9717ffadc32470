// Where the options sheet goes over its owner window. Platform-free: plain
// screen coordinates in pixels.
#pragma once

struct SheetPoint { int x, y; };

// Top-left corner of a sheet of sheetWidth x sheetHeight centred over an
// owner whose window rectangle starts at (ownerLeft, ownerTop). The left edge
// is nudged right by 4 and then brought down to a multiple of 8.
SheetPoint centreSheetOnOwner(int ownerLeft, int ownerTop, int ownerWidth, int ownerHeight,
                              int sheetWidth, int sheetHeight);

// The multiple of 8 at or below value, for negative values too.
int alignDownTo8(int value);
