// The keys of Huescope.ini in one table: how each is read, its default and
// limits, the settings field it fills, which save writes it and the control
// of the options page that shows it.
#pragma once
#include <stddef.h>
#include <stdint.h>

// What a key holds, and so how it is read and written.
enum KeyKind {
    FLAG,            // 0 or 1; any non-zero number reads as 1
    NUMBER,          // an int, held within [low, high] when low < high
    COLOR,           // 0x00BBGGRR, stored as a signed decimal
    SMALL_NUMBER,    // the low byte of the number
    TEXT,            // a terminated string of at most size bytes
    MARKER_LENGTH,   // the marker list's byte length, within clampListLength
    MARKER_TEXT,     // the marker list, cut to that length
};

// Which save writes a key. The keys no page shows ([Common] Tab, [Font],
// [View] LevelRepeat, SignatureChange and SignatureColor, [Send] LevelColor
// and LiveChange) are edited by hand and only read, so an edit made while
// the host runs is not overwritten by the next apply.
enum KeyGroup { VIEW_KEYS, SEND_KEYS, COMMON_KEYS, OTHER_KEYS, HAND_EDITED_KEYS };

struct IniKey {
    KeyGroup group;
    const char* section;
    const char* key;
    KeyKind kind;
    int fallback;
    const uint32_t* fallbackColor;   // when set, the default is this colour, read before
    int low, high;
    void* field;
    size_t size;                     // TEXT only
    int control;                     // on the group's page; 0 for none
};

extern const IniKey HUESCOPE_KEYS[];
extern const size_t HUESCOPE_KEY_COUNT;
