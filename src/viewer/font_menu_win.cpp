// The viewer's font-switch menu: the host's viewer font and up to two preset
// fonts from [Font] of Huescope.ini, applied to all the text of the viewer.
#include <stdio.h>
#include <string.h>
#include "shell/exports.h"
#include "shell/plugin_state.h"
#include "viewer/viewer.h"

static const int VIEWER_MENU_BAR = 201;
static const int VIEWER_CONTEXT_MENU = 202;
static const int MENU_BAR_TARGET_POSITION = 2;   // the third menu from the left
static const char SUBMENU_TEXT[] = "フォント切替(&F)";
static const char STANDARD_FONT_TEXT[] = "標準(&D)";
// 32 bytes of title, "(&k)" and the terminator take 37 bytes.
static const size_t PRESET_LABEL_SIZE = 40;

// Commands are registered anew for every submenu, in item order.
static HMENU buildFontSubmenu()
{
    HMENU submenu = CreateMenu();
    if (!submenu)
        return NULL;
    int id = state.host.registCallback(fontMenuCommand, 0);
    AppendMenuA(submenu, MF_STRING, static_cast<UINT_PTR>(id), STANDARD_FONT_TEXT);
    int count = settings.fontPresetCount;
    for (int k = 1; k <= count; ++k) {
        id = state.host.registCallback(fontMenuCommand, k);
        char label[PRESET_LABEL_SIZE];
        snprintf(label, sizeof label, "%s(&%d)", settings.fontPresets[k - 1].title, k);
        AppendMenuA(submenu, MF_STRING, static_cast<UINT_PTR>(id), label);
    }
    return submenu;
}

// The menu-bar submenu is built once and shared by every menu bar; the
// context menu's is rebuilt each time, the previous one destroyed first (a
// handle the host already destroyed with its menu just fails).
HUESCOPE_EXPORT void WINAPI ZekViewInitMenu(int, HMENU menu, int kind)
{
    if (settings.fontPresetCount == 0 || !state.host.registCallback)
        return;
    if (!viewer.barPopup)
        viewer.barPopup = buildFontSubmenu();
    HMENU target = NULL;
    HMENU popup = NULL;
    if (kind == VIEWER_MENU_BAR) {
        target = GetSubMenu(menu, MENU_BAR_TARGET_POSITION);
        popup = viewer.barPopup;
    } else if (kind == VIEWER_CONTEXT_MENU) {
        DestroyMenu(viewer.ctxPopup);
        viewer.ctxPopup = buildFontSubmenu();
        target = menu;
        popup = viewer.ctxPopup;
    } else {
        return;
    }
    if (!popup)
        return;
    AppendMenuA(target, MF_SEPARATOR, 0, NULL);
    AppendMenuA(target, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), SUBMENU_TEXT);
}

// szFaceName holds 31 bytes and its terminator. A longer name is cut, and
// never between the two bytes of a double-byte character.
static void copyFaceName(char* faceName, size_t size, const char* source)
{
    size_t length = 0;
    while (source[length]) {
        size_t step = (IsDBCSLeadByte(static_cast<BYTE>(source[length])) && source[length + 1]) ? 2 : 1;
        if (length + step >= size)
            break;
        length += step;
    }
    memcpy(faceName, source, length);
    faceName[length] = '\0';
}

// The font is applied to all the text of the viewer; no setting changes.
int WINAPI fontMenuCommand(HWND window, int param)
{
    if (param < 0 || param > settings.fontPresetCount)
        return 0;
    HWND control = findRichEdit(window, NULL);
    if (!control)
        return 0;
    CHARFORMATA format;
    memset(&format, 0, sizeof format);
    format.cbSize = sizeof format;
    format.dwMask = CFM_SIZE | CFM_FACE | CFM_CHARSET;
    if (param == 0) {
        format.bCharSet = settings.viewerCharSet;
        copyFaceName(format.szFaceName, sizeof format.szFaceName, settings.viewerFontFace);
        format.yHeight = twipsFromTenths(settings.viewerFontSize);
    } else {
        const FontPreset& preset = settings.fontPresets[param - 1];
        format.bCharSet = preset.charSet;
        copyFaceName(format.szFaceName, sizeof format.szFaceName, preset.faceName);
        format.yHeight = twipsFromTenths(preset.size);
    }
    return static_cast<int>(SendMessageA(control, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format)));
}
