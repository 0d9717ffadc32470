// What the hostile-input tests count and compare: the plug-in's own heap
// blocks (its C runtime imports redirected to counting wrappers), the GDI
// objects and heap blocks of the whole process, and the time a case takes.
// Header-only: every abuse_*_test.cpp is a program of its own.
#pragma once
#include "wine_support.h"
#include <stdio.h>
#include <string.h>
#include <map>
#include <string>
#include <unordered_map>

namespace abuse {

// ---------------------------------------------------------------------------
// The plug-in's heap blocks. Its malloc, calloc, realloc and free (from
// msvcrt.dll) go through wrappers that remember every block handed out while
// they are installed; a block freed that was not handed out under the
// wrappers (an older one) is merely counted. Everything runs on the one UI
// thread, as the plug-in does.

struct HeapTally {
    std::unordered_map<void*, size_t> live;   // blocks handed out and not yet freed
    size_t allocations = 0, frees = 0, olderFrees = 0;
    void* (*realMalloc)(size_t) = nullptr;
    void* (*realCalloc)(size_t, size_t) = nullptr;
    void* (*realRealloc)(void*, size_t) = nullptr;
    void (*realFree)(void*) = nullptr;
    size_t liveBytes() const
    {
        size_t n = 0;
        for (auto& b : live)
            n += b.second;
        return n;
    }
};

inline HeapTally& tally()
{
    static HeapTally t;
    return t;
}

inline void* countingMalloc(size_t size)
{
    void* p = tally().realMalloc(size);
    if (p) {
        tally().live[p] = size;
        ++tally().allocations;
    }
    return p;
}

inline void* countingCalloc(size_t count, size_t size)
{
    void* p = tally().realCalloc(count, size);
    if (p) {
        tally().live[p] = count * size;
        ++tally().allocations;
    }
    return p;
}

inline void countingFree(void* p)
{
    if (!p)
        return;
    HeapTally& t = tally();
    if (t.live.erase(p))
        ++t.frees;
    else
        ++t.olderFrees;
    t.realFree(p);
}

inline void* countingRealloc(void* p, size_t size)
{
    HeapTally& t = tally();
    bool ours = p && t.live.count(p);
    void* q = t.realRealloc(p, size);
    if (!q)
        return q;   // p, if any, is still there as it was
    if (p)
        t.live.erase(p);
    // A block older than the wrappers stays out of the count when it moves.
    if (!p || ours) {
        t.live[q] = size;
        if (!p)
            ++t.allocations;
    }
    return q;
}

// Installs the wrappers on the plug-in for the life of the object.
class PluginHeapWatch {
public:
    explicit PluginHeapWatch(HMODULE plugin) : module_(plugin)
    {
        HeapTally& t = tally();
        t.live.clear();
        t.allocations = t.frees = t.olderFrees = 0;
        t.realMalloc = reinterpret_cast<void* (*)(size_t)>(swap("malloc", reinterpret_cast<void*>(countingMalloc)));
        t.realCalloc = reinterpret_cast<void* (*)(size_t, size_t)>(swap("calloc", reinterpret_cast<void*>(countingCalloc)));
        t.realRealloc = reinterpret_cast<void* (*)(void*, size_t)>(swap("realloc", reinterpret_cast<void*>(countingRealloc)));
        t.realFree = reinterpret_cast<void (*)(void*)>(swap("free", reinterpret_cast<void*>(countingFree)));
    }
    ~PluginHeapWatch()
    {
        HeapTally& t = tally();
        restore("malloc", reinterpret_cast<void*>(t.realMalloc));
        restore("calloc", reinterpret_cast<void*>(t.realCalloc));
        restore("realloc", reinterpret_cast<void*>(t.realRealloc));
        restore("free", reinterpret_cast<void*>(t.realFree));
    }
    // malloc and free were found: the counts mean something. (calloc and
    // realloc are counted where the plug-in imports them.)
    bool installed() const
    {
        const HeapTally& t = tally();
        return t.realMalloc && t.realFree;
    }
    size_t liveBlocks() const { return tally().live.size(); }
    size_t liveBytes() const { return tally().liveBytes(); }
    size_t allocations() const { return tally().allocations; }

private:
    void* swap(const char* name, void* replacement)
    {
        return redirectImport(module_, "msvcrt.dll", name, replacement);
    }
    void restore(const char* name, void* original)
    {
        if (original)
            redirectImport(module_, "msvcrt.dll", name, original);
    }
    HMODULE module_;
};

// ---------------------------------------------------------------------------
// GDI objects alive in the process. Wine answers GetObjectType for a bare
// handle-table index, so walking the indices finds every live object.
inline int liveGdiObjects()
{
    DWORD gui = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (gui)
        return static_cast<int>(gui);
    int count = 0;
    for (ULONG_PTR index = 1; index < 0x10000; ++index)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)))
            ++count;
    return count;
}

// Busy blocks and bytes over every heap of the process (HeapWalk).
struct HeapSummary { size_t blocks, bytes; };

inline HeapSummary processHeapSummary()
{
    HeapSummary s = {0, 0};
    HANDLE heaps[64];
    DWORD n = GetProcessHeaps(64, heaps);
    if (n > 64)
        n = 64;
    for (DWORD i = 0; i < n; ++i) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
                ++s.blocks;
                s.bytes += entry.cbData;
            }
        }
        HeapUnlock(heaps[i]);
    }
    return s;
}

// ---------------------------------------------------------------------------
// Small things every abuse test reads back.

// Characters a Shift_JIS text takes in a RichEdit 2.0 control.
inline LONG wideLength(const std::string& text)
{
    return MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()), NULL, 0);
}

// The control still answers: a hung or destroyed control gives no length.
inline bool controlAnswers(HWND control)
{
    DWORD_PTR length = 0;
    return IsWindow(control)
        && SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length) != 0;
}

inline std::string hexColor(COLORREF c)
{
    char text[16];
    snprintf(text, sizeof text, "%06lx", static_cast<unsigned long>(c));
    return text;
}

// The first difference between two long texts, for failure messages that
// do not print megabytes.
inline std::string firstDifference(const std::string& expected, const std::string& actual)
{
    size_t i = 0;
    while (i < expected.size() && i < actual.size() && expected[i] == actual[i])
        ++i;
    if (i == expected.size() && i == actual.size())
        return "identical";
    auto around = [i](const std::string& s) {
        size_t from = i < 20 ? 0 : i - 20;
        std::string part = s.substr(from, 60), out;
        for (unsigned char c : part) {
            char hex[8];
            if (c >= 0x20 && c < 0x7F) {
                out += static_cast<char>(c);
            } else {
                snprintf(hex, sizeof hex, "<%02X>", c);
                out += hex;
            }
        }
        return out;
    };
    return "lengths " + std::to_string(expected.size()) + " and " + std::to_string(actual.size())
        + ", first difference at byte " + std::to_string(i) + ": expected \"" + around(expected)
        + "\", got \"" + around(actual) + "\"";
}

inline DWORD elapsedSince(DWORD start)
{
    return GetTickCount() - start;
}

// Tabs replaced by spaces up to the next multiple of width, columns counted
// in bytes from each line's start (from `column` on the first line).
inline std::string expandedTabs(const std::string& text, unsigned width, unsigned column = 0)
{
    std::string out;
    for (char c : text) {
        if (c == '\t') {
            unsigned spaces = width - column % width;
            out.append(spaces, ' ');
            column = 0;
        } else {
            out += c;
            column = (c == '\r' || c == '\n') ? 0 : column + 1;
        }
    }
    return out;
}

} // namespace abuse
