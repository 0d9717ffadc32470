// Which bytes open and close a double-byte character of the ANSI code page.
// The core never asks the platform: the Win32 side fills a table once from the
// system's code page, native tests use code page 932's ranges.
#pragma once
#include <cstddef>
#include <cstdint>

struct DbcsTable {
    uint8_t lead[256];
    uint8_t trail[256];
};

// Code page 932 (Shift_JIS): lead 81-9F, E0-FC; trail 40-7E, 80-FC.
const DbcsTable& cp932Table();
// The system's, filled once from the ANSI code page (Win32 side only).
const DbcsTable& systemDbcsTable();

inline bool isLeadByte(const DbcsTable& t, unsigned char b) { return t.lead[b] != 0; }
inline bool isTrailByte(const DbcsTable& t, unsigned char b) { return t.trail[b] != 0; }

// Whether s[0..length) ends in a lead byte that no trail byte follows: half
// a character, walking from the start.
bool endsInLoneLeadByte(const char* s, size_t length, const DbcsTable& t);
