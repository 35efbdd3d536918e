#include "core/Config.h"

#include "core/Log.h"
#include "core/Util.h"

namespace kx {

Config *Config::instance = nullptr;

Config *Config::GetInstance() {
    if (instance == nullptr)
        instance = new Config();
    return instance;
}

void Config::DeleteInstance() {
    Config *ending = instance;
    instance = nullptr;
    delete ending;
}

Config::Config()
    : busy(false), iniPath(), langFolder(L"Lang\\"), configStore(nullptr), langStore(nullptr) {}

Config::~Config() {
    try {
        if (configStore != nullptr && configStore->IsDirty())
            Save();
    } catch (Exception &) {
        // The settings are lost, the program still ends normally.
    }
    delete configStore;
    delete langStore;
    if (instance == this)
        instance = nullptr;
}

const Str &Config::GetIniPath() {
    if (iniPath.GetLength() == 0) {
        iniPath = Util::GetModulePath(nullptr);
        iniPath.Append(L".ini");
    }
    return iniPath;
}

bool Config::Load(const wchar_t *path) {
    if (busy)
        return false;
    busy = true;
    try {
        if (path != nullptr && *path != 0)
            iniPath = path;
        GetIniPath();
        if (configStore != nullptr)
            configStore->Reset();
        else
            configStore = new ConfigStore(false, true);
        configStore->LoadFile(iniPath.GetBuffer(), 0, true);
    } catch (Exception &) {
        // A file too damaged to read leaves the pairs merged so far.
    }
    busy = false;
    return true;
}

int Config::Save() {
    if (configStore == nullptr || iniPath.GetLength() == 0 || !configStore->IsDirty())
        return 0;
    if (!Log::IsSettingsChanged())
        return configStore->Save(iniPath.GetBuffer(), 0);
    // The log writes its own [Log] keys; the store's copies are out of date.
    configStore->ClearKeysWithPrefix(L"Log.");
    int result = configStore->Save(iniPath.GetBuffer(), 0);
    Log::SaveLogSettings(iniPath.GetBuffer());
    return result;
}

ConfigStore *Config::GetConfig() {
    if (configStore == nullptr)
        Load(nullptr);
    if (configStore == nullptr)
        configStore = new ConfigStore(false, true);
    return configStore;
}

} // namespace kx
