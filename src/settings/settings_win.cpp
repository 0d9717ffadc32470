// Reading the settings from Mailbox.ini and Huescope.ini at start-up, and
// writing each options group back, through the platform's profile functions.
#include <stdio.h>
#include <string.h>
#include "shell/plugin_state.h"

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

static void freeMarkerBuffers()
{
    free(settings.quoteMarkers);
    free(state.markerScratch);
    free(state.markerEscaped);
    settings.quoteMarkers = NULL;
    state.markerScratch = NULL;
    state.markerEscaped = NULL;
    state.markerScratchSize = 0;
    state.markerEscapedSize = 0;
    state.markerForms = QuoteMarkerForms();
}

static int clampListLength(int length)
{
    if (length < 0)
        return 0;
    return length > MAX_QUOTE_LIST_LENGTH ? MAX_QUOTE_LIST_LENGTH : length;
}

// The marker list and its two working buffers, for a list of length bytes.
// If any of them cannot be had, none is kept: a null list matches nothing.
// The forms built for the old list go with its buffers; the caller builds
// the new ones once the list's text is in place.
static int allocateMarkerBuffers(int length)
{
    freeMarkerBuffers();
    size_t n = static_cast<size_t>(clampListLength(length));
    settings.quoteMarkers = static_cast<char*>(calloc(n + 1, 1));
    state.markerScratch = static_cast<char*>(calloc(n + 1, 1));
    state.markerEscaped = static_cast<char*>(calloc(n * 4 + 11, 1));
    if (!settings.quoteMarkers || !state.markerScratch || !state.markerEscaped) {
        freeMarkerBuffers();
        return 0;
    }
    state.markerScratchSize = n + 1;
    state.markerEscapedSize = n * 4 + 11;
    return 1;
}

void releaseSettingsBuffers()
{
    freeMarkerBuffers();
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

static void readViewSettings(const char* path)
{
    static const char* const colorKeys[5] = {"Color", "Color2", "Color3", "Color4", "Color5"};
    settings.viewQuoteColoring = readBool(path, "View", "Change", 1);
    settings.viewHeaderColoring = readBool(path, "View", "HeaderChange", 1);
    // Each later colour defaults to the one just read: absent keys repeat
    // the last colour present.
    uint32_t previous = DEFAULT_QUOTE_COLOR;
    for (int k = 0; k < 5; ++k)
        previous = settings.quoteColors[k] = readInt(path, "View", colorKeys[k], previous);
    settings.headerColor = readInt(path, "View", "HeaderColor", DEFAULT_QUOTE_COLOR);
    settings.quoteBold = readBool(path, "View", "Bold", 0);
    settings.quoteItalic = readBool(path, "View", "Italic", 0);
    settings.colorByLevel = readBool(path, "View", "LevelColor", 0);
    settings.autoGradient = readBool(path, "View", "AutoColor", 0);
    settings.levelRepeat = readBool(path, "View", "LevelRepeat", 0);
    settings.signatureChange = readBool(path, "View", "SignatureChange", 0);
    settings.signatureColor = readInt(path, "View", "SignatureColor", DEFAULT_QUOTE_COLOR);
    computeLevelColors();
}

static void readSendSettings(const char* path)
{
    settings.sendQuoteColoring = readBool(path, "Send", "Change", 1);
    settings.marginColumn = readInt(path, "Send", "MarginLine", 0);
    settings.marginColor = readInt(path, "Send", "MarginColor", DEFAULT_QUOTE_COLOR);
    settings.showRuler = readBool(path, "Send", "Ruler", 0);
    settings.rulerColor = readInt(path, "Send", "RulerColor", DEFAULT_QUOTE_COLOR);
    // Until the Send page is applied, the compose quote colour follows the
    // viewer's first quote colour.
    settings.sendQuoteColor = readInt(path, "Send", "Color", settings.quoteColors[0]);
    settings.tabKeyToSpaces = readBool(path, "Send", "TabKey2Space", 0);
    settings.tabCodeToSpaces = readBool(path, "Send", "TabCode2Space", 0);
    settings.suppressFlicker = readBool(path, "Send", "Flicker", 0);
    settings.recolorThreshold = readInt(path, "Send", "RecolorCount", DEFAULT_RECOLOR_THRESHOLD);
    settings.colorOnPaste = readBool(path, "Send", "PasteChange", 1);
    settings.sendColorByLevel = readBool(path, "Send", "LevelColor", 0);
    // Read only: no page shows it, and a page's save leaves it in the file.
    settings.liveChange = readBool(path, "Send", "LiveChange", 0);
}

static void readCommonSettings(const char* path)
{
    settings.ignoreLeadingSpaces = readBool(path, "Common", "IgnoreSpace", 1);
    settings.ignoreColumn = readInt(path, "Common", "IgnoreColumn", 0);
    int length = clampListLength(readInt(path, "Common", "Quaote", 0));
    if (length == 0)
        length = DEFAULT_QUOTE_LIST_LENGTH;
    settings.quoteListLength = length;
    // A stored list longer than the stated length is cut to it.
    if (allocateMarkerBuffers(length)) {
        readText(path, "Common", "QuaoteStr", DEFAULT_QUOTE_MARKERS, settings.quoteMarkers, length + 1);
        prepareCurrentQuoteMarkers();
    }
    settings.flatToolbar = readBool(path, "Common", "FlatToolBar", 0);
    settings.tabWidth = static_cast<uint8_t>(readInt(path, "Common", "Tab", DEFAULT_TAB_WIDTH));
    // Tab stops divide by the width: a stored 0 (or a multiple of 256) falls back.
    if (settings.tabWidth == 0)
        settings.tabWidth = DEFAULT_TAB_WIDTH;
}

static void readFontPresets(const char* path)
{
    int count = readInt(path, "Font", "Num", 0);
    settings.fontPresetCount = count < 0 ? 0 : (count > FONT_PRESET_COUNT ? FONT_PRESET_COUNT : count);
    for (int k = 0; k < FONT_PRESET_COUNT; ++k) {
        FontPreset& preset = settings.fontPresets[k];
        char key[16];
        snprintf(key, sizeof key, "FontTitle%d", k + 1);
        readText(path, "Font", key, "", preset.title, sizeof preset.title);
        snprintf(key, sizeof key, "FontName%d", k + 1);
        readText(path, "Font", key, "", preset.faceName, sizeof preset.faceName);
        snprintf(key, sizeof key, "FontSize%d", k + 1);
        preset.size = readInt(path, "Font", key, 0);
        snprintf(key, sizeof key, "CharSet%d", k + 1);
        preset.charSet = static_cast<uint8_t>(readInt(path, "Font", key, 0));
    }
}

void loadSettings()
{
    char path[PATH_BUFFER_SIZE];
    buildIniPath(MAILBOX_INI, path, sizeof path);
    readEditorSettings(path);
    buildIniPath(HUESCOPE_INI, path, sizeof path);
    readViewSettings(path);
    readSendSettings(path);
    readCommonSettings(path);
    free(state.lineBuffer);
    state.lineBuffer = static_cast<char*>(malloc(LINE_BUFFER_SIZE));
    readFontPresets(path);
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

// Each save writes the keys of its page and no other. The keys no page shows
// ([Common] Tab, [Font], [View] LevelRepeat, SignatureChange and
// SignatureColor, [Send] LevelColor) are edited by hand and only read, so an
// edit made while the host runs is not overwritten by the next apply.
void saveViewSettings()
{
    static const char* const colorKeys[5] = {"Color", "Color2", "Color3", "Color4", "Color5"};
    char path[PATH_BUFFER_SIZE];
    buildIniPath(HUESCOPE_INI, path, sizeof path);
    writeBool(path, "View", "Change", settings.viewQuoteColoring);
    writeBool(path, "View", "HeaderChange", settings.viewHeaderColoring);
    writeBool(path, "View", "Italic", settings.quoteItalic);
    writeBool(path, "View", "Bold", settings.quoteBold);
    writeBool(path, "View", "LevelColor", settings.colorByLevel);
    writeBool(path, "View", "AutoColor", settings.autoGradient);
    for (int k = 0; k < 5; ++k)
        writeColor(path, "View", colorKeys[k], settings.quoteColors[k]);
    writeColor(path, "View", "HeaderColor", settings.headerColor);
    computeLevelColors();
}

void saveSendSettings(const char* marginLineText, const char* recolorCountText)
{
    char path[PATH_BUFFER_SIZE];
    buildIniPath(HUESCOPE_INI, path, sizeof path);
    writeBool(path, "Send", "Change", settings.sendQuoteColoring);
    writeBool(path, "Send", "Ruler", settings.showRuler);
    writeBool(path, "Send", "TabKey2Space", settings.tabKeyToSpaces);
    writeBool(path, "Send", "TabCode2Space", settings.tabCodeToSpaces);
    writeBool(path, "Send", "Flicker", settings.suppressFlicker);
    writeBool(path, "Send", "PasteChange", settings.colorOnPaste);
    writeColor(path, "Send", "MarginColor", settings.marginColor);
    writeColor(path, "Send", "RulerColor", settings.rulerColor);
    writeColor(path, "Send", "Color", settings.sendQuoteColor);
    // The two numbers are stored exactly as typed, not re-formatted.
    writeText(path, "Send", "MarginLine", marginLineText ? marginLineText : "");
    writeText(path, "Send", "RecolorCount", recolorCountText ? recolorCountText : "");
}

void saveCommonSettings(const char* markerText, int markerLength, const char* ignoreColumnText)
{
    int length = clampListLength(markerLength);
    if (allocateMarkerBuffers(length)) {
        if (markerText) {
            size_t copied = strnlen(markerText, static_cast<size_t>(length));
            memcpy(settings.quoteMarkers, markerText, copied);
            settings.quoteMarkers[copied] = '\0';
        }
        prepareCurrentQuoteMarkers();
    }
    char path[PATH_BUFFER_SIZE];
    buildIniPath(HUESCOPE_INI, path, sizeof path);
    writeBool(path, "Common", "IgnoreSpace", settings.ignoreLeadingSpaces);
    writeNumber(path, "Common", "Quaote", length);
    writeText(path, "Common", "QuaoteStr", settings.quoteMarkers ? settings.quoteMarkers : "");
    writeText(path, "Common", "IgnoreColumn", ignoreColumnText ? ignoreColumnText : "");
}

void saveOtherSettings()
{
    char path[PATH_BUFFER_SIZE];
    buildIniPath(HUESCOPE_INI, path, sizeof path);
    writeBool(path, "Common", "FlatToolBar", settings.flatToolbar);
}
