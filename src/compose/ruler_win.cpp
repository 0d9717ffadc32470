// Ruler and margin line, drawn on the compose control's client area.
#include "compose/compose.h"

// Not built yet: the drawing comes with its own change.
void measureEditorFont(HWND) {}
void createRulerFont(HWND) {}
void drawMarginLine(HWND, HDC) {}
void drawRuler(HWND, HDC) {}
void redrawMarginLine(HWND) {}
void redrawRuler(HWND) {}
void adjustFormatRect(RECT*) {}
void trackEditorFont(HWND, const CHARFORMATA*) {}
