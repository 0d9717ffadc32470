// Reading the settings from Mailbox.ini and Huescope.ini at start-up, and
// writing each options group back, through the platform's profile functions.
#include <stdio.h>
#include <string.h>
#include "shell/plugin_state.h"
#include "settings/settings.h"
#include "shell/resource.h"
#include "settings/settings_keys.h"
#include "quote/quote_depth.h"

PluginSettings settings;

static const char MAILBOX_INI[] = "Mailbox.ini";
static const char HUESCOPE_INI[] = "Huescope.ini";

// The host's mailbox directory with fileName appended. A directory that
// leaves no room for the name is refused: the caller then skips that file.
int buildIniPath(const char* fileName, char* path, size_t size)
{
    path[0] = '\0';
    const char* mailbox = state.host.getMailbox ? state.host.getMailbox() : NULL;
    if (!mailbox)
        return 0;
    size_t dirLength = strnlen(mailbox, size);
    size_t nameLength = strlen(fileName);
    if (dirLength + nameLength + 1 > size)
        return 0;
    memcpy(path, mailbox, dirLength);
    memcpy(path + dirLength, fileName, nameLength + 1);
    return 1;
}

// Reads with an unusable path give the default, as a missing file would.
static int readInt(const char* path, const char* section, const char* key, int fallback)
{
    if (!path[0])
        return fallback;
    return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, path));
}

static void readText(const char* path, const char* section, const char* key, const char* fallback,
                     char* buffer, size_t size)
{
    if (size == 0)
        return;
    if (!path[0]) {
        lstrcpynA(buffer, fallback, static_cast<int>(size));
        return;
    }
    GetPrivateProfileStringA(section, key, fallback, buffer, static_cast<DWORD>(size), path);
    buffer[size - 1] = '\0';
}

static int readBool(const char* path, const char* section, const char* key, int fallback)
{
    return readInt(path, section, key, fallback) != 0;
}

static int clampListLength(int length)
{
    if (length < 0)
        return 0;
    return length > MAX_QUOTE_LIST_LENGTH ? MAX_QUOTE_LIST_LENGTH : length;
}

void releaseSettingsBuffers()
{
    releaseQuoteMarkers(quoteMarkers);
}

static void readEditorSettings(const char* path)
{
    settings.editorTextColor = readInt(path, "Editor", "TextColor", 0);
    settings.editorBackColor = readInt(path, "Editor", "BkColor", 0xFFFFFF);
    readText(path, "Editor", "FontFace", "", settings.editorFontFace, sizeof settings.editorFontFace);
    settings.editorFontHeight = twipsFromTenths(readInt(path, "Editor", "FontSize", 100));
    settings.editorFontEffects = 0;
    if (readInt(path, "Editor", "Italic", 0))
        settings.editorFontEffects |= CFE_ITALIC;
    if (readInt(path, "Editor", "Bold", 0))
        settings.editorFontEffects |= CFE_BOLD;
    readText(path, "Viewer", "FontFace", "", settings.viewerFontFace, sizeof settings.viewerFontFace);
    settings.viewerFontSize = readInt(path, "Viewer", "FontSize", 0);
    settings.viewerCharSet = static_cast<uint8_t>(readInt(path, "Viewer", "CharSet", 0));
}

// Every key of Huescope.ini, each group in the order its save writes it.
// Each later quote colour defaults to the one before: absent keys repeat the
// last colour present. Until the Send page is applied, the compose quote
// colour follows the viewer's first quote colour.
const IniKey HUESCOPE_KEYS[] = {
    {VIEW_KEYS, "View", "Change", FLAG, 1, NULL, 0, 0, &settings.viewQuoteColoring, 0, IDC_VIEW_QUOTE_CHANGE},
    {VIEW_KEYS, "View", "HeaderChange", FLAG, 1, NULL, 0, 0, &settings.viewHeaderColoring, 0, IDC_VIEW_HEADER_CHANGE},
    {VIEW_KEYS, "View", "Italic", FLAG, 0, NULL, 0, 0, &settings.quoteItalic, 0, IDC_VIEW_ITALIC},
    {VIEW_KEYS, "View", "Bold", FLAG, 0, NULL, 0, 0, &settings.quoteBold, 0, IDC_VIEW_BOLD},
    {VIEW_KEYS, "View", "LevelColor", FLAG, 0, NULL, 0, 0, &settings.colorByLevel, 0, IDC_VIEW_LEVEL_COLOR},
    {VIEW_KEYS, "View", "AutoColor", FLAG, 0, NULL, 0, 0, &settings.autoGradient, 0, IDC_VIEW_AUTO_COLOR},
    {VIEW_KEYS, "View", "Color", COLOR, DEFAULT_QUOTE_COLOR, NULL, 0, 0, &settings.quoteColors[0], 0, IDC_VIEW_QUOTE_COLOR1},
    {VIEW_KEYS, "View", "Color2", COLOR, 0, &settings.quoteColors[0], 0, 0, &settings.quoteColors[1], 0, IDC_VIEW_QUOTE_COLOR2},
    {VIEW_KEYS, "View", "Color3", COLOR, 0, &settings.quoteColors[1], 0, 0, &settings.quoteColors[2], 0, IDC_VIEW_QUOTE_COLOR3},
    {VIEW_KEYS, "View", "Color4", COLOR, 0, &settings.quoteColors[2], 0, 0, &settings.quoteColors[3], 0, IDC_VIEW_QUOTE_COLOR4},
    {VIEW_KEYS, "View", "Color5", COLOR, 0, &settings.quoteColors[3], 0, 0, &settings.quoteColors[4], 0, IDC_VIEW_QUOTE_COLOR5},
    {VIEW_KEYS, "View", "HeaderColor", COLOR, DEFAULT_QUOTE_COLOR, NULL, 0, 0, &settings.headerColor, 0, IDC_VIEW_HEADER_COLOR},
    {HAND_EDITED_KEYS, "View", "LevelRepeat", FLAG, 0, NULL, 0, 0, &settings.levelRepeat, 0, 0},
    {HAND_EDITED_KEYS, "View", "SignatureChange", FLAG, 0, NULL, 0, 0, &settings.signatureChange, 0, 0},
    {HAND_EDITED_KEYS, "View", "SignatureColor", COLOR, DEFAULT_QUOTE_COLOR, NULL, 0, 0, &settings.signatureColor, 0, 0},
    {SEND_KEYS, "Send", "Change", FLAG, 1, NULL, 0, 0, &settings.sendQuoteColoring, 0, IDC_SEND_QUOTE_CHANGE},
    {SEND_KEYS, "Send", "Ruler", FLAG, 0, NULL, 0, 0, &settings.showRuler, 0, IDC_SEND_RULER},
    {SEND_KEYS, "Send", "TabKey2Space", FLAG, 0, NULL, 0, 0, &settings.tabKeyToSpaces, 0, IDC_SEND_TAB_KEY},
    {SEND_KEYS, "Send", "TabCode2Space", FLAG, 0, NULL, 0, 0, &settings.tabCodeToSpaces, 0, IDC_SEND_TAB_CODE},
    {SEND_KEYS, "Send", "Flicker", FLAG, 0, NULL, 0, 0, &settings.suppressFlicker, 0, IDC_SEND_FLICKER},
    {SEND_KEYS, "Send", "PasteChange", FLAG, 1, NULL, 0, 0, &settings.colorOnPaste, 0, IDC_SEND_PASTE_CHANGE},
    {SEND_KEYS, "Send", "MarginColor", COLOR, DEFAULT_QUOTE_COLOR, NULL, 0, 0, &settings.marginColor, 0, IDC_SEND_MARGIN_COLOR},
    {SEND_KEYS, "Send", "RulerColor", COLOR, DEFAULT_QUOTE_COLOR, NULL, 0, 0, &settings.rulerColor, 0, IDC_SEND_RULER_COLOR},
    {SEND_KEYS, "Send", "Color", COLOR, 0, &settings.quoteColors[0], 0, 0, &settings.sendQuoteColor, 0, IDC_SEND_QUOTE_COLOR},
    {SEND_KEYS, "Send", "MarginLine", NUMBER, 0, NULL, 0, 0, &settings.marginColumn, 0, IDC_SEND_MARGIN_LINE},
    {SEND_KEYS, "Send", "RecolorCount", NUMBER, DEFAULT_RECOLOR_THRESHOLD, NULL, 0, 0, &settings.recolorThreshold, 0, IDC_SEND_RECOLOR_COUNT},
    {HAND_EDITED_KEYS, "Send", "LevelColor", FLAG, 0, NULL, 0, 0, &settings.sendColorByLevel, 0, 0},
    {HAND_EDITED_KEYS, "Send", "LiveChange", FLAG, 0, NULL, 0, 0, &settings.liveChange, 0, 0},
    {COMMON_KEYS, "Common", "IgnoreSpace", FLAG, 1, NULL, 0, 0, &settings.ignoreLeadingSpaces, 0, IDC_COMMON_IGNORE_SPACE},
    {COMMON_KEYS, "Common", "Quaote", MARKER_LENGTH, 0, NULL, 0, 0, &settings.quoteListLength, 0, 0},
    {COMMON_KEYS, "Common", "QuaoteStr", MARKER_TEXT, 0, NULL, 0, 0, NULL, 0, IDC_COMMON_MARKERS},
    {COMMON_KEYS, "Common", "IgnoreColumn", NUMBER, 0, NULL, 0, 0, &settings.ignoreColumn, 0, IDC_COMMON_IGNORE_COLUMN},
    {OTHER_KEYS, "Common", "FlatToolBar", FLAG, 0, NULL, 0, 0, &settings.flatToolbar, 0, IDC_OTHER_FLAT_TOOLBAR},
    // The low byte; tab expansion takes a 0 for the default width.
    {HAND_EDITED_KEYS, "Common", "Tab", SMALL_NUMBER, DEFAULT_TAB_WIDTH, NULL, 0, 0, &settings.tabWidth, 0, 0},
    {HAND_EDITED_KEYS, "Font", "Num", NUMBER, 0, NULL, 0, FONT_PRESET_COUNT, &settings.fontPresetCount, 0, 0},
    {HAND_EDITED_KEYS, "Font", "FontTitle1", TEXT, 0, NULL, 0, 0, settings.fontPresets[0].title, FACE_NAME_SIZE, 0},
    {HAND_EDITED_KEYS, "Font", "FontName1", TEXT, 0, NULL, 0, 0, settings.fontPresets[0].faceName, FACE_NAME_SIZE, 0},
    {HAND_EDITED_KEYS, "Font", "FontSize1", NUMBER, 0, NULL, 0, 0, &settings.fontPresets[0].size, 0, 0},
    {HAND_EDITED_KEYS, "Font", "CharSet1", SMALL_NUMBER, 0, NULL, 0, 0, &settings.fontPresets[0].charSet, 0, 0},
    {HAND_EDITED_KEYS, "Font", "FontTitle2", TEXT, 0, NULL, 0, 0, settings.fontPresets[1].title, FACE_NAME_SIZE, 0},
    {HAND_EDITED_KEYS, "Font", "FontName2", TEXT, 0, NULL, 0, 0, settings.fontPresets[1].faceName, FACE_NAME_SIZE, 0},
    {HAND_EDITED_KEYS, "Font", "FontSize2", NUMBER, 0, NULL, 0, 0, &settings.fontPresets[1].size, 0, 0},
    {HAND_EDITED_KEYS, "Font", "CharSet2", SMALL_NUMBER, 0, NULL, 0, 0, &settings.fontPresets[1].charSet, 0, 0},
};
static_assert(FONT_PRESET_COUNT == 2, "one group of [Font] keys per preset");
const size_t HUESCOPE_KEY_COUNT = sizeof HUESCOPE_KEYS / sizeof HUESCOPE_KEYS[0];

static int withinLimits(const IniKey& k, int value)
{
    if (k.low >= k.high)
        return value;
    return value < k.low ? k.low : (value > k.high ? k.high : value);
}

// A stored length of 0 stands for the default list's; a stored list longer
// than the length is cut to it. Without the list's buffers the list stays
// null, which matches nothing. The list is applied once every key is read.
static void readMarkerText(const char* path, const IniKey& k)
{
    const int length = settings.quoteListLength;
    if (char* list = reserveQuoteList(quoteMarkers, static_cast<size_t>(length)))
        readText(path, k.section, k.key, DEFAULT_QUOTE_MARKERS, list, length + 1);
}

static void readKey(const char* path, const IniKey& k)
{
    const int fallback = k.fallbackColor ? static_cast<int>(*k.fallbackColor) : k.fallback;
    switch (k.kind) {
    case FLAG: *static_cast<int*>(k.field) = readBool(path, k.section, k.key, fallback); break;
    case NUMBER: *static_cast<int*>(k.field) = withinLimits(k, readInt(path, k.section, k.key, fallback)); break;
    case COLOR: *static_cast<uint32_t*>(k.field) = readInt(path, k.section, k.key, fallback); break;
    case SMALL_NUMBER:
        *static_cast<uint8_t*>(k.field) = static_cast<uint8_t>(readInt(path, k.section, k.key, fallback));
        break;
    case TEXT: readText(path, k.section, k.key, "", static_cast<char*>(k.field), k.size); break;
    case MARKER_LENGTH: {
        const int length = clampListLength(readInt(path, k.section, k.key, fallback));
        *static_cast<int*>(k.field) = length == 0 ? DEFAULT_QUOTE_LIST_LENGTH : length;
        break;
    }
    case MARKER_TEXT: readMarkerText(path, k); break;
    }
}

void computeLevelColors()
{
    computeLevelColorsFrom(settings.quoteColors, settings.autoGradient, settings.levelColors);
}

void loadSettings()
{
    char path[PATH_BUFFER_SIZE];
    buildIniPath(MAILBOX_INI, path, sizeof path);
    readEditorSettings(path);
    buildIniPath(HUESCOPE_INI, path, sizeof path);
    for (const IniKey& k : HUESCOPE_KEYS)
        readKey(path, k);
    computeLevelColors();
    prepareQuoteMarkers(quoteMarkers, settings.ignoreLeadingSpaces, settings.ignoreColumn);
}

static void writeText(const char* path, const char* section, const char* key, const char* value)
{
    if (path[0])
        WritePrivateProfileStringA(section, key, value, path);
}

static void writeBool(const char* path, const char* section, const char* key, int value)
{
    writeText(path, section, key, value ? "1" : "0");
}

static void writeNumber(const char* path, const char* section, const char* key, long value)
{
    char text[16];
    snprintf(text, sizeof text, "%ld", value);
    writeText(path, section, key, text);
}

static void writeColor(const char* path, const char* section, const char* key, uint32_t color)
{
    // Stored as a signed decimal, as the host stores its colours.
    writeNumber(path, section, key, static_cast<int32_t>(color));
}

// A number field of a page, stored exactly as typed rather than re-formatted.
struct TypedNumber {
    const void* field;
    const char* text;
};

static void writeKey(const char* path, const IniKey& k, const TypedNumber* typed, size_t typedCount)
{
    for (size_t i = 0; i < typedCount; ++i) {
        if (typed[i].field == k.field) {
            writeText(path, k.section, k.key, typed[i].text ? typed[i].text : "");
            return;
        }
    }
    switch (k.kind) {
    case FLAG: writeBool(path, k.section, k.key, *static_cast<const int*>(k.field)); break;
    case COLOR: writeColor(path, k.section, k.key, *static_cast<const uint32_t*>(k.field)); break;
    case MARKER_TEXT:
        writeText(path, k.section, k.key, quoteMarkers.list ? quoteMarkers.list : "");
        break;
    case NUMBER:
    case MARKER_LENGTH: writeNumber(path, k.section, k.key, *static_cast<const int*>(k.field)); break;
    default: break;   // the other kinds are edited by hand only
    }
}

// Each save writes the keys of its page and no other, in the table's order.
static void saveGroup(KeyGroup group, const TypedNumber* typed, size_t typedCount)
{
    char path[PATH_BUFFER_SIZE];
    buildIniPath(HUESCOPE_INI, path, sizeof path);
    for (const IniKey& k : HUESCOPE_KEYS)
        if (k.group == group)
            writeKey(path, k, typed, typedCount);
}

void saveViewSettings()
{
    saveGroup(VIEW_KEYS, NULL, 0);
    computeLevelColors();
}

void saveSendSettings(const char* marginLineText, const char* recolorCountText)
{
    const TypedNumber typed[] = {{&settings.marginColumn, marginLineText},
                                 {&settings.recolorThreshold, recolorCountText}};
    saveGroup(SEND_KEYS, typed, 2);
}

// The list is taken at the length given, clamped as a stored one would be.
void saveCommonSettings(const char* markerText, int markerLength, const char* ignoreColumnText)
{
    int length = clampListLength(markerLength);
    setQuoteMarkers(quoteMarkers, markerText, static_cast<size_t>(length), settings.ignoreLeadingSpaces,
                    settings.ignoreColumn);
    char lengthText[16];
    snprintf(lengthText, sizeof lengthText, "%d", length);
    const TypedNumber typed[] = {{&settings.quoteListLength, lengthText}, {&settings.ignoreColumn, ignoreColumnText}};
    saveGroup(COMMON_KEYS, typed, 2);
}

void saveOtherSettings()
{
    saveGroup(OTHER_KEYS, NULL, 0);
}
