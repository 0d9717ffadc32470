// Streaming a message into the viewer as RTF, one line of RTF per piece.
#include <stdio.h>
#include <string.h>
#include <richedit.h>
#include "host.h"

std::vector<std::string> hostRtfPieces(const HostMessage& message)
{
    std::vector<std::string> pieces;
    pieces.push_back("{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fmodern\\fcharset128 "
                     "\\'82\\'6c\\'82\\'72 \\'83\\'53\\'83\\'56\\'83\\'62\\'83\\'4e;}}\r\n");
    pieces.push_back("{\\colortbl ;\\red0\\green0\\blue0;}\r\n");
    pieces.push_back("\\viewkind4\\uc1\\pard\r\n");
    pieces.push_back(hostRtfHeaderPiece("From:", message.from));
    pieces.push_back(hostRtfHeaderPiece("Subject:", message.subject));
    pieces.push_back(hostRtfHeaderPiece("Date:", message.date));
    pieces.push_back("\\plain\\fs20\\cf0\\par\r\n");
    for (const std::string& line : message.body)
        pieces.push_back(hostRtfBodyPiece(line));
    pieces.push_back("}\r\n");
    return pieces;
}

struct StreamCursor {
    const std::vector<std::string>* pieces;
    size_t index;
    size_t offset;
};

// Writes the next piece, zero-terminated, into the control's buffer. A piece
// longer than the buffer goes over several calls.
static DWORD CALLBACK pieceCallback(DWORD_PTR cookie, LPBYTE buffer, LONG cb, LONG* pcb)
{
    StreamCursor* cursor = reinterpret_cast<StreamCursor*>(cookie);
    *pcb = 0;
    if (cb <= 0)
        return 0;
    if (cursor->index >= cursor->pieces->size()) {
        buffer[0] = 0;
        return 0;
    }
    const std::string& piece = (*cursor->pieces)[cursor->index];
    size_t rest = piece.size() - cursor->offset;
    size_t n = rest < static_cast<size_t>(cb - 1) ? rest : static_cast<size_t>(cb - 1);
    memcpy(buffer, piece.data() + cursor->offset, n);
    buffer[n] = 0;
    cursor->offset += n;
    if (cursor->offset >= piece.size()) {
        cursor->index++;
        cursor->offset = 0;
    }
    *pcb = static_cast<LONG>(n);
    return 0;
}

LRESULT hostStreamPieces(HWND control, const std::vector<std::string>& pieces)
{
    StreamCursor cursor = {&pieces, 0, 0};
    EDITSTREAM es = {};
    es.dwCookie = reinterpret_cast<DWORD_PTR>(&cursor);
    es.pfnCallback = pieceCallback;
    return SendMessageA(control, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&es));
}
