#include "settings/sheet/sheet_layout.h"

// Clearing the three low bits of a two's-complement value rounds towards
// minus infinity; done on the unsigned pattern so that it is well defined.
int alignDownTo8(int value)
{
    unsigned bits = static_cast<unsigned>(value) & ~7u;
    return static_cast<int>(bits);
}

// The halvings truncate towards zero, as C++ division does: an owner
// narrower than the sheet gives a negative offset that is rounded up, not down.
SheetPoint centreSheetOnOwner(int ownerLeft, int ownerTop, int ownerWidth, int ownerHeight,
                              int sheetWidth, int sheetHeight)
{
    SheetPoint at;
    at.x = alignDownTo8((ownerWidth - sheetWidth) / 2 + ownerLeft + 4);
    at.y = (ownerHeight - sheetHeight) / 2 + ownerTop;
    return at;
}
