// Loading the plug-in and finding its entry points, as the host does.
#include "host.h"

template <typename F>
static bool bind(HMODULE module, const char* name, F* slot)
{
    *slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return *slot != nullptr;
}

bool hostLoadPlugin(const char* path, PluginApi* api)
{
    *api = PluginApi();
    api->module = LoadLibraryA(path);
    if (!api->module)
        return false;
    bool ok = bind(api->module, "ZekGetPlugName", &api->getPlugName) &&
              bind(api->module, "ZekVersionInfo", &api->versionInfo) &&
              bind(api->module, "ZekStartUp", &api->startUp) &&
              bind(api->module, "ZekCleanUp", &api->cleanUp) &&
              bind(api->module, "ZekSetup", &api->setup) &&
              bind(api->module, "ZekFolderCreate", &api->folderCreate) &&
              bind(api->module, "ZekViewCreate", &api->viewCreate) &&
              bind(api->module, "ZekViewClose", &api->viewClose) &&
              bind(api->module, "ZekViewInitMenu", &api->viewInitMenu) &&
              bind(api->module, "ZekSendCreate", &api->sendCreate) &&
              bind(api->module, "ZekSendClose", &api->sendClose) &&
              bind(api->module, "ZekSendInitMenu", &api->sendInitMenu);
    if (!ok) {
        hostUnloadPlugin(api);
        return false;
    }
    return true;
}

void hostUnloadPlugin(PluginApi* api)
{
    if (api->module)
        FreeLibrary(api->module);
    *api = PluginApi();
}
