// Language choice and lookup over real files in a temporary folder. This executable
// carries no language resources, so every resource candidate fails here.
#include "core/Lang.h"

#include "core/Config.h"
#include "core/Util.h"

#include "core/LangUtilFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using kx::Config;
using kx::Str;
using kxtest::TempFolder;
using kxtest::Text;
namespace Lang = kx::Lang;

namespace {

// Reaches the load guard the way a load under way holds it.
struct ConfigBusy : Config {
    static bool &Of(Config *config) { return config->*(&ConfigBusy::busy); }
};

std::string Ascii(const std::wstring &text) {
    return std::string(text.begin(), text.end());
}

class ComboBox {
public:
    ComboBox()
        : window_(CreateWindowExW(0, L"COMBOBOX", L"", WS_POPUP | CBS_DROPDOWNLIST, 0, 0, 200, 200, nullptr,
                                  nullptr, nullptr, nullptr)) {}
    ~ComboBox() { DestroyWindow(window_); }
    HWND Get() const { return window_; }
    void Add(const wchar_t *item) { SendMessageW(window_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item)); }
    void Select(int index) { SendMessageW(window_, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
    int Selected() const { return static_cast<int>(SendMessageW(window_, CB_GETCURSEL, 0, 0)); }
    std::vector<std::wstring> Items() const {
        std::vector<std::wstring> items;
        int count = static_cast<int>(SendMessageW(window_, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t text[512] = {0};
            SendMessageW(window_, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            items.push_back(text);
        }
        return items;
    }

private:
    HWND window_;
};

class LangTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config::DeleteInstance();
        ini = folder / L"settings.ini";
        langFolder = folder.AddFolder(L"Lang") + L"\\";
    }
    void TearDown() override { Config::DeleteInstance(); }

    // The settings file, then Config started on it.
    Config *Start(const std::wstring &settings) {
        if (!settings.empty())
            kxtest::WriteBytes(ini, Ascii(settings).data(), settings.size());
        Config *config = Config::GetInstance();
        config->Load(ini.c_str());
        return config;
    }
    void LoadLang(bool preload = false) {
        EXPECT_TRUE(Config::LoadLang(L"en-US", preload, nullptr, langFolder.c_str(), false));
    }
    std::wstring Choice() { return Text(Config::GetInstance()->GetConfig()->Get(L"Main.Lang")); }
    std::wstring LangFile(const std::wstring &name, const std::wstring &langName) {
        std::wstring path = langFolder + name;
        kxtest::WriteUtf8File(path, L"[Lang]\r\nLangName=" + langName + L"\r\nU_Yes=yes " + langName +
                                        L"\r\nU_Fmt=%d of %s\r\n");
        return path;
    }

    TempFolder folder;
    std::wstring ini, langFolder;
};

TEST_F(LangTest, LookupGivesTheTextOrTheKeyMarkedNotFound) {
    LangFile(L"xx.ini", L"Ex");
    Start(L"[Main]\r\nLang=xx\r\n");
    LoadLang();
    const struct {
        const wchar_t *key, *text;
    } cases[] = {
        {L"U_Yes", L"yes Ex"},
        {L"Lang.U_Yes", L"yes Ex"},
        {L"u_yes", L"yes Ex"},
        {L"LangName", L"Ex"},
        {L"U_NoSaveTo", L"Lang.U_NoSaveTo[NOFOUND]"},
        {L"Lang.U_NoSaveTo", L"Lang.U_NoSaveTo[NOFOUND]"},
        {L"", L"Lang.[NOFOUND]"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(std::wstring(c.text), Text(Lang::Text(c.key))) << c.key;
    EXPECT_EQ(L"3 of four", Text(Lang::Format(L"U_Fmt", 3, L"four")));
    EXPECT_EQ(L"Lang.U_None[NOFOUND]", Text(Lang::Format(L"Lang.U_None", 1)));
    EXPECT_EQ(L"xx", Choice());
}

TEST_F(LangTest, CandidatesInTheirOrder) {
    std::wstring locale = Text(Lang::GetUserLocaleName());
    ASSERT_FALSE(locale.empty());
    std::wstring texts = folder.AddFolder(L"texts");
    struct Case {
        const wchar_t *label;
        std::wstring settings;
        bool localeFile;
        std::wstring langName, choice;
    } cases[] = {
        {L"nothing anywhere", L"", false, L"Lang.LangName[NOFOUND]", L"<default>"},
        {L"the locale's file", L"", true, L"Locale", locale},
        {L"chosen name", L"[Main]\r\nLang=xx\r\n", true, L"Ex", L"xx"},
        {L"chosen file name", L"[Main]\r\nLang=xx.INI\r\n", true, L"Ex", L"xx.INI"},
        {L"chosen path", L"[Main]\r\nLang=" + texts + L"\\my\r\n", true, L"Mine", texts + L"\\my"},
        {L"missing choice", L"[Main]\r\nLang=gone\r\n", true, L"Locale", locale},
        {L"missing choice, no locale", L"[Main]\r\nLang=gone\r\n", false, L"Lang.LangName[NOFOUND]",
         L"<default>"},
        {L"file without texts", L"[Main]\r\nLang=blank\r\n", true, L"Locale", locale},
        {L"built-in default", L"[Main]\r\nLang=<default>\r\n", true, L"Lang.LangName[NOFOUND]", L"<default>"},
        {L"default is exact case", L"[Main]\r\nLang=<DEFAULT>\r\n", true, L"Locale", locale},
    };
    for (const Case &c : cases) {
        Config::DeleteInstance();
        DeleteFileW(ini.c_str());
        LangFile(L"xx.ini", L"Ex");
        kxtest::WriteUtf8File(texts + L"\\my.ini", L"[Lang]\r\nLangName=Mine\r\n");
        kxtest::WriteUtf8File(langFolder + L"blank.ini", L"# nothing\r\n[Lang]\r\n");
        std::wstring localeFile = langFolder + locale + L".ini";
        if (c.localeFile)
            LangFile(locale + L".ini", L"Locale");
        else
            DeleteFileW(localeFile.c_str());
        Start(c.settings);
        LoadLang();
        EXPECT_EQ(c.langName, Text(Lang::Text(L"LangName"))) << c.label;
        EXPECT_EQ(c.choice, Choice()) << c.label;
    }
}

TEST_F(LangTest, EveryLoadStartsFromAnEmptyStore) {
    LangFile(L"xx.ini", L"Ex");
    kxtest::WriteUtf8File(langFolder + L"yy.ini", L"[Lang]\r\nLangName=Why\r\n");
    Config *config = Start(L"[Main]\r\nLang=xx\r\n");
    LoadLang();
    EXPECT_EQ(L"yes Ex", Text(Lang::Text(L"U_Yes")));
    config->GetConfig()->Set(L"Main.Lang", L"yy");
    LoadLang();
    EXPECT_EQ(L"Why", Text(Lang::Text(L"LangName")));
    EXPECT_EQ(L"Lang.U_Yes[NOFOUND]", Text(Lang::Text(L"U_Yes")));
}

TEST_F(LangTest, LoadUnderWayRefusesAnother) {
    LangFile(L"xx.ini", L"Ex");
    Config *config = Start(L"[Main]\r\nLang=xx\r\n");
    ConfigBusy::Of(config) = true;
    EXPECT_FALSE(Config::LoadLang(L"en-US", false, nullptr, langFolder.c_str(), false));
    ConfigBusy::Of(config) = false;
    EXPECT_TRUE(Config::LoadLang(L"en-US", false, nullptr, langFolder.c_str(), false));
    EXPECT_EQ(L"Ex", Text(Lang::Text(L"LangName")));
    EXPECT_FALSE(ConfigBusy::Of(config));
}

TEST_F(LangTest, LoadLangByNameSavesTheChoiceOnlyWhenAsked) {
    LangFile(L"xx.ini", L"Ex");
    Config *config = Start(L"");
    config->LoadLang(L"en-US", true, nullptr, langFolder.c_str(), false);
    EXPECT_FALSE(config->LoadLangByName(L"", nullptr, false, true));
    EXPECT_FALSE(config->LoadLangByName(nullptr, nullptr, false, true));
    EXPECT_FALSE(config->LoadLangByName(L"gone", nullptr, false, true));
    EXPECT_FALSE(config->LoadLangByName(L"xx", nullptr, true, true));
    EXPECT_EQ(L"", Choice());
    EXPECT_TRUE(config->LoadLangByName(L"xx", nullptr, false, false));
    EXPECT_EQ(L"", Choice());
    EXPECT_TRUE(config->LoadLangByName(L"xx", nullptr, false, true));
    EXPECT_EQ(L"xx", Choice());
}

TEST_F(LangTest, GetLangLoadsOnFirstUse) {
    Config *config = Start(L"");
    kx::ConfigStore *store = config->GetLang();
    ASSERT_NE(nullptr, store);
    EXPECT_EQ(store, config->GetLang());
    EXPECT_EQ(L"Lang.S_Dialog_OK[NOFOUND]", Text(store->Get(L"Lang.S_Dialog_OK")));
}

TEST_F(LangTest, FillLanguageListTakesFilesThatNameTheirLanguage) {
    LangFile(L"a.ini", L"Alpha");
    LangFile(L"b.ini", L"Beta");
    std::wstring cleared = LangFile(L"c.ini", L"Gamma");
    SetFileAttributesW(cleared.c_str(), FILE_ATTRIBUTE_NORMAL);
    kxtest::WriteUtf8File(langFolder + L"nameless.ini", L"[Lang]\r\nU_Yes=yes\r\n");
    kxtest::WriteUtf8File(langFolder + L"elsewhere.ini", L"[Other]\r\nLangName=Other\r\n");
    kxtest::WriteUtf8File(langFolder + L"blankname.ini", L"[Lang]\r\nLangName=\r\n");
    kxtest::WriteUtf8File(langFolder + L"notes.txt", L"[Lang]\r\nLangName=Text\r\n");
    Start(L"[Main]\r\nLang=b.ini\r\n");
    LoadLang();
    ComboBox combo;
    combo.Add(L"stale");
    EXPECT_EQ(3, Lang::FillLanguageList(combo.Get(), true, true));
    std::vector<std::wstring> items = combo.Items();
    ASSERT_EQ(3u, items.size());
    std::vector<std::wstring> sorted = items;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ((std::vector<std::wstring>{L"Alpha:a.ini", L"Beta:b.ini", L"Gamma:c.ini"}), sorted);
    ASSERT_GE(combo.Selected(), 0);
    EXPECT_EQ(L"Beta:b.ini", items[static_cast<size_t>(combo.Selected())]);

    Config::GetInstance()->GetConfig()->Set(L"Main.Lang", L"B.INI");
    EXPECT_EQ(3, Lang::FillLanguageList(combo.Get(), false, true));
    EXPECT_EQ(CB_ERR, combo.Selected());
    EXPECT_EQ(0, Lang::FillLanguageList(combo.Get(), false, false));
    EXPECT_EQ(0, static_cast<int>(combo.Items().size()));
    EXPECT_EQ(0, Lang::FillLanguageList(nullptr, true, true));
}

TEST_F(LangTest, ApplyLanguageChoiceStoresTheFileOrTheWholeItem) {
    Start(L"[Main]\r\nLang=before\r\n");
    const struct {
        const wchar_t *item;
        bool stored;
        const wchar_t *choice;
    } cases[] = {
        {L"English (United States):en2.ini", true, L"en2.ini"},
        {L"EN-US", true, L"EN-US"},
        {L"Name: with a colon:de.ini", true, L"de.ini"},
        {L":x.ini", true, L":x.ini"},
        {L"Empty:", false, L"before"},
    };
    for (const auto &c : cases) {
        Config::GetInstance()->GetConfig()->Set(L"Main.Lang", L"before");
        ComboBox combo;
        combo.Add(c.item);
        combo.Select(0);
        EXPECT_EQ(c.stored, Lang::ApplyLanguageChoice(combo.Get())) << c.item;
        EXPECT_EQ(std::wstring(c.choice), Choice()) << c.item;
    }
    ComboBox unselected;
    unselected.Add(L"EN-US");
    EXPECT_FALSE(Lang::ApplyLanguageChoice(unselected.Get()));
    EXPECT_FALSE(Lang::ApplyLanguageChoice(nullptr));
    EXPECT_EQ(L"before", Choice());
}

TEST_F(LangTest, DamagedLanguageFilesNeverBreakLoadingOrListing) {
    std::string good =
        "\xEF\xBB\xBF# text\r\n[Lang]\r\nLangName=Good\r\nU_A=one\\ntwo\r\n[Other]\r\nk=v\r\nU_B=\xE3\x81\x82\r\n";
    std::mt19937 random(20061116);
    std::wstring path = langFolder + L"mut.ini";
    Config *config = Start(L"[Main]\r\nLang=mut\r\n");
    ComboBox combo;
    for (int round = 0; round < 400; ++round) {
        std::string bytes = good;
        int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            size_t at = bytes.empty() ? 0 : random() % bytes.size();
            switch (random() % 4) {
            case 0:
                if (!bytes.empty())
                    bytes[at] = static_cast<char>(random());
                break;
            case 1:
                bytes.resize(at);
                break;
            case 2:
                bytes.insert(at, 1, "[]=\\\r\n\xFF\xFE"[random() % 8]);
                break;
            default:
                if (!bytes.empty())
                    bytes.erase(at, 1);
                break;
            }
        }
        kxtest::WriteBytes(path, bytes.data(), bytes.size());
        config->LoadLang(L"en-US", false, nullptr, langFolder.c_str(), false);
        Lang::Text(L"U_A");
        Lang::FillLanguageList(combo.Get(), false, true);
        config->GetConfig()->Set(L"Main.Lang", L"mut");
    }
    kxtest::WriteBytes(path, good.data(), good.size());
    config->LoadLang(L"en-US", false, nullptr, langFolder.c_str(), false);
    EXPECT_EQ(L"one\ntwo", Text(Lang::Text(L"U_A")));
}

} // namespace
