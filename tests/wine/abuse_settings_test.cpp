// Hostile settings: INI files holding garbage where numbers belong, marker
// lists of 64 KB and lists cut at a length that does not match them, a
// mailbox directory too long for a path, and INI files that cannot be
// written. The settings code is compiled into this program for the cases
// that look at the settings record and the save operations; the plug-in
// itself is loaded for the cases that look at what the reader sees.
#include "abuse_support.h"
#include "compose_support.h"
#include "settings_support.h"
#include <limits.h>
#include <algorithm>
#include <string.h>
#include <vector>

PluginState state;

namespace {

using abuse::controlAnswers;
using abuse::expandedTabs;
using abuse::firstDifference;

// ---------------------------------------------------------------------------
// Garbage in every numeric key.

struct Garbage { const char* name; const char* value; };
void PrintTo(const Garbage& g, std::ostream* os) { *os << g.name; }

const Garbage GARBAGE[] = {
    {"Letters", "abc"},
    {"MinusOne", "-1"},
    {"IntMin", "-2147483648"},
    {"IntMax", "2147483647"},
    {"TwentyDigits", "99999999999999999999"},
    {"MinusTwentyDigits", "-99999999999999999999"},
    {"Hex", "0x7FFFFFFF"},
    {"LeadingSpaces", "  12"},
    {"Exponent", "1e9"},
    {"DoubleMinus", "--3"},
    {"Plus", "+5"},
    {"TrailingLetters", "12abc"},
    {"FullWidthDigits", "１２"},
    {"Above65535", "65536"},
    {"Byte256", "256"},
    {"Byte255", "255"},
    {"HalfOfIntMax", "1073741824"},
    {"ControlBytes", "\x01\x02\x7f"},
};

const char* const MAILBOX_KEYS[][2] = {
    {"Editor", "TextColor"}, {"Editor", "BkColor"}, {"Editor", "FontSize"}, {"Editor", "Italic"},
    {"Editor", "Bold"},      {"Viewer", "FontSize"}, {"Viewer", "CharSet"},
};
const char* const HUESCOPE_KEYS[][2] = {
    {"View", "Change"},          {"View", "HeaderChange"},    {"View", "Color"},           {"View", "Color2"},
    {"View", "Color3"},          {"View", "Color4"},          {"View", "Color5"},          {"View", "HeaderColor"},
    {"View", "Bold"},            {"View", "Italic"},          {"View", "LevelColor"},      {"View", "AutoColor"},
    {"View", "LevelRepeat"},     {"View", "SignatureChange"}, {"View", "SignatureColor"},  {"Send", "Change"},
    {"Send", "MarginLine"},      {"Send", "MarginColor"},     {"Send", "Ruler"},           {"Send", "RulerColor"},
    {"Send", "Color"},           {"Send", "TabKey2Space"},    {"Send", "TabCode2Space"},   {"Send", "Flicker"},
    {"Send", "RecolorCount"},    {"Send", "PasteChange"},     {"Send", "LevelColor"},      {"Common", "IgnoreSpace"},
    {"Common", "IgnoreColumn"},  {"Common", "Quaote"},        {"Common", "Tab"},           {"Common", "FlatToolBar"},
    {"Font", "Num"},             {"Font", "FontSize1"},       {"Font", "FontSize2"},       {"Font", "CharSet1"},
    {"Font", "CharSet2"},
};

// An INI text with every key of the table set to value, grouped by section.
template <size_t N>
std::string iniWithEvery(const char* const (&keys)[N][2], const std::string& value)
{
    std::string text, section;
    for (size_t i = 0; i < N; ++i) {
        if (section != keys[i][0]) {
            section = keys[i][0];
            text += "[" + section + "]\r\n";
        }
        text += std::string(keys[i][1]) + "=" + value + "\r\n";
    }
    return text;
}

// What the platform makes of the value: the number every key then holds.
int platformNumber(const std::string& iniPath)
{
    return static_cast<int>(GetPrivateProfileIntA("View", "Color", 12345, iniPath.c_str()));
}

int clampedTwips(int tenths)
{
    long long twips = static_cast<long long>(tenths) * 2;
    return twips > INT_MAX ? INT_MAX : twips < INT_MIN ? INT_MIN : static_cast<int>(twips);
}

// The settings code compiled into this program, over a fresh mailbox.
class SettingsRecord : public SettingsFixture {
protected:
    void TearDown() override
    {
        SetFileAttributesA(iniPath().c_str(), FILE_ATTRIBUTE_NORMAL);
        SettingsFixture::TearDown();
    }

    // The marker list fits the room it was given.
    void expectConsistentMarkerBuffers(const std::string& what)
    {
        ASSERT_TRUE(quoteMarkers.list != NULL) << what;
        EXPECT_LE(quoteMarkers.room, static_cast<size_t>(MAX_QUOTE_LIST_LENGTH)) << what;
        EXPECT_LE(strlen(quoteMarkers.list), quoteMarkers.room) << what;
    }

    // After a load the buffers are sized from the stated length.
    void expectBuffersForLength(size_t length, const std::string& what)
    {
        EXPECT_EQ(static_cast<int>(length), settings.quoteListLength) << what;
        EXPECT_EQ(length, quoteMarkers.room) << what;
        expectConsistentMarkerBuffers(what);
    }
};

class GarbageRecord : public SettingsRecord, public ::testing::WithParamInterface<Garbage> {};

// Every number is what the platform's reading gives, and everything derived
// from it stays in its range: the tab width is never 0, the preset count
// never beyond the presets, the marker buffers sized for the list, and the
// editor's font height is the size doubled within the int range.
TEST_P(GarbageRecord, EveryNumberStaysUsable)
{
    const Garbage& g = GetParam();
    writeMailboxIni(iniWithEvery(MAILBOX_KEYS, g.value));
    writeIni(iniWithEvery(HUESCOPE_KEYS, g.value));
    const int p = platformNumber(iniPath());
    const uint32_t color = static_cast<uint32_t>(p);
    const std::string what = std::string(g.name) + " (read as " + std::to_string(p) + ")";
    loadSettings();

    EXPECT_EQ(color, settings.editorTextColor) << what;
    EXPECT_EQ(color, settings.editorBackColor) << what;
    EXPECT_EQ(clampedTwips(p), settings.editorFontHeight) << what << ": the font size doubled, held in range";
    EXPECT_EQ(p ? (CFE_BOLD | CFE_ITALIC) : 0, settings.editorFontEffects) << what;
    EXPECT_EQ(p, settings.viewerFontSize) << what;
    EXPECT_EQ(static_cast<uint8_t>(p), settings.viewerCharSet) << what;
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(color, settings.quoteColors[k]) << what << ", quote colour " << k;
    EXPECT_EQ(color, settings.levelColors[0]) << what << ": level 1 is the first quote colour";
    EXPECT_EQ(color, settings.headerColor) << what;
    EXPECT_EQ(color, settings.marginColor) << what;
    EXPECT_EQ(color, settings.rulerColor) << what;
    EXPECT_EQ(color, settings.sendQuoteColor) << what;
    EXPECT_EQ(color, settings.signatureColor) << what;
    const int flag = p != 0;
    for (int value : {settings.viewQuoteColoring, settings.viewHeaderColoring, settings.quoteBold, settings.quoteItalic,
                      settings.colorByLevel, settings.autoGradient, settings.levelRepeat, settings.signatureChange,
                      settings.sendQuoteColoring, settings.showRuler, settings.tabKeyToSpaces,
                      settings.tabCodeToSpaces, settings.suppressFlicker, settings.colorOnPaste,
                      settings.sendColorByLevel, settings.ignoreLeadingSpaces, settings.flatToolbar})
        EXPECT_EQ(flag, value) << what << ": every switch is 0 or 1";
    EXPECT_EQ(p, settings.marginColumn) << what;
    EXPECT_EQ(p, settings.recolorThreshold) << what;
    EXPECT_EQ(p, settings.ignoreColumn) << what;
    const uint8_t width = static_cast<uint8_t>(p);
    EXPECT_EQ(width ? width : 8u, usableTabWidth(settings.tabWidth)) << what;
    EXPECT_EQ(p < 0 ? 0 : p > 2 ? 2 : p, settings.fontPresetCount) << what;
    for (int k = 0; k < FONT_PRESET_COUNT; ++k) {
        EXPECT_EQ(p, settings.fontPresets[k].size) << what;
        EXPECT_EQ(static_cast<uint8_t>(p), settings.fontPresets[k].charSet) << what;
    }
    // The list length is the number where it is one, the default otherwise;
    // the stored list is absent, so the default list cut to that length.
    const int length = p <= 0 ? DEFAULT_QUOTE_LIST_LENGTH : p > MAX_QUOTE_LIST_LENGTH ? MAX_QUOTE_LIST_LENGTH : p;
    expectBuffersForLength(static_cast<size_t>(length), what);
    // The platform cuts the stored text to the length without splitting a
    // double-byte character, so one byte may go short.
    const std::string kept = quoteMarkers.list;
    EXPECT_EQ(std::string(DEFAULT_QUOTE_MARKERS).substr(0, kept.size()), kept) << what;
    EXPECT_GE(kept.size() + 1, std::min<size_t>(static_cast<size_t>(length), strlen(DEFAULT_QUOTE_MARKERS))) << what;
}

INSTANTIATE_TEST_SUITE_P(Abuse, GarbageRecord, ::testing::ValuesIn(GARBAGE),
                         [](const ::testing::TestParamInfo<Garbage>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------
// Marker lists.

// A list of 64 KB: 21 844 entries that match nothing, then ">" and "|".
std::string longMarkerList()
{
    std::string list;
    for (int i = 0; i < 21844; ++i)
        list += "@@,";
    return list + ">,|";
}

TEST_F(SettingsRecord, MarkerListOf64KilobytesIsReadWholeAndMatches)
{
    const std::string list = longMarkerList();
    ASSERT_EQ(65535u, list.size());
    writeIni("[Common]\r\nQuaote=65535\r\nQuaoteStr=" + list + "\r\n");
    loadSettings();
    expectBuffersForLength(65535, "64 KB list");
    ASSERT_TRUE(quoteMarkers.list != NULL);
    EXPECT_EQ(list.size(), strlen(quoteMarkers.list));
    EXPECT_TRUE(list == quoteMarkers.list) << firstDifference(list, quoteMarkers.list);
    struct Case { const char* line; unsigned plain; unsigned escaped; };
    const Case cases[] = {
        {"> a", 1, 1}, {"| > b", 2, 2}, {"@@ c", 1, 1}, {"@@@@>", 3, 3}, {"plain", 0, 0}, {"@", 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.plain, quoteDepth(c.line, false)) << "plain depth of \"" << c.line << "\"";
        EXPECT_EQ(c.escaped, quoteDepth(c.line, true)) << "RTF depth of \"" << c.line << "\"";
    }

    // Longer than any length can state: cut at the longest length there is.
    writeIni("[Common]\r\nQuaote=999999\r\nQuaoteStr=" + list + ",#,%\r\n");
    loadSettings();
    expectBuffersForLength(MAX_QUOTE_LIST_LENGTH, "list longer than 64 KB");
    EXPECT_TRUE(list == quoteMarkers.list) << firstDifference(list, quoteMarkers.list);
    EXPECT_EQ(0u, quoteDepth("# cut off", false));
}

struct ListCase { const char* name; int quaote; const char* stored; const char* kept; size_t buffer; };
void PrintTo(const ListCase& c, std::ostream* os) { *os << c.name; }

class ListLength : public SettingsRecord, public ::testing::WithParamInterface<ListCase> {};

// The stated length decides the buffers; the stored list is cut to it or
// kept whole when shorter.
TEST_P(ListLength, DecidesTheBuffersAndCutsTheList)
{
    const ListCase& c = GetParam();
    writeIni("[Common]\r\nQuaote=" + std::to_string(c.quaote) + "\r\nQuaoteStr=" + c.stored + "\r\n");
    loadSettings();
    expectBuffersForLength(c.buffer, c.name);
    EXPECT_EQ(std::string(c.kept), quoteMarkers.list) << c.name;
    EXPECT_EQ(1u, quoteDepth("> quoted", false)) << c.name;
    EXPECT_EQ(0u, quoteDepth("plain", false)) << c.name;
}

const ListCase LIST_CASES[] = {
    {"LargerThanTheList", 100, ">", ">", 100},
    {"SmallerCutsTheList", 3, ">,|,＞", ">,|", 3},
    {"ExactLength", 6, ">,|,＞", ">,|,＞", 6},
    {"ZeroMeansTheDefaultLength", 0, ">,#,#,#,#,#,#,#,#,#", ">,#,#,#,#,#,#,#", 15},
    {"NegativeMeansTheDefaultLength", -5, ">", ">", 15},
    {"HugeIsCapped", 2147483647, ">,|", ">,|", 65535},
};
INSTANTIATE_TEST_SUITE_P(Abuse, ListLength, ::testing::ValuesIn(LIST_CASES),
                         [](const ::testing::TestParamInfo<ListCase>& i) { return std::string(i.param.name); });

// A length that ends inside a double-byte character. Read from the INI
// file, the platform keeps the character whole or drops it; handed to the
// save operation, the list keeps its lead byte alone. Either way half a
// character is no marker: it must not take every line that begins with a
// character of the same lead byte (the ideographic space, "、", "。") for a
// quote, nor leave the count in the middle of a character.
void expectNoHalfCharacterMatches(const std::string& what)
{
    EXPECT_EQ(1u, quoteDepth("> quoted", false)) << what;
    for (const char* line : {"　全角の空白で始まる行", "、読点で始まる行", "。句点で始まる行"}) {
        EXPECT_EQ(0u, quoteDepth(line, false)) << what << ": plain depth of a line beginning with lead byte 0x81: " << line;
        std::string rtf = hostRtfEscape(line);
        EXPECT_EQ(0u, quoteDepth(rtf.c_str(), true)) << what << ": RTF depth of " << rtf;
    }
}

TEST_F(SettingsRecord, ListCutInsideACharacterByTheIniFileMatchesNoHalfCharacter)
{
    writeIni("[Common]\r\nQuaote=3\r\nQuaoteStr=>,＞\r\n");
    loadSettings();
    expectBuffersForLength(3, "list cut inside a character");
    EXPECT_LE(strlen(quoteMarkers.list), 3u);
    expectNoHalfCharacterMatches("read from the file");
}

TEST_F(SettingsRecord, ListCutInsideACharacterBySavingMatchesNoHalfCharacter)
{
    loadSettings();
    saveCommonSettings(">,＞", 3, "0");
    expectConsistentMarkerBuffers("saved list cut inside a character");
    EXPECT_EQ(std::string(">,\x81"), quoteMarkers.list);
    expectNoHalfCharacterMatches("saved");
}

TEST_F(SettingsRecord, EmptyValuesGiveTheDefaults)
{
    writeMailboxIni(iniWithEvery(MAILBOX_KEYS, ""));
    writeIni(iniWithEvery(HUESCOPE_KEYS, ""));
    loadSettings();
    EXPECT_EQ(DEFAULT_QUOTE_COLOR, settings.quoteColors[4]);
    EXPECT_EQ(DEFAULT_QUOTE_COLOR, settings.sendQuoteColor);
    EXPECT_EQ(0xFFFFFFu, settings.editorBackColor);
    EXPECT_EQ(200, settings.editorFontHeight);
    EXPECT_EQ(1, settings.viewQuoteColoring);
    EXPECT_EQ(4000, settings.recolorThreshold);
    EXPECT_EQ(8u, usableTabWidth(settings.tabWidth));
    EXPECT_EQ(0, settings.fontPresetCount);
    expectBuffersForLength(DEFAULT_QUOTE_LIST_LENGTH, "empty values");
    EXPECT_STREQ(DEFAULT_QUOTE_MARKERS, quoteMarkers.list);
}

// ---------------------------------------------------------------------------
// Where the INI file cannot be read or written.

// A mailbox directory of 300 characters leaves no room for a path: every
// read gives its default, every save writes nowhere, and nothing overruns.
TEST_F(SettingsRecord, MailboxDirectoryOf300CharactersReadsDefaultsAndSavesNothing)
{
    writeIni("[View]\r\nColor=255\r\n");
    std::string longDir = mailbox + std::string(300 - mailbox.size() - 1, 'm') + "\\";
    ASSERT_EQ(300u, longDir.size());
    hostSetMailbox(longDir.c_str());
    loadSettings();
    EXPECT_EQ(DEFAULT_QUOTE_COLOR, settings.quoteColors[0]);
    EXPECT_STREQ(DEFAULT_QUOTE_MARKERS, quoteMarkers.list);
    expectConsistentMarkerBuffers("defaults");
    settings.quoteColors[0] = 0x123456;
    saveViewSettings();
    saveSendSettings("12", "3000");
    saveCommonSettings(">>", 2, "4");
    saveOtherSettings();
    EXPECT_EQ("[View]\r\nColor=255\r\n", ini()) << "the real mailbox's file is untouched";
    EXPECT_STREQ(">>", quoteMarkers.list) << "the new list is in use all the same";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((mailbox + "*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    int entries = 0;
    do {
        if (strcmp(found.cFileName, ".") && strcmp(found.cFileName, ".."))
            ++entries;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    EXPECT_EQ(1, entries) << "no file was created beside Huescope.ini";
}

// Each save against a file it cannot write: read-only, missing, a folder
// of that name, or a mailbox directory that has gone. The settings in use
// change all the same; the file is as it was (or, when missing, is
// created); nothing fails loudly.
// The read-only attribute means nothing to a process running as root, as
// Wine here does; a file held open without sharing by another program is
// what cannot be written.
TEST_F(SettingsRecord, LockedFileIsLeftAsItWas)
{
    const std::string original = "[View]\r\nColor=255\r\n[Common]\r\nQuaote=1\r\nQuaoteStr=>\r\n";
    writeIni(original);
    loadSettings();
    HANDLE lock = CreateFileA(iniPath().c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    settings.quoteColors[0] = 0x010203;
    settings.autoGradient = 0;
    saveViewSettings();
    saveSendSettings("72", "5000");
    saveCommonSettings("|,#", 3, "9");
    saveOtherSettings();
    CloseHandle(lock);
    EXPECT_EQ(original, ini()) << "a file another program holds is not written";
    EXPECT_EQ(0x010203u, settings.levelColors[0]) << "the level colours follow the new quote colour";
    EXPECT_STREQ("|,#", quoteMarkers.list);
    expectConsistentMarkerBuffers("after the save");
    EXPECT_EQ(1u, quoteDepth("# now quoted", false));
}

TEST_F(SettingsRecord, MissingFileIsCreatedWithTheSavedGroups)
{
    loadSettings();
    ASSERT_FALSE(fileExists(iniPath()));
    settings.quoteColors[0] = 0x0000FF;
    saveViewSettings();
    saveCommonSettings(">,|", 3, "7");
    std::string text = ini();
    EXPECT_NE(std::string::npos, text.find("[View]")) << text;
    EXPECT_NE(std::string::npos, text.find("Color=255")) << text;
    EXPECT_NE(std::string::npos, text.find("[Common]")) << text;
    EXPECT_NE(std::string::npos, text.find("QuaoteStr=>,|")) << text;
    EXPECT_NE(std::string::npos, text.find("IgnoreColumn=7")) << text;
}

TEST_F(SettingsRecord, FolderInPlaceOfTheFileReadsDefaultsAndSavesNothing)
{
    ASSERT_TRUE(CreateDirectoryA(iniPath().c_str(), NULL));
    loadSettings();
    EXPECT_EQ(DEFAULT_QUOTE_COLOR, settings.quoteColors[0]);
    expectConsistentMarkerBuffers("defaults");
    saveViewSettings();
    saveSendSettings("1", "2");
    saveCommonSettings(">", 1, "3");
    saveOtherSettings();
    DWORD attributes = GetFileAttributesA(iniPath().c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        << "the folder is still a folder";
    RemoveDirectoryA(iniPath().c_str());
}

TEST_F(SettingsRecord, VanishedMailboxDirectorySavesNothing)
{
    writeIni("[View]\r\nColor=255\r\n");
    loadSettings();
    DeleteFileA(iniPath().c_str());
    ASSERT_TRUE(RemoveDirectoryA(mailbox.c_str()));
    saveViewSettings();
    saveSendSettings("1", "2");
    saveCommonSettings(">", 1, "3");
    saveOtherSettings();
    EXPECT_FALSE(fileExists(mailbox)) << "no directory is created";
    EXPECT_STREQ(">", quoteMarkers.list);
    CreateDirectoryA(mailbox.c_str(), NULL);
}

// A thousand loads and saves with the 64 KB list: the process heap ends
// where it began.
TEST_F(SettingsRecord, AThousandLoadsAndSavesLeaveTheHeapAsItWas)
{
    const std::string list = longMarkerList();
    writeIni("[Common]\r\nQuaote=65535\r\nQuaoteStr=" + list + "\r\n");
    writeMailboxIni(iniWithEvery(MAILBOX_KEYS, "-1"));
    loadSettings();
    saveCommonSettings(list.c_str(), static_cast<int>(list.size()), "0");
    const abuse::HeapSummary before = abuse::processHeapSummary();
    for (int i = 0; i < 1000; ++i) {
        loadSettings();
        saveViewSettings();
        saveCommonSettings(list.c_str(), static_cast<int>(list.size()), "0");
    }
    const abuse::HeapSummary after = abuse::processHeapSummary();
    EXPECT_LT(static_cast<long long>(after.blocks) - static_cast<long long>(before.blocks), 100)
        << "heap blocks: " << before.blocks << " before, " << after.blocks << " after";
    EXPECT_LT(static_cast<long long>(after.bytes) - static_cast<long long>(before.bytes), 256 * 1024)
        << "heap bytes: " << before.bytes << " before, " << after.bytes << " after";
    expectConsistentMarkerBuffers("after a thousand rounds");
}

// ---------------------------------------------------------------------------
// The plug-in itself over hostile settings: what the reader sees.

class HostileSettingsPlugin : public ComposeTest {
protected:
    // A compose window hooked by the plug-in already started.
    void openComposeWindow()
    {
        frame = track(hostCreateComposeWindow(RICHEDIT_20A, "compose", 40, 40, 480, 320));
        control = hostEditControl(frame);
        ASSERT_TRUE(control != NULL);
        ASSERT_NE(0, plugin.sendCreate(frame));
    }

    // The sample message in a hooked viewer and an unhooked one; the text
    // must be the same and the control alive.
    void expectViewerShowsTheMessage(const std::string& what, COLORREF quoteColor, bool quoteColoring)
    {
        HWND shown = hostEditControl(track(hostCreateViewerWindow(RICHEDIT_20A, "viewer", 0, 0, 600, 400)));
        HWND baseline = hostEditControl(track(hostCreateViewerWindow(RICHEDIT_20A, "viewer", 0, 0, 600, 400)));
        plugin.viewCreate(GetParent(shown));
        std::vector<std::string> pieces = hostRtfPieces(hostSampleMessage());
        hostStreamPieces(shown, pieces);
        hostStreamPieces(baseline, pieces);
        ASSERT_TRUE(controlAnswers(shown)) << what;
        std::string expected = controlText(baseline), got = controlText(shown);
        EXPECT_TRUE(expected == got) << what << ": " << firstDifference(expected, got);
        LONG at = findInControl(shown, "> 資料は前日までにお送りします。");
        ASSERT_GE(at, 0) << what;
        CharFormatRead f = readCharFormat(shown, at, at + 4);
        CharFormatRead host = readCharFormat(baseline, at, at + 4);
        // The appended colour table entry keeps red, green and blue only.
        if (quoteColoring) {
            EXPECT_TRUE((f.mask & CFM_COLOR) && !f.autoColor && f.color == (quoteColor & 0xFFFFFF))
                << what << ": expected the quote colour " << abuse::hexColor(quoteColor & 0xFFFFFF) << ", got "
                << abuse::hexColor(f.color) << (f.autoColor ? " (auto)" : "");
        } else {
            EXPECT_TRUE(f.autoColor == host.autoColor && (f.autoColor || f.color == host.color))
                << what << ": expected the host's colour";
        }
    }

    // The sample reply set, a quoted text pasted, the whole text recoloured
    // from the menu, and the ruler and margin drawn: the text is the reply
    // with its tabs expanded as configured, and the control answers.
    void expectComposeKeepsTheText(const std::string& what, bool tabsToSpaces, unsigned tabWidth,
                                   bool coloring = false, COLORREF color = 0)
    {
        openComposeWindow();
        HMENU bar = hostBuildComposeMenuBar();
        plugin.sendInitMenu(0, bar, 301);
        const std::string reply = hostSampleReplyText();
        SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(reply.c_str()));
        // Settings that defer the colouring leave the timer running: its
        // tick is handled now rather than waited for.
        if (KillTimer(control, RECOLOR_TIMER))
            SendMessageA(control, WM_TIMER, RECOLOR_TIMER, 0);
        ASSERT_TRUE(controlAnswers(control)) << what;
        std::string expected = tabsToSpaces ? expandedTabs(reply, tabWidth) : reply;
        EXPECT_EQ(withBreaksShown(expected), withBreaksShown(controlText(control))) << what << ": the text set";
        // Line 0 is plain and line 2 quoted; here the text and the quote
        // colour are the same garbage. A colour whose top byte is set must
        // reach the control as red, green and blue.
        if (coloring) {
            for (int line : {0, 2}) {
                bool uniform = false;
                COLORREF shown = lineColor(control, line, &uniform);
                EXPECT_TRUE(uniform && shown == (color & 0xFFFFFF))
                    << what << ", line " << line << ": expected colour " << abuse::hexColor(color & 0xFFFFFF)
                    << ", got " << abuse::hexColor(shown) << (uniform ? "" : " (not one colour)");
            }
        }
        const std::string pasted = "> pasted\r\n";
        ASSERT_TRUE(putClipboardBytes(frame, pasted + '\0'));
        LONG end = static_cast<LONG>(SendMessageA(control, WM_GETTEXTLENGTH, 0, 0));
        setSelection(control, end, end);
        SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0);
        expected += pasted;
        EXPECT_EQ(withBreaksShown(expected), withBreaksShown(controlText(control))) << what << ": after the paste";

        ASSERT_FALSE(hostRegisteredCommands().empty());
        setSelection(control, 0, -1);
        SendMessageA(frame, WM_COMMAND, hostRegisteredCommands().back().id, 0);
        EXPECT_EQ(withBreaksShown(expected), withBreaksShown(controlText(control))) << what << ": after the recolour";

        HDC dc = GetDC(control);
        SendMessageA(control, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        ReleaseDC(control, dc);
        SendMessageA(control, WM_PAINT, 0, 0);
        RECT rect = {0, 0, 200, 100};
        SendMessageA(control, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&rect));
        ASSERT_TRUE(controlAnswers(control)) << what << ": after drawing";
        DestroyMenu(bar);
    }
};

class GarbagePlugin : public HostileSettingsPlugin, public ::testing::WithParamInterface<Garbage> {};

TEST_P(GarbagePlugin, ViewerAndComposeWorkOverIt)
{
    const Garbage& g = GetParam();
    writeMailboxIni(iniWithEvery(MAILBOX_KEYS, g.value));
    writeIni(iniWithEvery(HUESCOPE_KEYS, g.value));
    const int p = platformNumber(iniPath());
    const std::string what = std::string(g.name) + " (read as " + std::to_string(p) + ")";
    const uint8_t width = static_cast<uint8_t>(p);
    start();
    // With leading spaces ignored (any non-zero value), the ignore column
    // is the column a marker must start before: 1 leaves none.
    const bool markersMatch = p != 0 && static_cast<unsigned>(p) != 1;
    expectViewerShowsTheMessage(what, static_cast<COLORREF>(p), markersMatch);
    expectComposeKeepsTheText(what, p != 0, width ? width : 8, p != 0, static_cast<COLORREF>(p));
}

INSTANTIATE_TEST_SUITE_P(Abuse, GarbagePlugin, ::testing::ValuesIn(GARBAGE),
                         [](const ::testing::TestParamInfo<Garbage>& i) { return std::string(i.param.name); });

TEST_F(HostileSettingsPlugin, MarkerListOf64KilobytesColoursViewerAndCompose)
{
    writeIni("[View]\r\nColor=255\r\n[Send]\r\nColor=" + std::to_string(TEST_QUOTE_COLOR) + "\r\n"
             "[Common]\r\nQuaote=65535\r\nQuaoteStr=" + longMarkerList() + "\r\n");
    start();
    expectViewerShowsTheMessage("64 KB list", RGB(255, 0, 0), true);
    openComposeWindow();
    const std::string text = "@@ one\r\nplain\r\n| two\r\n";
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    EXPECT_EQ(withBreaksShown(text), withBreaksShown(controlText(control)));
    bool uniform = false;
    EXPECT_EQ(TEST_QUOTE_COLOR, lineColor(control, 0, &uniform)) << "the first entry of the list";
    EXPECT_TRUE(uniform);
    EXPECT_NE(TEST_QUOTE_COLOR, lineColor(control, 1, &uniform)) << "a plain line";
    EXPECT_EQ(TEST_QUOTE_COLOR, lineColor(control, 2, &uniform)) << "the last entry of the list";
}

TEST_F(HostileSettingsPlugin, MailboxDirectoryOf300CharactersStartsOnDefaults)
{
    writeIni("[View]\r\nColor=255\r\n");
    std::string longDir = mailbox + std::string(300 - mailbox.size() - 1, 'm') + "\\";
    hostSetMailbox(longDir.c_str());
    start();
    expectViewerShowsTheMessage("300-character mailbox", DEFAULT_QUOTE_COLOR, true);
    expectComposeKeepsTheText("300-character mailbox", false, 8);
    hostSetMailbox(mailbox.c_str());
}

// A thousand start-ups over the 64 KB list: the plug-in holds its list and
// the list's two blocks of forms, and nothing more.
TEST_F(HostileSettingsPlugin, AThousandStartUpsHoldOneSetOfBuffers)
{
    writeIni("[Common]\r\nQuaote=65535\r\nQuaoteStr=" + longMarkerList() + "\r\n");
    writeMailboxIni(iniWithEvery(MAILBOX_KEYS, "99999999999999999999"));
    start();
    abuse::PluginHeapWatch watch(plugin.module);
    ASSERT_TRUE(watch.installed());
    for (int i = 0; i < 1000; ++i)
        plugin.startUp(0);
    EXPECT_GE(watch.allocations(), 3000u) << "each start-up allocates its buffers anew";
    EXPECT_EQ(3u, watch.liveBlocks()) << "the list and its two blocks of forms";
    EXPECT_EQ(65536u + 65536u + 4u * 65535u + 11u, watch.liveBytes());
    plugin.cleanUp();
    EXPECT_EQ(0u, watch.liveBlocks()) << "clean-up releases them all";
}

} // namespace
