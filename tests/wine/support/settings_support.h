// A fixture for the tests that compile the settings code in beside the host:
// a fresh mailbox folder per test, the plug-in's records emptied before and
// the buffers they own released after, and the INI files at hand.
// Header-only: only those test programs have the settings code to link.
#pragma once
#include "wine_support.h"
#include <stdlib.h>
#include <string.h>
#include <string>
#include "shell/plugin_state.h"
#include "settings/settings.h"
#include "quote/quote_depth.h"
#include "compose/tab_expand.h"

extern PluginState state;

// Quote depth under the list in use.
inline unsigned quoteDepth(const char* text, bool escaped)
{
    return quoteDepth(quoteMarkers, text, escaped);
}
extern "C" const char* WINAPI hostGetMailbox();

class SettingsFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        releaseSettingsBuffers();
        memset(&state, 0, sizeof state);
        memset(&settings, 0, sizeof settings);
        state.host.getMailbox = hostGetMailbox;
        mailbox = makeMailboxDir();
        hostSetMailbox(mailbox.c_str());
    }
    void TearDown() override
    {
        releaseSettingsBuffers();
    }
    std::string iniPath() const { return mailbox + "Huescope.ini"; }
    void writeIni(const std::string& text) { writeFile(iniPath(), text); }
    void writeMailboxIni(const std::string& text) { writeFile(mailbox + "Mailbox.ini", text); }
    std::string ini() { return readFile(iniPath()); }
    std::string mailbox;
};
