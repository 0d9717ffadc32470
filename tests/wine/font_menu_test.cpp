// The viewer's font-switch menu under Wine: real menus read back with
// GetMenuItemInfoA, commands chosen through the host's WM_COMMAND routing,
// and the viewer's text read back with EM_GETCHARFORMAT.
#include "wine_support.h"
#include <stdio.h>

namespace {

const char SUBMENU_TEXT[] = "フォント切替(&F)";
const char STANDARD_TEXT[] = "標準(&D)";
const int MENU_BAR = 201;
const int CONTEXT_MENU = 202;

struct Preset { std::string title, face; int size, charSet; };

std::string fontIni(int count, const std::vector<Preset>& presets)
{
    std::string ini = "[Font]\r\nNum=" + std::to_string(count) + "\r\n";
    for (size_t i = 0; i < presets.size(); ++i) {
        std::string k = std::to_string(i + 1);
        ini += "FontTitle" + k + "=" + presets[i].title + "\r\n";
        ini += "FontName" + k + "=" + presets[i].face + "\r\n";
        ini += "FontSize" + k + "=" + std::to_string(presets[i].size) + "\r\n";
        ini += "CharSet" + k + "=" + std::to_string(presets[i].charSet) + "\r\n";
    }
    return ini;
}

const Preset GOTHIC = {"Gothic", "Courier New", 90, 0};
const Preset MINCHO = {"明朝体", "ＭＳ 明朝", 120, 128};

struct MenuItem {
    UINT type;
    UINT id;
    HMENU submenu;
    std::string text;
};

MenuItem readItem(HMENU menu, int position)
{
    char text[256] = "";
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text;
    if (!GetMenuItemInfoA(menu, position, TRUE, &info))
        return MenuItem{0xFFFFFFFF, 0, NULL, "<no item>"};
    return MenuItem{info.fType, info.wID, info.hSubMenu, text};
}

// The registrations made since a count taken before.
std::vector<RegisteredCommand> registeredSince(size_t before)
{
    const std::vector<RegisteredCommand>& all = hostRegisteredCommands();
    return std::vector<RegisteredCommand>(all.begin() + before, all.end());
}

class FontMenu : public PluginTest {
protected:
    // The submenu the plug-in appended last to menu: a separator and then
    // the popup, as the two last items.
    HMENU appendedSubmenu(HMENU menu)
    {
        int count = GetMenuItemCount(menu);
        if (count < 2)
            return NULL;
        MenuItem separator = readItem(menu, count - 2);
        MenuItem popup = readItem(menu, count - 1);
        EXPECT_TRUE(separator.type & MFT_SEPARATOR) << "a separator before the submenu";
        EXPECT_EQ(SUBMENU_TEXT, popup.text);
        return popup.submenu;
    }

    // Items of a font submenu: the standard font, then each preset label;
    // their ids must be the commands registered since before, in order,
    // with parameters 0, 1, 2 and one handler.
    void expectSubmenu(HMENU submenu, const std::vector<std::string>& labels, size_t before)
    {
        ASSERT_TRUE(IsMenu(submenu));
        ASSERT_EQ(static_cast<int>(labels.size()) + 1, GetMenuItemCount(submenu));
        std::vector<RegisteredCommand> added = registeredSince(before);
        ASSERT_EQ(labels.size() + 1, added.size()) << "one registration per item";
        for (size_t i = 0; i <= labels.size(); ++i) {
            MenuItem item = readItem(submenu, static_cast<int>(i));
            std::string expected = i == 0 ? STANDARD_TEXT : labels[i - 1];
            EXPECT_EQ(expected, item.text) << "item " << i;
            EXPECT_EQ(0u, item.type & (MFT_SEPARATOR | MFT_BITMAP)) << "item " << i << " is a string";
            EXPECT_EQ(static_cast<UINT>(added[i].id), item.id) << "item " << i;
            EXPECT_EQ(static_cast<int>(i), added[i].param) << "item " << i;
            EXPECT_TRUE(added[i].handler == added[0].handler) << "item " << i << ": one handler";
        }
    }
};

// ---------------------------------------------------------------------------
// Item texts.

struct LabelCase {
    const char* name;
    int count;
    std::vector<Preset> presets;
    std::vector<std::string> labels;
};

class FontMenuLabels : public FontMenu, public ::testing::WithParamInterface<LabelCase> {};

TEST_P(FontMenuLabels, MenuBarSubmenuHoldsStandardAndPresets)
{
    const LabelCase& c = GetParam();
    writeIni(fontIni(c.count, c.presets));
    start();
    HMENU bar = hostBuildViewerMenuBar();
    HMENU target = GetSubMenu(bar, 2);
    size_t before = hostRegisteredCommands().size();
    plugin.viewInitMenu(0, bar, MENU_BAR);
    ASSERT_EQ(3, GetMenuItemCount(target)) << "the host's item, a separator and the submenu";
    for (int other : {0, 1, 3})
        EXPECT_EQ(1, GetMenuItemCount(GetSubMenu(bar, other))) << "only the third menu changes";
    expectSubmenu(appendedSubmenu(target), c.labels, before);
    DestroyMenu(bar);
}

const std::string TITLE_32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
const std::string TITLE_32_DBCS = "一二三四五六七八九十壱弐参四五六";

const LabelCase LABEL_CASES[] = {
    {"OnePresetGothic", 1, {GOTHIC}, {"Gothic(&1)"}},
    {"EmptyTitle", 1, {{"", "Courier New", 90, 0}}, {"(&1)"}},
    {"TwoPresets", 2, {GOTHIC, MINCHO}, {"Gothic(&1)", "明朝体(&2)"}},
    {"LongestTitles", 2, {{TITLE_32, "A", 90, 0}, {TITLE_32_DBCS, "B", 90, 0}},
     {TITLE_32 + "(&1)", TITLE_32_DBCS + "(&2)"}},
    {"CountAboveTheTable", 7, {GOTHIC, MINCHO}, {"Gothic(&1)", "明朝体(&2)"}},
};

INSTANTIATE_TEST_SUITE_P(Texts, FontMenuLabels, ::testing::ValuesIn(LABEL_CASES),
                         [](const ::testing::TestParamInfo<LabelCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Building and registering, by menu kind.

TEST_F(FontMenu, TwoMenuBarsShareOneSubmenuRegisteredOnce)
{
    writeIni(fontIni(2, {GOTHIC, MINCHO}));
    start();
    HMENU first = hostBuildViewerMenuBar(), second = hostBuildViewerMenuBar();
    size_t before = hostRegisteredCommands().size();
    plugin.viewInitMenu(0, first, MENU_BAR);
    HMENU submenu = appendedSubmenu(GetSubMenu(first, 2));
    expectSubmenu(submenu, {"Gothic(&1)", "明朝体(&2)"}, before);

    plugin.viewInitMenu(0, second, MENU_BAR);
    EXPECT_EQ(before + 3, hostRegisteredCommands().size()) << "no new registrations";
    EXPECT_EQ(3, GetMenuItemCount(GetSubMenu(second, 2)));
    EXPECT_EQ(submenu, appendedSubmenu(GetSubMenu(second, 2))) << "the same submenu in both menus";
    // The first bar owns the submenu; the second must not destroy it too.
    RemoveMenu(GetSubMenu(second, 2), 2, MF_BYPOSITION);
    DestroyMenu(second);
    DestroyMenu(first);
}

TEST_F(FontMenu, EveryContextMenuGetsAFreshSubmenu)
{
    writeIni(fontIni(1, {GOTHIC}));
    start();
    HMENU bar = hostBuildViewerMenuBar();
    plugin.viewInitMenu(0, bar, MENU_BAR);
    HMENU barSubmenu = appendedSubmenu(GetSubMenu(bar, 2));

    HMENU firstMenu = CreatePopupMenu();
    size_t before = hostRegisteredCommands().size();
    plugin.viewInitMenu(0, firstMenu, CONTEXT_MENU);
    ASSERT_EQ(2, GetMenuItemCount(firstMenu)) << "a separator and the submenu, on the menu itself";
    HMENU firstSubmenu = appendedSubmenu(firstMenu);
    expectSubmenu(firstSubmenu, {"Gothic(&1)"}, before);
    EXPECT_NE(barSubmenu, firstSubmenu);

    HMENU secondMenu = CreatePopupMenu();
    before = hostRegisteredCommands().size();
    plugin.viewInitMenu(0, secondMenu, CONTEXT_MENU);
    HMENU secondSubmenu = appendedSubmenu(secondMenu);
    expectSubmenu(secondSubmenu, {"Gothic(&1)"}, before);
    EXPECT_FALSE(IsMenu(firstSubmenu)) << "the previous context submenu is destroyed";
    EXPECT_TRUE(IsMenu(barSubmenu)) << "the menu-bar submenu is kept";
    EXPECT_EQ(barSubmenu, appendedSubmenu(GetSubMenu(bar, 2)));

    // The host may have destroyed the context menu, with its submenu, first.
    DestroyMenu(secondMenu);
    EXPECT_FALSE(IsMenu(secondSubmenu));
    HMENU thirdMenu = CreatePopupMenu();
    before = hostRegisteredCommands().size();
    plugin.viewInitMenu(0, thirdMenu, CONTEXT_MENU);
    expectSubmenu(appendedSubmenu(thirdMenu), {"Gothic(&1)"}, before);
    RemoveMenu(firstMenu, 1, MF_BYPOSITION);   // its submenu is gone already
    DestroyMenu(firstMenu);
    DestroyMenu(thirdMenu);
    DestroyMenu(bar);
}

TEST_F(FontMenu, FirstCallOfContextKindBuildsBothSubmenus)
{
    writeIni(fontIni(1, {GOTHIC}));
    start();
    HMENU context = CreatePopupMenu();
    size_t before = hostRegisteredCommands().size();
    plugin.viewInitMenu(0, context, CONTEXT_MENU);
    std::vector<RegisteredCommand> added = registeredSince(before);
    ASSERT_EQ(4u, added.size()) << "two submenus of two items each";
    HMENU contextSubmenu = appendedSubmenu(context);
    ASSERT_TRUE(IsMenu(contextSubmenu));
    EXPECT_EQ(static_cast<UINT>(added[2].id), readItem(contextSubmenu, 0).id)
        << "the menu-bar submenu is built first";

    HMENU bar = hostBuildViewerMenuBar();
    before = hostRegisteredCommands().size();
    plugin.viewInitMenu(0, bar, MENU_BAR);
    EXPECT_EQ(before, hostRegisteredCommands().size()) << "the menu-bar submenu was built already";
    HMENU barSubmenu = appendedSubmenu(GetSubMenu(bar, 2));
    ASSERT_TRUE(IsMenu(barSubmenu));
    EXPECT_NE(contextSubmenu, barSubmenu);
    EXPECT_EQ(static_cast<UINT>(added[0].id), readItem(barSubmenu, 0).id);
    EXPECT_EQ(static_cast<UINT>(added[1].id), readItem(barSubmenu, 1).id);
    DestroyMenu(context);
    DestroyMenu(bar);
}

TEST_F(FontMenu, UnknownKindAddsNothingButBuildsTheMenuBarSubmenu)
{
    writeIni(fontIni(2, {GOTHIC, MINCHO}));
    start();
    HMENU bar = hostBuildViewerMenuBar();
    size_t before = hostRegisteredCommands().size();
    for (int kind : {301, 0, -1})
        plugin.viewInitMenu(0, bar, kind);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(1, GetMenuItemCount(GetSubMenu(bar, i))) << "menu " << i << " unchanged";
    EXPECT_EQ(4, GetMenuItemCount(bar));
    EXPECT_EQ(before + 3, hostRegisteredCommands().size()) << "built once, on the first call";

    plugin.viewInitMenu(0, bar, MENU_BAR);
    EXPECT_EQ(before + 3, hostRegisteredCommands().size()) << "a later menu bar registers nothing new";
    HMENU submenu = appendedSubmenu(GetSubMenu(bar, 2));
    EXPECT_EQ(static_cast<UINT>(hostRegisteredCommands()[before].id), readItem(submenu, 0).id);
    DestroyMenu(bar);
}

struct NoPresetCase { const char* name; const char* ini; };

class FontMenuWithoutPresets : public FontMenu, public ::testing::WithParamInterface<NoPresetCase> {};

TEST_P(FontMenuWithoutPresets, NoItemsNoRegistrations)
{
    writeIni(GetParam().ini);
    start();
    HMENU bar = hostBuildViewerMenuBar();
    HMENU context = CreatePopupMenu();
    size_t before = hostRegisteredCommands().size();
    plugin.viewInitMenu(0, bar, MENU_BAR);
    plugin.viewInitMenu(0, context, CONTEXT_MENU);
    plugin.viewInitMenu(0, bar, 999);
    EXPECT_EQ(1, GetMenuItemCount(GetSubMenu(bar, 2)));
    EXPECT_EQ(0, GetMenuItemCount(context));
    EXPECT_EQ(before, hostRegisteredCommands().size());
    DestroyMenu(bar);
    DestroyMenu(context);
}

const NoPresetCase NO_PRESET_CASES[] = {
    {"NoIniFile", ""},
    {"CountZeroWithPresetsWritten", "[Font]\r\nNum=0\r\nFontTitle1=Gothic\r\nFontName1=Arial\r\n"},
    {"NegativeCount", "[Font]\r\nNum=-3\r\nFontTitle1=Gothic\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Counts, FontMenuWithoutPresets, ::testing::ValuesIn(NO_PRESET_CASES),
                         [](const ::testing::TestParamInfo<NoPresetCase>& info) { return std::string(info.param.name); });

TEST_F(FontMenu, MenuBarWithoutAThirdMenuGetsNothing)
{
    writeIni(fontIni(1, {GOTHIC}));
    start();
    HMENU bar = CreateMenu();
    HMENU only = CreatePopupMenu();
    AppendMenuA(only, MF_STRING, 100, "x");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(only), "File");
    plugin.viewInitMenu(0, bar, MENU_BAR);
    EXPECT_EQ(1, GetMenuItemCount(bar));
    EXPECT_EQ(1, GetMenuItemCount(only));
    DestroyMenu(bar);
}

// ---------------------------------------------------------------------------
// Choosing a font.

struct FontRead { LONG height; std::string face; BYTE charSet; DWORD mask; };

// The font of all the text, as one selection.
FontRead readFont(HWND control, LONG from = 0, LONG to = -1)
{
    CHARRANGE old, all = {from, to};
    SendMessageA(control, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&old));
    SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
    CHARFORMATA cf = {};
    cf.cbSize = sizeof cf;
    SendMessageA(control, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&old));
    return FontRead{cf.yHeight, cf.szFaceName, cf.bCharSet, cf.dwMask};
}

const char VIEWER_INI[] = "[Viewer]\r\nFontFace=ＭＳ ゴシック\r\nFontSize=100\r\nCharSet=128\r\n";

class FontChoice : public FontMenu {
protected:
    // A viewer showing the sample message with its menu bar built.
    HWND openViewer(HWND* control)
    {
        HWND viewer = track(hostCreateViewerWindow(RICHEDIT_20A, "Quillpost - font", 0, 0, 600, 400));
        HMENU bar = hostBuildViewerMenuBar();
        plugin.viewInitMenu(0, bar, MENU_BAR);
        SetMenu(viewer, bar);
        plugin.viewCreate(viewer);
        *control = hostEditControl(viewer);
        hostStreamPieces(*control, hostRtfPieces(hostSampleMessage()));
        return viewer;
    }

    UINT commandId(HWND viewer, int position)
    {
        return readItem(appendedSubmenu(GetSubMenu(GetMenu(viewer), 2)), position).id;
    }

    static void expectFont(HWND control, LONG height, const std::string& face, BYTE charSet, const char* what)
    {
        FontRead f = readFont(control);
        DWORD uniform = CFM_SIZE | CFM_FACE | CFM_CHARSET;
        EXPECT_EQ(uniform, f.mask & uniform) << what << ": one font over all the text";
        EXPECT_EQ(height, f.height) << what;
        EXPECT_EQ(face, f.face) << what;
        EXPECT_EQ(charSet, f.charSet) << what;
    }
};

TEST_F(FontChoice, EachItemSetsFaceSizeAndCharacterSetOfAllTheText)
{
    writeMailboxIni(VIEWER_INI);
    writeIni(fontIni(2, {GOTHIC, MINCHO}) + "[View]\r\nColor=255\r\n");
    start();
    HWND control;
    HWND viewer = openViewer(&control);
    HostMessage m = hostSampleMessage();
    LONG quoted = findInControl(control, m.body[4].c_str());
    ASSERT_GE(quoted, 0);
    std::string text = controlText(control);

    struct Case { int position; LONG height; std::string face; BYTE charSet; };
    const Case cases[] = {
        {1, 180, "Courier New", 0},
        {0, 200, "ＭＳ ゴシック", 128},
        {2, 240, "ＭＳ 明朝", 128},
        {0, 200, "ＭＳ ゴシック", 128},
    };
    for (const Case& c : cases) {
        std::string what = "item " + std::to_string(c.position);
        SendMessageA(viewer, WM_COMMAND, MAKEWPARAM(commandId(viewer, c.position), 0), 0);
        expectFont(control, c.height, c.face, c.charSet, what.c_str());
        CharFormatRead colour = readCharFormat(control, quoted, quoted + 5);
        EXPECT_EQ(RGB(255, 0, 0), colour.color) << what << ": the quote colour stays";
    }
    EXPECT_EQ(text, controlText(control)) << "the text stays as it was";
}

// The record's face name holds 31 bytes and a terminator; a name of 32
// bytes is cut, never inside a double-byte character.
TEST_F(FontChoice, LongestFaceNamesAreCutToFit)
{
    const std::string face32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    const std::string faceDbcs = "一二三四五六七八九十壱弐参四五六";   // 16 characters, 32 bytes
    ASSERT_EQ(32u, face32.size());
    ASSERT_EQ(32u, faceDbcs.size());
    writeMailboxIni("[Viewer]\r\nFontFace=" + face32 + "\r\nFontSize=110\r\nCharSet=0\r\n");
    writeIni(fontIni(2, {{"ascii", face32, 90, 0}, {"kanji", faceDbcs, 100, 128}}));
    start();
    HWND control;
    HWND viewer = openViewer(&control);
    struct Case { int position; LONG height; std::string face; BYTE charSet; };
    const Case cases[] = {
        {0, 220, face32.substr(0, 31), 0},
        {1, 180, face32.substr(0, 31), 0},
        {2, 200, faceDbcs.substr(0, 30), 128},
    };
    for (const Case& c : cases) {
        std::string what = "item " + std::to_string(c.position);
        SendMessageA(viewer, WM_COMMAND, MAKEWPARAM(commandId(viewer, c.position), 0), 0);
        expectFont(control, c.height, c.face, c.charSet, what.c_str());
    }
}

// A stand-in rich edit control that records the exact EM_SETCHARFORMAT
// request: the class name makes the plug-in take it for RichEdit 2.0.
struct SetCharFormatCall { WPARAM scope; std::string bytes; };
std::vector<SetCharFormatCall> capturedCalls;

LRESULT CALLBACK captureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == EM_SETCHARFORMAT) {
        const char* record = reinterpret_cast<const char*>(lParam);
        capturedCalls.push_back({wParam, std::string(record, sizeof(CHARFORMATA))});
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND createCaptureViewer()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = captureProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "RichEdit20Capture";
    RegisterClassA(&wc);
    HWND frame = CreateWindowExA(0, "STATIC", "capture viewer", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL, NULL,
                                 GetModuleHandleA(NULL), NULL);
    CreateWindowExA(0, "RichEdit20Capture", "", WS_CHILD, 0, 0, 100, 50, frame, NULL, GetModuleHandleA(NULL), NULL);
    return frame;
}

// The bytes of the face name, up to its terminator, which must lie within
// the record's 32 bytes.
std::string faceBytes(const CHARFORMATA& cf)
{
    const char* end = static_cast<const char*>(memchr(cf.szFaceName, 0, sizeof cf.szFaceName));
    if (!end)
        return "<no terminator>";
    return std::string(cf.szFaceName, end);
}

TEST_F(FontChoice, RequestRecordHoldsExactlyTheFontFields)
{
    const std::string face32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    const std::string faceDbcs = "一二三四五六七八九十壱弐参四五六";
    writeMailboxIni("[Viewer]\r\nFontFace=" + faceDbcs + "\r\nFontSize=105\r\nCharSet=128\r\n");
    writeIni(fontIni(2, {{"ascii", face32, 90, 0}, {"short", "Arial", 1, 186}}));
    start();
    HMENU bar = hostBuildViewerMenuBar();
    size_t before = hostRegisteredCommands().size();
    plugin.viewInitMenu(0, bar, MENU_BAR);
    std::vector<RegisteredCommand> commands = registeredSince(before);
    ASSERT_EQ(3u, commands.size());
    HWND viewer = track(createCaptureViewer());

    struct Case { int param; LONG height; std::string face; BYTE charSet; };
    const Case cases[] = {
        {0, 210, faceDbcs.substr(0, 30), 128},
        {1, 180, face32.substr(0, 31), 0},
        {2, 2, "Arial", 186},
    };
    for (const Case& c : cases) {
        capturedCalls.clear();
        int result = 0;
        ASSERT_TRUE(hostRouteCommand(viewer, commands[c.param].id, &result));
        EXPECT_EQ(1, result) << "param " << c.param << ": the control's answer comes back";
        ASSERT_EQ(1u, capturedCalls.size()) << "param " << c.param;
        EXPECT_EQ(static_cast<WPARAM>(SCF_ALL), capturedCalls[0].scope);
        CHARFORMATA cf;
        memcpy(&cf, capturedCalls[0].bytes.data(), sizeof cf);
        EXPECT_EQ(60u, cf.cbSize);
        EXPECT_EQ(0xA8000000u, cf.dwMask) << "size, face and character set only";
        EXPECT_EQ(c.height, cf.yHeight) << "param " << c.param;
        EXPECT_EQ(c.charSet, cf.bCharSet) << "param " << c.param;
        EXPECT_EQ(c.face, faceBytes(cf)) << "param " << c.param;
    }
    DestroyMenu(bar);
}

TEST_F(FontChoice, HandlerWithoutRichEditOrUnknownFontDoesNothing)
{
    writeMailboxIni(VIEWER_INI);
    writeIni(fontIni(1, {GOTHIC}));
    start();
    HWND control;
    HWND viewer = openViewer(&control);
    FontRead before = readFont(control);
    UINT standard = commandId(viewer, 0);
    const RegisteredCommand* command = NULL;
    for (const RegisteredCommand& c : hostRegisteredCommands())
        if (static_cast<UINT>(c.id) == standard)
            command = &c;
    ASSERT_TRUE(command != NULL);

    HWND folder = track(hostCreateFolderWindow("Quillpost - folder"));
    int result = -1;
    ASSERT_TRUE(hostRouteCommand(folder, static_cast<int>(standard), &result));
    EXPECT_EQ(0, result) << "no rich edit control: 0";

    for (int param : {2, 3, -1, 1000}) {
        EXPECT_EQ(0, command->handler(viewer, param)) << "parameter " << param;
        FontRead after = readFont(control);
        EXPECT_EQ(before.height, after.height) << "parameter " << param;
        EXPECT_EQ(before.face, after.face) << "parameter " << param;
    }
    EXPECT_NE(0, command->handler(viewer, 1)) << "the one preset offered applies";
    EXPECT_EQ("Courier New", readFont(control).face);
}

} // namespace
