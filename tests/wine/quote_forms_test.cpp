// The marker list's compared forms are built once, when a list is applied
// (loaded at start-up or saved from the options), not on every line: these
// tests load and save lists through real INI files and check that the forms
// in use are always the current list's, in plain text and in RTF, with the
// settings and quote code compiled into this program.
#include "settings_support.h"
#include <string.h>
#include <string>

PluginState state;

namespace {

class QuoteForms : public SettingsFixture {};

struct DepthCase {
    const char* text;
    bool rtf;
    unsigned depth;
};

void expectDepths(const std::string& what, const DepthCase* cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        unsigned got = quoteDepth(cases[i].text, cases[i].rtf);
        EXPECT_EQ(cases[i].depth, got) << what << ", case " << i << " (" << cases[i].text
                                       << (cases[i].rtf ? ", RTF" : ", plain") << "): expected "
                                       << cases[i].depth << ", got " << got;
    }
}

} // namespace

TEST_F(QuoteForms, ListLoadedAtStartUpIsPrepared)
{
    writeIni("[Common]\r\nIgnoreSpace=1\r\nQuaote=6\r\nQuaoteStr=＞,#,|\r\n");
    loadSettings();
    ASSERT_STREQ("＞,#,|", quoteMarkers.list);
    const DepthCase cases[] = {
        {"＞＞ x", false, 2},
        {"# | x", false, 2},
        {"> x", false, 0},
        {"  # x", false, 1},
        {"\\'81\\'84 # x\\par", true, 2},
        {"\\'81\\'84\\'81\\'84| x\\par", true, 3},
        {"\\'81\\'84 > x\\par", true, 1},
        {"\\'81\\'e3 x\\par", true, 0},
    };
    expectDepths("loaded list", cases, sizeof cases / sizeof cases[0]);
}

TEST_F(QuoteForms, DefaultListWithoutFileIsPrepared)
{
    loadSettings();
    const DepthCase cases[] = {
        {"> > x", false, 2},
        {"＞｜ x", false, 2},
        {"》≫| x", false, 3},
        {"x ＞", false, 0},
        {"\\'81\\'62\\'81\\'74\\'81\\'e2> | x\\par", true, 5},
        {"\\'81\\'E2 x\\par", true, 0},
    };
    expectDepths("default list", cases, sizeof cases / sizeof cases[0]);
}

// Each save applies a new list at once: the old list's markers stop
// matching, the new ones match, whether the list grows, shrinks or empties.
TEST_F(QuoteForms, EverySavedListTakesEffectAtOnce)
{
    loadSettings();
    struct Step {
        const char* list;
        DepthCase cases[3];
    } steps[] = {
        {"#", {{"# x", false, 1}, {"> x", false, 0}, {"#\\par", true, 1}}},
        {">>,>", {{">>> x", false, 2}, {"# x", false, 0}, {">>>\\par", true, 2}}},
        {"", {{"> x", false, 0}, {"# x", false, 0}, {">\\par", true, 0}}},
        {",,＃,,", {{"＃＃ x", false, 2}, {", x", false, 0}, {"\\'81\\'94 x", true, 1}}},
        // Half a character matches nowhere; a half-width katakana is whole.
        {"\x81", {{"\x81\x84 x", false, 0}, {"\\'81\\' 0", true, 0}, {"\x81\x40x", false, 0}}},
        {"\xB1", {{"\xB1\xB1 x", false, 2}, {"\x81\x84 x", false, 0}, {"> x", false, 0}}},
        {">,|,＞,＃,a,b,c,d,e,f",
         {{"f e > x", false, 3}, {"＃ｘ", false, 1}, {"\\'81\\'94f\\par", true, 2}}},
    };
    for (const Step& step : steps) {
        saveCommonSettings(step.list, static_cast<int>(strlen(step.list)), "0");
        ASSERT_STREQ(step.list, quoteMarkers.list);
        expectDepths(std::string("saved list ") + step.list, step.cases, 3);
    }
}

// Without a list (its buffers could not be had) nothing matches, and
// releasing the buffers takes the forms with them.
TEST_F(QuoteForms, ReleasedListMatchesNothing)
{
    loadSettings();
    EXPECT_EQ(1u, quoteDepth("> x", false));
    releaseSettingsBuffers();
    EXPECT_EQ(NULL, quoteMarkers.list);
    EXPECT_EQ(0u, quoteDepth("> x", false));
    EXPECT_EQ(0u, quoteDepth(">\\par", true));
}
