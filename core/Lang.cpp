// Choosing and loading the language texts, looking texts up, and the language list.
#include "core/Lang.h"

#include "core/Config.h"
#include "core/Log.h"
#include "core/TextFiles.h"
#include "core/Util.h"

#include <cstdlib>

namespace kx {

namespace Lang {

const wchar_t *const ResourceType = L"LANGFILE";
const wchar_t *const ChoiceKey = L"Main.Lang";
const wchar_t *const DefaultChoice = L"<default>";

} // namespace Lang

namespace {

const wchar_t *const kDefaultLangName = L"en-US";
const wchar_t *const kKeyPrefix = L"Lang.";
const wchar_t *const kFileExtension = L".ini";

const struct {
    int codePage;
    const wchar_t *name;
} kCodePageLanguages[] = {
    {874, L"th-TH"},  {932, L"ja-JP"},  {936, L"zh-CN"},  {949, L"ko-KR"},  {950, L"zh-HK"},
    {1250, L"hr-BA"}, {1251, L"be-BY"}, {1252, L"en-US"}, {1253, L"el-GR"}, {1254, L"tr-TR"},
    {1255, L"he-IL"}, {1256, L"ar-DZ"}, {1257, L"lt-LT"}, {1258, L"vi-VN"},
};

bool IsEmpty(const wchar_t *text) {
    return text == nullptr || *text == 0;
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

Str LocaleInfo(LCTYPE type) {
    wchar_t value[16] = {0};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, type, value, 16) <= 0 || value[0] == 0)
        return Str();
    return Str(value);
}

// The file a language name stands for: a path as it is, a name with a folder relative to
// the executable, a bare name in the language folder; ".ini" added when missing.
Str LanguageFilePath(const Str &name, const Str &langFolder) {
    const wchar_t *text = name.GetBuffer();
    Str path;
    if (IsSeparator(text[0]) || name.IndexOf(L":") >= 0) {
        path = name;
    } else if (name.IndexOf(L"\\") < 0 && name.IndexOf(L"/") < 0) {
        path = Util::ResolvePath(langFolder.GetBuffer());
        path.Append(name);
    } else {
        path = Util::GetModulePath(nullptr, true);
        path.Append(name);
    }
    if (!path.EndsWith(kFileExtension, true))
        path.Append(kFileExtension);
    return path;
}

// Search pattern of the language files: the folder's "*.ini" unless it names the files.
Str LanguageFilePattern(const Str &langFolder) {
    Str pattern = Util::ResolvePath(langFolder.GetBuffer());
    int length = pattern.GetLength();
    bool endsWithSeparator = length > 0 && IsSeparator(pattern.GetBuffer()[length - 1]);
    if (endsWithSeparator || !pattern.EndsWith(kFileExtension, true)) {
        pattern.Append(L"*");
        pattern.Append(kFileExtension);
    }
    return pattern;
}

Str ComboItemText(HWND combo, int index) {
    LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR)
        return Str();
    Str text;
    text.SetLength(static_cast<int>(length), false);
    LRESULT copied = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                  reinterpret_cast<LPARAM>(text.GetBuffer()));
    if (copied == CB_ERR)
        return Str();
    text.Truncate(static_cast<int>(copied < length ? copied : length));
    return text;
}

int AddComboItem(HWND combo, const Str &text, bool select) {
    LRESULT index = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.GetBuffer()));
    if (index < 0)
        return 0;
    if (select)
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    return 1;
}

int AddResourceItems(HWND combo, const Str &current) {
    Map<Str, Str> names;
    Util::EnumResourceNames(names, Lang::ResourceType, GetModuleHandleW(nullptr));
    int added = 0;
    for (int i = 0; i < names.GetCount(); ++i) {
        const Str &name = names.GetKey(i);
        added += AddComboItem(combo, name, name.Equals(current, true));
    }
    return added;
}

int AddFileItems(HWND combo, const Str &current, const Str &langFolder) {
    List<Str> files;
    Str pattern = LanguageFilePattern(langFolder);
    Util::ListFiles(files, pattern.GetBuffer(), false);
    int added = 0;
    for (int i = files.GetCount() - 1; i >= 0; --i) {
        const Str &path = files.GetAt(i);
        Str langName = ReadIniValue(L"Lang", L"LangName", path.GetBuffer(), Utf8CodePage, true);
        if (langName.GetLength() == 0)
            continue;
        Str fileName = Util::GetFileName(path.GetBuffer());
        Str item = langName + L":" + fileName;
        added += AddComboItem(combo, item, fileName.Equals(current, false));
    }
    return added;
}

} // namespace

// ---- Config's language members

ConfigStore *Config::GetLang() {
    if (langStore == nullptr)
        LoadLang(kDefaultLangName, true, nullptr, nullptr, false);
    // A load refused while another runs still leaves a store to look texts up in.
    if (langStore == nullptr)
        langStore = new ConfigStore(true, true);
    return langStore;
}

Str Config::GetDefaultLangName() {
    Str codePage = LocaleInfo(LOCALE_IDEFAULTANSICODEPAGE);
    int number = codePage.IsNull() ? 0 : codePage.ToInt(10);
    if (number <= 0)
        return Str();
    for (const auto &entry : kCodePageLanguages) {
        if (entry.codePage == number)
            return Str(entry.name);
    }
    return Str();
}

bool Config::LoadLangByName(const wchar_t *name, const wchar_t *resourceType, bool resourceOnly,
                            bool saveChoice) {
    if (IsEmpty(name))
        return false;
    if (IsEmpty(resourceType))
        resourceType = Lang::ResourceType;
    if (langStore == nullptr)
        langStore = new ConfigStore(true, true);
    Str languageName(name);
    // A file or resource that holds no texts does not count as a language.
    bool loaded = false;
    if (!resourceOnly) {
        Str path = LanguageFilePath(languageName, langFolder);
        if (Util::FileExists(path.GetBuffer()))
            loaded = langStore->LoadFile(path.GetBuffer(), Utf8CodePage, true) > 0;
    }
    if (!loaded)
        loaded = langStore->LoadResource(name, resourceType, Utf8CodePage, true) > 0;
    if (loaded && saveChoice)
        GetConfig()->Set(Lang::ChoiceKey, name);
    return loaded;
}

bool Config::LoadLang(const wchar_t *defaultName, bool preload, const wchar_t *resourceType,
                      const wchar_t *folder, bool resourceOnly) {
    Config *config = GetInstance();
    if (config->configStore == nullptr)
        config->Load();
    if (config->busy)
        return false;
    config->busy = true;
    try {
        if (config->langStore == nullptr)
            config->langStore = new ConfigStore(true, true);
        else
            config->langStore->Reset();
        if (IsEmpty(defaultName))
            defaultName = kDefaultLangName;
        if (IsEmpty(resourceType))
            resourceType = Lang::ResourceType;
        if (folder != nullptr)
            config->langFolder = folder;

        if (preload)
            config->langStore->LoadResource(defaultName, resourceType, Utf8CodePage, true);

        ConfigStore *settings = config->GetConfig();
        bool chosen = settings->ContainsKey(Lang::ChoiceKey);
        Str choice = chosen ? settings->Get(Lang::ChoiceKey) : Str();
        bool finished = false;
        if (chosen && choice.Equals(Lang::DefaultChoice, false)) {
            if (!preload)
                config->langStore->LoadResource(defaultName, resourceType, Utf8CodePage, true);
            finished = true;
        } else if (chosen) {
            finished = config->LoadLangByName(choice.GetBuffer(), resourceType, resourceOnly, false);
        }
        if (!finished) {
            Str localeName = Lang::GetUserLocaleName();
            bool loaded = false;
            if (!localeName.IsNull() && !localeName.Equals(choice, true))
                loaded = config->LoadLangByName(localeName.GetBuffer(), resourceType, resourceOnly, true);
            if (!loaded) {
                Str guess = config->GetDefaultLangName();
                if (!guess.IsNull() && !guess.Equals(choice, true) && !guess.Equals(localeName, true))
                    loaded = config->LoadLangByName(guess.GetBuffer(), resourceType, resourceOnly, true);
            }
            if (!loaded && !preload) {
                config->langStore->LoadResource(defaultName, resourceType, Utf8CodePage, true);
                settings->Set(Lang::ChoiceKey, Lang::DefaultChoice);
            }
        }
    } catch (...) {
        Log::WriteFatal(L"[Config::LoadLang]Error!");
    }
    config->busy = false;
    return true;
}

// ---- lookups and the language list

namespace Lang {

namespace {

Str FullKey(const wchar_t *key) {
    Str full(key != nullptr ? key : L"");
    if (!full.StartsWith(kKeyPrefix, false))
        full.Insert(0, kKeyPrefix);
    return full;
}

} // namespace

Str Text(const wchar_t *key) {
    return Config::GetInstance()->GetLang()->Get(FullKey(key));
}

Str Format(const wchar_t *key, ...) {
    Str full = FullKey(key);
    va_list args;
    va_start(args, key);
    Str text = Config::GetInstance()->GetLang()->GetFormatV(full.GetBuffer(), args);
    va_end(args);
    return text;
}

Str GetUserLocaleName() {
    Str name = LocaleInfo(LOCALE_SISO639LANGNAME);
    if (name.IsNull())
        return name;
    Str country = LocaleInfo(LOCALE_SISO3166CTRYNAME);
    if (!country.IsNull()) {
        name.Append(L"-");
        name.Append(country);
    }
    return name;
}

int FillLanguageList(HWND combo, bool withResources, bool withFiles) {
    if (combo == nullptr || !IsWindow(combo))
        return 0;
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    Config *config = Config::GetInstance();
    Str current = config->GetConfig()->Get(ChoiceKey);
    int count = 0;
    if (withResources)
        count += AddResourceItems(combo, current);
    if (withFiles)
        count += AddFileItems(combo, current, config->GetLangFolder());
    return count;
}

bool ApplyLanguageChoice(HWND combo) {
    if (combo == nullptr || !IsWindow(combo))
        return false;
    LRESULT selected = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        return false;
    Str item = ComboItemText(combo, static_cast<int>(selected));
    // A file item is "<LangName>:<file name>"; a file name holds no ":", a language name may.
    int colon = item.LastIndexOf(L":");
    Str choice = colon > 0 ? item.Substring(colon + 1) : item;
    if (choice.GetLength() == 0)
        return false;
    Config::GetInstance()->GetConfig()->Set(ChoiceKey, choice.GetBuffer());
    return true;
}

} // namespace Lang
} // namespace kx
