// The key/value store of the .ini format with flat keys ("Section.Key"), and Config,
// the process-wide owner of the settings store and the language store.
#pragma once

#include "core/Containers.h"
#include "core/Str.h"

#include <cstdarg>

namespace kx {

typedef Map<Str, Str> StrMap;

class ConfigStore : public Object {
public:
    explicit ConfigStore(bool reportMissing = false, bool ignoreCase = false);
    ConfigStore(const ConfigStore &) = delete;
    ConfigStore &operator=(const ConfigStore &) = delete;
    ~ConfigStore() override;

    int IndexOf(const wchar_t *key) const;
    int IndexOf(const Str &key) const;
    bool ContainsKey(const wchar_t *key) const;
    bool ContainsKey(const Str &key) const;
    // A copy of the value; missing: null, or key + "[NOFOUND]" with reportMissing.
    Str Get(const wchar_t *key) const;
    Str Get(const Str &key) const;
    Str Get(const wchar_t *key, const wchar_t *defaultValue) const;
    Str Get(const Str &key, const wchar_t *defaultValue) const;
    // The value used as a printf-style format; missing: as Get.
    Str GetFormat(const wchar_t *key, ...) const;
    Str GetFormatV(const wchar_t *key, va_list args) const;
    int GetInt(const wchar_t *key, int defaultValue) const;
    int GetInt(const Str &key, int defaultValue) const;
    bool GetBool(const wchar_t *key, bool defaultValue) const;
    bool GetBool(const Str &key, bool defaultValue) const;

    void Set(const wchar_t *key, const wchar_t *value);
    void Set(const Str &key, const Str &value);
    void SetInt(const wchar_t *key, int n);
    void SetBool(const wchar_t *key, bool b);
    // Empties the value of every key starting with prefix (case as the store's).
    void ClearKeysWithPrefix(const wchar_t *prefix);
    // Sets every pair of other whose key starts with prefix (all for none).
    void Merge(const StrMap &other, const wchar_t *prefix = nullptr);
    void Reset();
    void SetIgnoreCase(bool value);

    // Pairs read and merged, or -1 when the file or resource cannot be read.
    int LoadFile(const wchar_t *path, int codePage, bool forceWide = true);
    int LoadResource(const wchar_t *name, const wchar_t *type, int codePage, bool forceWide = true);
    // Writes all entries when dirty: entries visited - 1, -1 on failure, 0 when clean.
    int Save(const wchar_t *path, int codePage);

    // Adds the key lines of text to target and returns their count; comments are
    // kept under "[#]<line index>" keys when keepComments is set.
    static int Parse(const Str &text, StrMap &target, bool keepComments = false);
    // The whole file's text as Save writes it, in codePage.
    Str Compose(int codePage) const;

    bool IsDirty() const { return dirty; }
    bool IsReportMissing() const { return reportMissing; }
    bool IsIgnoreCase() const { return ignoreCase; }
    int GetCount() const { return entries ? entries->GetCount() : 0; }
    // The entries, created on first use.
    StrMap &GetEntries();

private:
    int MergeText(const Str &text);
    Str Missing(const wchar_t *key) const;

    bool dirty;
    bool reportMissing;
    bool ignoreCase;
    StrMap *entries;
};

class Config : public Object {
public:
    // The one instance, created by the first request.
    static Config *GetInstance();
    // Saves when needed and destroys the instance (the application's end).
    static void DeleteInstance();

    ~Config() override;
    // The settings store, loaded on first use.
    virtual ConfigStore *GetConfig();
    // The language store, loaded ("en-US" preloaded) on first use.
    virtual ConfigStore *GetLang();
    // A language name guessed from the system's ANSI code page, or null.
    virtual Str GetDefaultLangName();
    virtual bool LoadLangByName(const wchar_t *name, const wchar_t *resourceType, bool resourceOnly,
                                bool saveChoice);

    // Chooses and loads the language; false only when a load is under way.
    static bool LoadLang(const wchar_t *defaultName = L"en-US", bool preload = false,
                         const wchar_t *resourceType = L"LANGFILE", const wchar_t *folder = nullptr,
                         bool resourceOnly = false);

    // The settings file: the executable's full path followed by ".ini" unless set.
    const Str &GetIniPath();
    const Str &GetLangFolder() const { return langFolder; }
    // Reads the settings file (path replaces iniPath); false while a load is under way.
    bool Load(const wchar_t *path = nullptr);
    // Writes the settings file when the store changed; the writer's result, 0 when clean.
    int Save();

protected:
    Config();

    bool busy;
    Str iniPath;
    Str langFolder;
    ConfigStore *configStore;
    ConfigStore *langStore;

private:
    static Config *instance;
};

} // namespace kx
