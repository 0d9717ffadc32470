// The plug-in's settings record: every key of Huescope.ini, the host editor and
// viewer settings read from Mailbox.ini, and what is derived from them.
// Platform-free: colours are 0x00BBGGRR in a uint32_t.
#pragma once
#include <climits>
#include <cstddef>
#include <cstdint>

const size_t FACE_NAME_SIZE = 33;   // 32 bytes of text and a terminator
const int FONT_PRESET_COUNT = 2;
const uint32_t DEFAULT_QUOTE_COLOR = 0x808080;
const int DEFAULT_TAB_WIDTH = 8;
const int DEFAULT_RECOLOR_THRESHOLD = 4000;
// ">,|,＞,｜,》,≫" in Shift_JIS.
const char DEFAULT_QUOTE_MARKERS[] = ">,|,\x81\x84,\x81\x62,\x81\x74,\x81\xE2";
const int DEFAULT_QUOTE_LIST_LENGTH = sizeof DEFAULT_QUOTE_MARKERS - 1;   // 15
// A marker list longer than this is cut: it keeps the working buffers' size
// arithmetic (length x 4 + 11) far from overflow and the allocations modest.
const int MAX_QUOTE_LIST_LENGTH = 65535;

struct FontPreset {
    char title[FACE_NAME_SIZE];
    char faceName[FACE_NAME_SIZE];
    int size;            // tenths of a point
    uint8_t charSet;
};

struct PluginSettings {
    // Mailbox.ini [Editor]; followed at run time by the compose hook.
    uint32_t editorTextColor;
    uint32_t editorBackColor;
    char editorFontFace[FACE_NAME_SIZE];
    int editorFontHeight;       // twips
    int editorFontEffects;      // bit 0 bold, bit 1 italic
    // Mailbox.ini [Viewer]
    char viewerFontFace[FACE_NAME_SIZE];
    int viewerFontSize;         // tenths of a point
    uint8_t viewerCharSet;
    // [View]
    int viewQuoteColoring;
    int viewHeaderColoring;
    uint32_t quoteColors[5];
    uint32_t headerColor;
    int quoteBold;
    int quoteItalic;
    int colorByLevel;
    int autoGradient;
    int levelRepeat;            // depths past 5 cycle through levels 1-5
    int signatureChange;        // signature shown in signatureColor
    uint32_t signatureColor;
    // [Send]
    int sendQuoteColoring;
    int marginColumn;
    uint32_t marginColor;
    int showRuler;
    uint32_t rulerColor;
    uint32_t sendQuoteColor;
    int tabKeyToSpaces;
    int tabCodeToSpaces;
    int suppressFlicker;
    int recolorThreshold;
    int colorOnPaste;
    int sendColorByLevel;       // compose quotes take the viewer's level colours
    int liveChange;             // compose colours follow every edit, outside the undo history
    // [Common]
    int ignoreLeadingSpaces;
    int ignoreColumn;
    int quoteListLength;        // used while loading only; the list is quote matching's
    int flatToolbar;
    uint8_t tabWidth;           // as stored; tab expansion takes 0 for the default
    // [Font]
    int fontPresetCount;        // kept within 0..FONT_PRESET_COUNT
    FontPreset fontPresets[FONT_PRESET_COUNT];
    // Derived
    uint32_t levelColors[5];
};

extern PluginSettings settings;

// Reading Mailbox.ini and Huescope.ini, and each options page's save of its
// own keys (settings_win.cpp).
void loadSettings();
void releaseSettingsBuffers();
void saveViewSettings();
void saveSendSettings(const char* marginLineText, const char* recolorCountText);
void saveCommonSettings(const char* markerText, int markerLength, const char* ignoreColumnText);
void saveOtherSettings();
int buildIniPath(const char* fileName, char* path, size_t size);

// levelColors from quoteColors: a copy, or with autoGradient a gradient in
// fifths from quoteColors[0] to quoteColors[4].
void computeLevelColorsFrom(const uint32_t quoteColors[5], int autoGradient, uint32_t levelColors[5]);
void computeLevelColors();

// Colours come from INI files as any int, but a colour for a control or for
// GDI holds red, green and blue only: a set top byte would make GDI take the
// value for a palette entry. The top byte is dropped wherever a colour leaves
// the plug-in, as the viewer's colour table drops it.
inline uint32_t rgbOnly(uint32_t color)
{
    return color & 0x00FFFFFF;
}

// Font sizes are stored in tenths of a point and used in twips, twice as
// many; a hostile size is held at the ends of int rather than overflowing.
inline int twipsFromTenths(int tenths)
{
    const long long twips = static_cast<long long>(tenths) * 2;
    if (twips > INT_MAX)
        return INT_MAX;
    return twips < INT_MIN ? INT_MIN : static_cast<int>(twips);
}
