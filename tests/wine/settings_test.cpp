// Settings against real INI files on disk, through the platform's profile
// functions, with the settings code compiled into this program.
#include "settings_support.h"
#include <string.h>
#include <vector>

PluginState state;

namespace {

class Settings : public SettingsFixture {};

// "key=value" lines of one section, in file order.
std::vector<std::string> sectionLines(const std::string& file, const std::string& section)
{
    std::vector<std::string> out;
    bool inside = false;
    size_t pos = 0;
    while (pos < file.size()) {
        size_t end = file.find('\n', pos);
        if (end == std::string::npos)
            end = file.size();
        std::string line = file.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[')
            inside = line == "[" + section + "]";
        else if (inside && !line.empty())
            out.push_back(line);
        pos = end + 1;
    }
    return out;
}

TEST_F(Settings, NoFilesGiveEveryDefault)
{
    loadSettings();
    const uint32_t grey = 0x808080;
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(grey, settings.quoteColors[k]) << "quote colour " << k;
        EXPECT_EQ(grey, settings.levelColors[k]) << "level colour " << k;
    }
    EXPECT_EQ(grey, settings.headerColor);
    EXPECT_EQ(grey, settings.marginColor);
    EXPECT_EQ(grey, settings.rulerColor);
    EXPECT_EQ(grey, settings.sendQuoteColor);
    EXPECT_EQ(grey, settings.signatureColor);
    EXPECT_EQ(0, settings.signatureChange);
    EXPECT_EQ(0, settings.levelRepeat);
    EXPECT_EQ(0, settings.sendColorByLevel);
    ASSERT_TRUE(quoteMarkers.list != NULL);
    EXPECT_EQ(std::string(DEFAULT_QUOTE_MARKERS), quoteMarkers.list);
    EXPECT_EQ(15u, strlen(quoteMarkers.list));
    EXPECT_EQ(15u, quoteMarkers.room);
    EXPECT_EQ(8, settings.tabWidth);
    EXPECT_EQ(4000, settings.recolorThreshold);
    EXPECT_EQ(1, settings.viewQuoteColoring);
    EXPECT_EQ(1, settings.viewHeaderColoring);
    EXPECT_EQ(1, settings.sendQuoteColoring);
    EXPECT_EQ(1, settings.colorOnPaste);
    EXPECT_EQ(1, settings.ignoreLeadingSpaces);
    EXPECT_EQ(0, settings.ignoreColumn);
    EXPECT_EQ(0, settings.showRuler);
    EXPECT_EQ(0, settings.marginColumn);
    EXPECT_EQ(0, settings.flatToolbar);
    EXPECT_EQ(0, settings.fontPresetCount);
    EXPECT_EQ(0u, settings.editorTextColor);
    EXPECT_EQ(0xFFFFFFu, settings.editorBackColor);
    EXPECT_EQ(200, settings.editorFontHeight);
    EXPECT_EQ(0, settings.editorFontEffects);
    // The default list finds the full-width marker in plain text.
    EXPECT_EQ(2u, quoteDepth("＞＞ 引用", false));
}

TEST_F(Settings, LaterQuoteColoursRepeatTheLastPresentAndSendFollowsView)
{
    writeIni("[View]\r\nColor=255\r\n");
    loadSettings();
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(255u, settings.quoteColors[k]) << "quote colour " << k;
    EXPECT_EQ(255u, settings.sendQuoteColor);

    writeIni("[View]\r\nColor=1\r\nColor3=3\r\n[Send]\r\nColor=77\r\n");
    loadSettings();
    const uint32_t expected[5] = {1, 1, 3, 3, 3};
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(expected[k], settings.quoteColors[k]) << "quote colour " << k;
    EXPECT_EQ(77u, settings.sendQuoteColor);
}

TEST_F(Settings, AutoGradientFromFirstToFifth)
{
    writeIni("[View]\r\nColor=0\r\nColor2=255\r\nColor5=16777215\r\nAutoColor=1\r\n");
    loadSettings();
    const uint32_t expected[5] = {0x000000, 0x333333, 0x666666, 0x999999, 0xFFFFFF};
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(expected[k], settings.levelColors[k]) << "level " << k + 1;
}

TEST_F(Settings, MarkerListCutToStatedLength)
{
    writeIni("[Common]\r\nQuaote=3\r\nQuaoteStr=>,|,#\r\n");
    loadSettings();
    EXPECT_STREQ(">,|", quoteMarkers.list);
    EXPECT_EQ(3u, quoteMarkers.room);
    EXPECT_EQ(1u, quoteDepth("| x", false));
    EXPECT_EQ(0u, quoteDepth("# x", false));
}

TEST_F(Settings, EditorFontAndTabWidthConversions)
{
    writeMailboxIni("[Editor]\r\nFontSize=105\r\nBold=5\r\nItalic=0\r\nFontFace=IPAGothic\r\n"
                    "[Viewer]\r\nFontSize=110\r\nCharSet=384\r\n");
    writeIni("[Common]\r\nTab=264\r\n");
    loadSettings();
    EXPECT_EQ(210, settings.editorFontHeight);
    EXPECT_EQ(1, settings.editorFontEffects);
    EXPECT_STREQ("IPAGothic", settings.editorFontFace);
    EXPECT_EQ(110, settings.viewerFontSize);
    EXPECT_EQ(128, settings.viewerCharSet) << "low byte of 384";
    EXPECT_EQ(8, settings.tabWidth) << "low byte of 264";

    writeMailboxIni("[Editor]\r\nItalic=1\r\nBold=0\r\n");
    loadSettings();
    EXPECT_EQ(2, settings.editorFontEffects);
}

TEST_F(Settings, EachSaveWritesExactlyItsKeysInOrder)
{
    loadSettings();
    settings.quoteColors[2] = 0x123456;
    settings.quoteItalic = 1;
    // Keys edited only by hand are never written, whatever their values.
    settings.levelRepeat = 1;
    settings.signatureChange = 1;
    settings.signatureColor = 0x345678;
    saveViewSettings();
    std::vector<std::string> expectedView = {
        "Change=1", "HeaderChange=1", "Italic=1", "Bold=0", "LevelColor=0", "AutoColor=0",
        "Color=8421504", "Color2=8421504", "Color3=1193046", "Color4=8421504", "Color5=8421504",
        "HeaderColor=8421504"};
    EXPECT_EQ(expectedView, sectionLines(ini(), "View"));
    EXPECT_EQ(0x123456u, settings.levelColors[2]) << "the view save recomputes the level colours";

    settings.showRuler = 1;
    settings.sendQuoteColor = 0xFF;
    settings.sendColorByLevel = 1;
    saveSendSettings("12a", "3000");
    std::vector<std::string> expectedSend = {
        "Change=1", "Ruler=1", "TabKey2Space=0", "TabCode2Space=0", "Flicker=0", "PasteChange=1",
        "MarginColor=8421504", "RulerColor=8421504", "Color=255", "MarginLine=12a", "RecolorCount=3000"};
    EXPECT_EQ(expectedSend, sectionLines(ini(), "Send"));

    settings.ignoreLeadingSpaces = 0;
    saveCommonSettings(">,#", 3, "4");
    settings.flatToolbar = 1;
    saveOtherSettings();
    std::vector<std::string> expectedCommon = {"IgnoreSpace=0", "Quaote=3", "QuaoteStr=>,#", "IgnoreColumn=4",
                                               "FlatToolBar=1"};
    EXPECT_EQ(expectedCommon, sectionLines(ini(), "Common"));
    EXPECT_TRUE(sectionLines(ini(), "Font").empty()) << "the font presets are never written";

    // What was saved reads back.
    loadSettings();
    EXPECT_EQ(0x123456u, settings.quoteColors[2]);
    EXPECT_EQ(1, settings.quoteItalic);
    EXPECT_EQ(12, settings.marginColumn) << "12 followed by a letter reads as 12";
    EXPECT_EQ(3000, settings.recolorThreshold);
    EXPECT_EQ(255u, settings.sendQuoteColor);
    EXPECT_EQ(1, settings.showRuler);
    EXPECT_STREQ(">,#", quoteMarkers.list);
    EXPECT_EQ(0, settings.ignoreLeadingSpaces);
    EXPECT_EQ(4, settings.ignoreColumn);
    EXPECT_EQ(1, settings.flatToolbar);
}

// Every key holds a value no other key holds: each colour and number its
// own, and the switches in a pattern whose neighbours (and the two tab keys)
// differ, then flipped. A key read into the wrong field, or a field saved
// under the wrong key, then shows in one of the two runs.
TEST_F(Settings, EveryKeyReadsIntoItsOwnFieldAndSavesUnderItsOwnKey)
{
    for (int flip = 0; flip < 2; ++flip) {
        auto on = [&](int bit) { return std::to_string(bit ^ flip); };
        writeMailboxIni("[Editor]\r\nTextColor=2001\r\nBkColor=2002\r\nFontFace=EdFace\r\nFontSize=103\r\nItalic=" +
                        on(1) + "\r\nBold=" + on(0) + "\r\n[Viewer]\r\nFontFace=VwFace\r\nFontSize=104\r\nCharSet=129\r\n");
        // Each page's keys in the order its save writes them; the keys no
        // page shows after them.
        const std::string view = "Change=" + on(1) + "\r\nHeaderChange=" + on(0) + "\r\nItalic=" + on(0) +
            "\r\nBold=" + on(1) + "\r\nLevelColor=" + on(1) + "\r\nAutoColor=" + on(0) +
            "\r\nColor=1001\r\nColor2=1002\r\nColor3=1003\r\nColor4=1004\r\nColor5=1005\r\nHeaderColor=1006\r\n";
        const std::string send = "Change=" + on(0) + "\r\nRuler=" + on(1) + "\r\nTabKey2Space=" + on(1) +
            "\r\nTabCode2Space=" + on(0) + "\r\nFlicker=" + on(1) + "\r\nPasteChange=" + on(0) +
            "\r\nMarginColor=1007\r\nRulerColor=1008\r\nColor=1009\r\nMarginLine=71\r\nRecolorCount=2501\r\n";
        const std::string common =
            "IgnoreSpace=" + on(1) + "\r\nQuaote=3\r\nQuaoteStr=>,#\r\nIgnoreColumn=5\r\nFlatToolBar=" + on(0) + "\r\n";
        writeIni("[View]\r\n" + view + "LevelRepeat=" + on(1) + "\r\nSignatureChange=" + on(0) +
                 "\r\nSignatureColor=1010\r\n[Send]\r\n" + send + "LevelColor=" + on(1) + "\r\nLiveChange=" + on(0) +
                 "\r\n[Common]\r\n" + common + "Tab=6\r\n"
                 "[Font]\r\nNum=1\r\nFontTitle1=T1\r\nFontName1=N1\r\nFontSize1=121\r\nCharSet1=130\r\n"
                 "FontTitle2=T2\r\nFontName2=N2\r\nFontSize2=122\r\nCharSet2=131\r\n");
        loadSettings();
        struct Field { const char* name; long long got, want; };
        // The keys the pages show are read back through the pages themselves
        // (the sheet test's mixed rows) and through the saves below.
        const Field fields[] = {
            {"editorTextColor", settings.editorTextColor, 2001}, {"editorBackColor", settings.editorBackColor, 2002},
            {"editorFontHeight", settings.editorFontHeight, 206}, {"editorFontEffects", settings.editorFontEffects, flip ? 1 : 2},
            {"viewerFontSize", settings.viewerFontSize, 104},     {"viewerCharSet", settings.viewerCharSet, 129},
            {"levelRepeat", settings.levelRepeat, 1 ^ flip},     {"signatureChange", settings.signatureChange, 0 ^ flip},
            {"signatureColor", settings.signatureColor, 1010},   {"sendColorByLevel", settings.sendColorByLevel, 1 ^ flip},
            {"liveChange", settings.liveChange, 0 ^ flip},       {"quoteListLength", settings.quoteListLength, 3},
            {"tabWidth", settings.tabWidth, 6},                  {"fontPresetCount", settings.fontPresetCount, 1},
            {"fontPresets[0].size", settings.fontPresets[0].size, 121},
            {"fontPresets[0].charSet", settings.fontPresets[0].charSet, 130},
            {"fontPresets[1].size", settings.fontPresets[1].size, 122},
            {"fontPresets[1].charSet", settings.fontPresets[1].charSet, 131},
        };
        for (const Field& f : fields)
            EXPECT_EQ(f.want, f.got) << "flip " << flip << ": " << f.name;
        EXPECT_STREQ("EdFace", settings.editorFontFace);
        EXPECT_STREQ("VwFace", settings.viewerFontFace);
        EXPECT_STREQ(">,#", quoteMarkers.list);
        EXPECT_STREQ("T1", settings.fontPresets[0].title);
        EXPECT_STREQ("N1", settings.fontPresets[0].faceName);
        EXPECT_STREQ("T2", settings.fontPresets[1].title);
        EXPECT_STREQ("N2", settings.fontPresets[1].faceName);

        DeleteFileA(iniPath().c_str());
        saveViewSettings();
        saveSendSettings("71", "2501");
        saveCommonSettings(">,#", 3, "5");
        saveOtherSettings();
        for (const char* section : {"View", "Send", "Common"}) {
            const std::string& keys = section[0] == 'V' ? view : section[0] == 'S' ? send : common;
            EXPECT_EQ(sectionLines("[" + std::string(section) + "]\r\n" + keys, section), sectionLines(ini(), section))
                << "flip " << flip;
        }
    }
}

TEST_F(Settings, EmptyMarkerFieldSavedThenStartedGivesEmptyList)
{
    loadSettings();
    saveCommonSettings("", 0, "0");
    EXPECT_EQ(0u, quoteMarkers.room);
    std::vector<std::string> lines = sectionLines(ini(), "Common");
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("Quaote=0", lines[1]);
    EXPECT_EQ("QuaoteStr=", lines[2]);
    EXPECT_EQ(0u, quoteDepth("> x", false));

    loadSettings();
    EXPECT_EQ(15, settings.quoteListLength) << "a stored 0 stands for the default length";
    EXPECT_STREQ("", quoteMarkers.list) << "the key is present and empty";
    EXPECT_EQ(0u, quoteDepth("> x", false));
    EXPECT_EQ(0u, quoteDepth("＞ x", false));
}

TEST_F(Settings, OutOfRangeValuesAreMadeSafe)
{
    writeIni("[Common]\r\nQuaote=-7\r\nTab=256\r\n[Font]\r\nNum=5\r\n"
             "FontTitle1=0123456789012345678901234567890123456789\r\n");
    loadSettings();
    EXPECT_EQ(15, settings.quoteListLength) << "negative length treated as 0, then the default";
    EXPECT_STREQ(DEFAULT_QUOTE_MARKERS, quoteMarkers.list);
    EXPECT_EQ(8u, usableTabWidth(settings.tabWidth)) << "a tab width of 0 falls back to 8";
    EXPECT_EQ(2, settings.fontPresetCount) << "only two presets exist";
    EXPECT_EQ(32u, strlen(settings.fontPresets[0].title)) << "titles keep 32 bytes and their terminator";

    writeIni("[Common]\r\nQuaote=2000000000\r\nQuaoteStr=>\r\n[Font]\r\nNum=-3\r\n");
    loadSettings();
    EXPECT_EQ(MAX_QUOTE_LIST_LENGTH, settings.quoteListLength) << "a huge length is capped";
    EXPECT_EQ(size_t(MAX_QUOTE_LIST_LENGTH), quoteMarkers.room);
    EXPECT_STREQ(">", quoteMarkers.list);
    EXPECT_EQ(0, settings.fontPresetCount);

    writeIni("[Send]\r\nRecolorCount=abc\r\nMarginLine=-5\r\n[View]\r\nColor=-1\r\n");
    loadSettings();
    EXPECT_EQ(0, settings.recolorThreshold) << "no digits read as 0, as the platform does";
    EXPECT_EQ(-5, settings.marginColumn);
    EXPECT_EQ(0xFFFFFFFFu, settings.quoteColors[0]);
}

TEST_F(Settings, OverlongMailboxPathIsRefusedAndDefaultsStand)
{
    writeIni("[View]\r\nColor=255\r\n");
    std::string longDir = mailbox + std::string(300 - mailbox.size(), 'd') + "\\";
    hostSetMailbox(longDir.c_str());
    char path[PATH_BUFFER_SIZE];
    EXPECT_EQ(0, buildIniPath("Huescope.ini", path, sizeof path));
    EXPECT_EQ('\0', path[0]);
    loadSettings();
    EXPECT_EQ(0x808080u, settings.quoteColors[0]);
    saveViewSettings();   // must write nowhere and not overrun
    EXPECT_EQ("[View]\r\nColor=255\r\n", ini());

    // The longest directory that still fits: 247 bytes with "Huescope.ini".
    std::string fits(247, 'x');
    hostSetMailbox(fits.c_str());
    EXPECT_EQ(1, buildIniPath("Huescope.ini", path, sizeof path));
    EXPECT_EQ(259u, strlen(path));
    fits += "y";
    hostSetMailbox(fits.c_str());
    EXPECT_EQ(0, buildIniPath("Huescope.ini", path, sizeof path));
}

}  // namespace
