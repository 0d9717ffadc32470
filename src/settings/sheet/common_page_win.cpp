// The Common page: how quote markers are recognised, in the viewer and the
// compose window alike.
#include <stdlib.h>
#include <string.h>
#include "shell/plugin_state.h"
#include "shell/resource.h"
#include "settings/sheet/sheet.h"

// The marker list is a byte count in the file. EM_LINELENGTH counts bytes
// on a Windows ANSI edit control but characters where the control keeps its
// text in UTF-16 (Wine), which would cut a Japanese list; the byte length
// from WM_GETTEXTLENGTH is never shorter, so the larger of the two sizes the
// buffer and the bytes actually read are what is stored. Returns NULL when
// the buffer cannot be had.
static char* readMarkerText(HWND page, size_t* length)
{
    HWND field = GetDlgItem(page, IDC_COMMON_MARKERS);
    LRESULT lineLength = SendMessageA(field, EM_LINELENGTH, 0, 0);
    LRESULT textLength = SendMessageA(field, WM_GETTEXTLENGTH, 0, 0);
    LRESULT longest = lineLength > textLength ? lineLength : textLength;
    size_t n = longest > 0 ? static_cast<size_t>(longest) : 0;
    if (n > static_cast<size_t>(MAX_QUOTE_LIST_LENGTH))
        n = MAX_QUOTE_LIST_LENGTH;   // what the settings would keep anyway
    char* text = static_cast<char*>(malloc(n + 1));
    if (!text)
        return NULL;
    text[0] = '\0';
    SendMessageA(field, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(text));
    text[n] = '\0';
    *length = strlen(text);
    return text;
}

// Without room for the marker text nothing is taken from the page and
// nothing is written: the group stays as it was, in memory and on disk.
static void applyCommonPage(HWND page)
{
    size_t markerLength = 0;
    char* markers = readMarkerText(page, &markerLength);
    if (!markers)
        return;
    char columnText[NUMBER_TEXT_SIZE];
    readNumberText(page, IDC_COMMON_IGNORE_COLUMN, columnText);
    takePageKeys(page, COMMON_KEYS);
    settings.ignoreColumn = atoi(columnText);
    saveCommonSettings(markers, static_cast<int>(markerLength), columnText);
    free(markers);
}

const PageRules COMMON_PAGE = {COMMON_KEYS, NULL, NULL, applyCommonPage};
