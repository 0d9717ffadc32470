// The shell's entry points under Wine with real windows and controls.
#include "wine_support.h"
#include <commctrl.h>

class Shell : public PluginTest {};

TEST_F(Shell, StartsUpAndNamesItself)
{
    start();
    EXPECT_STREQ("Huescope", plugin.getPlugName());
    EXPECT_EQ(1, plugin.startUp(12345)) << "the argument is ignored";
}
