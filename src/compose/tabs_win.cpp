// Tab characters kept out of the compose text: tabs in text that enters the
// control become spaces, and the Tab key types spaces. The column arithmetic
// is the core's (tab_expand.h); this file reads where the caret stands and
// talks to the control and the input method.
#include <stdlib.h>
#include <string.h>
#include "compose/compose.h"
#include <imm.h>
#include "compose/tab_expand.h"

// Where the selection starts and where the caret's line starts, in the
// control's positions.
static void readCaretLine(HWND control, CHARRANGE* selection, uint32_t* lineStart)
{
    *selection = CHARRANGE{0, 0};
    SendMessageA(control, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(selection));
    *lineStart = static_cast<uint32_t>(SendMessageA(control, EM_LINEINDEX, static_cast<WPARAM>(-1), 0));
}

static void releaseConversionBuffer()
{
    free(compose.conversionBuffer);
    compose.conversionBuffer = NULL;
}

// The result is either text itself or conversionBuffer, which the caller
// borrows until the next conversion. Anything that fails leaves the text as
// it came, tabs and all, rather than losing it.
const char* expandTabs(HWND control, const char* text)
{
    if (!settings.tabCodeToSpaces || !text || !text[0])
        return text;
    releaseConversionBuffer();
    const size_t tabs = countTabs(text);
    if (tabs == 0)
        return text;
    const size_t capacity = expandedCapacity(tabs, strlen(text), settings.tabWidth);
    if (capacity == 0)
        return text;
    char* out = static_cast<char*>(malloc(capacity));
    if (!out)
        return text;
    CHARRANGE selection;
    uint32_t lineStart;
    readCaretLine(control, &selection, &lineStart);
    // A selection that begins on an earlier line than the caret's (a
    // re-insertion of several lines) counts its first line from column 0.
    const unsigned startColumn = insertionStartColumn(static_cast<uint32_t>(selection.cpMin), lineStart);
    if (expandTabsInto(text, startColumn, settings.tabWidth, out, capacity) == static_cast<size_t>(-1)) {
        free(out);
        return text;
    }
    compose.conversionBuffer = out;
    return out;
}

// The spaces go in while the input method is switched to plain alphanumeric
// input, so that they arrive as the half-width spaces the column count
// assumes; its modes are put back afterwards. Modes that cannot be read are
// not touched, since they could not be restored.
LRESULT typeTabAsSpaces(HWND control)
{
    HIMC context = ImmGetContext(control);
    DWORD conversion = 0, sentence = 0;
    bool switched = false;
    if (context && ImmGetOpenStatus(context) && ImmGetConversionStatus(context, &conversion, &sentence)) {
        ImmSetConversionStatus(context, 0, 0);
        switched = true;
    }
    CHARRANGE selection;
    uint32_t lineStart;
    readCaretLine(control, &selection, &lineStart);
    const unsigned column = static_cast<uint32_t>(selection.cpMax) - lineStart;
    const unsigned count = spacesForTabKey(column, settings.tabWidth);
    for (unsigned i = 0; i < count; ++i)
        SendMessageA(control, WM_CHAR, ' ', 0);
    if (switched)
        ImmSetConversionStatus(context, conversion, sentence);
    if (context)
        ImmReleaseContext(control, context);
    return 1;
}
