// Choosing the language against the four built-in languages of this executable,
// language files beside it, and (in child processes) other system locales.
#include "core/Config.h"
#include "core/Lang.h"
#include "core/Util.h"

#include "core/LangUtilFixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

using kx::Config;
using kx::ConfigStore;
using kx::Str;
using kxtest::TempFolder;
using kxtest::Text;
namespace Lang = kx::Lang;

namespace {

std::wstring ExeFolder() {
    return Text(kx::Util::GetModulePath(nullptr, true));
}

// LangName of a built-in language, read straight from its resource.
std::wstring ResourceLangName(const wchar_t *name) {
    ConfigStore store(true, true);
    store.LoadResource(name, L"LANGFILE", 65001, true);
    return Text(store.Get(L"Lang.LangName"));
}

std::wstring Choice() {
    return Text(Config::GetInstance()->GetConfig()->Get(L"Main.Lang"));
}

std::wstring Environment(const wchar_t *name) {
    wchar_t value[1024];
    DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

class LangLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config::DeleteInstance();
        ini = settingsFolder / L"settings.ini";
        // The language folder beside the executable, named relative to it.
        relativeLangFolder = langFolder.Path().substr(ExeFolder().size()) + L"\\";
    }
    void TearDown() override { Config::DeleteInstance(); }

    void Start(const std::wstring &choice) {
        if (!choice.empty()) {
            std::string text = "[Main]\r\nLang=" + std::string(choice.begin(), choice.end()) + "\r\n";
            kxtest::WriteBytes(ini, text.data(), text.size());
        }
        Config::GetInstance()->Load(ini.c_str());
    }
    void LoadLang(bool preload = false) {
        EXPECT_TRUE(Config::LoadLang(L"en-US", preload, nullptr, relativeLangFolder.c_str(), false));
    }

    TempFolder settingsFolder;
    TempFolder langFolder{ExeFolder()};
    std::wstring ini, relativeLangFolder;
};

TEST_F(LangLoadTest, ChoicesAgainstTheBuiltInLanguages) {
    std::wstring locale = Text(Lang::GetUserLocaleName());
    if (locale != L"en-US")
        GTEST_SKIP() << "needs the en-US locale, has " << std::string(locale.begin(), locale.end());
    std::wstring english = ResourceLangName(L"EN-US");
    std::wstring japanese = ResourceLangName(L"JA-JP");
    ASSERT_EQ(L"English (United States)", english);
    ASSERT_FALSE(japanese.empty());
    kxtest::WriteUtf8File(langFolder / L"ja-JP.ini", L"[Lang]\r\nLangName=File Japanese\r\n");
    kxtest::WriteUtf8File(langFolder / L"mine.ini", L"[Lang]\r\nLangName=Mine\r\n");
    const struct {
        const wchar_t *label;
        std::wstring choice, langName, storedChoice;
    } cases[] = {
        {L"no settings: the locale's resource", L"", english, L"en-US"},
        {L"<default>", L"<default>", english, L"<default>"},
        {L"file beside the executable wins", L"ja-JP", L"File Japanese", L"ja-JP"},
        {L"resource in another case", L"zh-cn", ResourceLangName(L"ZH-CN"), L"zh-cn"},
        {L"file name", L"mine.ini", L"Mine", L"mine.ini"},
        {L"folder relative to the executable", relativeLangFolder + L"mine", L"Mine",
         relativeLangFolder + L"mine"},
        {L"unknown: the locale's resource", L"xx-XX", english, L"en-US"},
    };
    for (const auto &c : cases) {
        Config::DeleteInstance();
        DeleteFileW(ini.c_str());
        Start(c.choice);
        LoadLang();
        EXPECT_EQ(c.langName, Text(Lang::Text(L"LangName"))) << c.label;
        EXPECT_EQ(c.storedChoice, Choice()) << c.label;
    }
}

TEST_F(LangLoadTest, ResourceWithoutAFileBesideTheExecutable) {
    Start(L"ja-JP");
    LoadLang();
    EXPECT_EQ(ResourceLangName(L"JA-JP"), Text(Lang::Text(L"LangName")));
    EXPECT_EQ(L"ja-JP", Choice());
}

TEST_F(LangLoadTest, PreloadFillsWhatTheChosenLanguageLacks) {
    kxtest::WriteUtf8File(langFolder / L"thin.ini", L"[Lang]\r\nLangName=Thin\r\nS_Dialog_Cancel=Stop\r\n");
    Start(L"thin");
    LoadLang(true);
    EXPECT_EQ(L"Thin", Text(Lang::Text(L"LangName")));
    EXPECT_EQ(L"Stop", Text(Lang::Text(L"S_Dialog_Cancel")));
    EXPECT_EQ(L"OK", Text(Lang::Text(L"S_Dialog_OK")));
    LoadLang(false);
    EXPECT_EQ(L"Lang.S_Dialog_OK[NOFOUND]", Text(Lang::Text(L"S_Dialog_OK")));
}

TEST_F(LangLoadTest, GetLangPreloadsEnglish) {
    Start(L"");
    EXPECT_EQ(L"OK", Text(Config::GetInstance()->GetLang()->Get(L"Lang.S_Dialog_OK")));
    EXPECT_EQ(L"Lang.U_NoSuchKey[NOFOUND]", Text(Lang::Text(L"U_NoSuchKey")));
}

TEST_F(LangLoadTest, ListHoldsTheResourcesThenTheFiles) {
    kxtest::WriteUtf8File(langFolder / L"en2.ini", L"[Lang]\r\nLangName=English (United States)\r\n");
    kxtest::WriteUtf8File(langFolder / L"nameless.ini", L"[Lang]\r\nS_Dialog_OK=OK\r\n");
    Start(L"ja-JP");
    LoadLang();
    HWND combo = CreateWindowExW(0, L"COMBOBOX", L"", WS_POPUP | CBS_DROPDOWNLIST, 0, 0, 200, 200, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, combo);
    EXPECT_EQ(5, Lang::FillLanguageList(combo, true, true));
    std::vector<std::wstring> items;
    for (int i = 0; i < 5; ++i) {
        wchar_t text[256] = {0};
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"EN-US", L"JA-JP", L"ZH-CN", L"ZH-TW", L"English (United States):en2.ini"}),
              items);
    EXPECT_EQ(1, static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)));

    SendMessageW(combo, CB_SETCURSEL, 4, 0);
    EXPECT_TRUE(Lang::ApplyLanguageChoice(combo));
    EXPECT_EQ(L"en2.ini", Choice());
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
    EXPECT_TRUE(Lang::ApplyLanguageChoice(combo));
    EXPECT_EQ(L"EN-US", Choice());
    DestroyWindow(combo);
}

// ---- other system locales, each in a child process of this executable

const wchar_t *const kChildIni = L"KX_LANG_CHILD_INI";
const wchar_t *const kChildLocale = L"KX_LANG_CHILD_LOCALE";
const wchar_t *const kChildGuess = L"KX_LANG_CHILD_GUESS";
const wchar_t *const kChildResource = L"KX_LANG_CHILD_RESOURCE";
// The child's verdict goes to the settings path followed by this: "passed", "failed" or
// "nolocale" when Wine did not take the locale.
const wchar_t *const kResultSuffix = L".result";

// Runs only as the child: the system locale comes from the environment it was started with.
TEST(LangLocaleChild, LoadsTheLanguageOfTheSystemLocale) {
    std::wstring ini = Environment(kChildIni);
    if (ini.empty())
        GTEST_SKIP() << "runs as a child process only";
    std::wstring result = ini + kResultSuffix;
    if (Text(Lang::GetUserLocaleName()) != Environment(kChildLocale)) {
        kxtest::WriteBytes(result, "nolocale", 8);
        return;
    }
    Config::DeleteInstance();
    Config::GetInstance()->Load(ini.c_str());
    EXPECT_TRUE(Config::LoadLang());
    EXPECT_EQ(Environment(kChildGuess), Text(Config::GetInstance()->GetDefaultLangName()));
    EXPECT_EQ(ResourceLangName(Environment(kChildResource).c_str()), Text(Lang::Text(L"LangName")));
    Config::DeleteInstance();
    const char *verdict = HasFailure() ? "failed" : "passed";
    kxtest::WriteBytes(result, verdict, 6);
}

// The executable's Unix path: Wine's Z: drive is the Unix root.
std::wstring UnixPath(const std::wstring &path) {
    std::wstring unix = path;
    if (unix.size() > 2 && (unix[0] == L'Z' || unix[0] == L'z') && unix[1] == L':')
        unix = unix.substr(2);
    for (wchar_t &c : unix) {
        if (c == L'\\')
            c = L'/';
    }
    return unix;
}

std::string ReadVerdict(const std::wstring &path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    char bytes[16] = {0};
    DWORD read = 0;
    ReadFile(file, bytes, 15, &read, nullptr);
    CloseHandle(file);
    return std::string(bytes, read);
}

// The verdict of this executable run as the child under Wine with the Unix locale given.
// Wine reads the locale when one of its processes starts, so the child starts through the
// Unix side, where its end cannot be waited for: the verdict file tells it.
std::string RunChild(const std::wstring &unixLocale, const std::wstring &ini, const std::wstring &locale,
                     const std::wstring &guess, const std::wstring &resource) {
    std::wstring exe = Text(kx::Util::GetModulePath());
    std::wstring commandLine = L"Z:\\usr\\bin\\env LC_ALL=" + unixLocale + L" LANG=" + unixLocale + L" " +
                               kChildIni + L"=\"" + ini + L"\" " + kChildLocale + L"=" + locale + L" " +
                               kChildGuess + L"=" + guess + L" " + kChildResource + L"=" + resource +
                               L" wine \"" + UnixPath(exe) + L"\" --gtest_brief=1 --gtest_filter=LangLocaleChild.*";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return "not started";
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::wstring resultPath = ini + kResultSuffix;
    for (int waited = 0; waited < 600; ++waited) {
        std::string verdict = ReadVerdict(resultPath);
        if (verdict == "passed" || verdict == "failed" || verdict == "nolocale")
            return verdict;
        Sleep(50);
    }
    return "no verdict";
}

TEST(LangLocale, FreshStartOnOtherSystemLocales) {
    const struct {
        const wchar_t *unixLocale, *locale, *guess, *resource, *storedChoice;
    } cases[] = {
        {L"ja_JP.UTF-8", L"ja-JP", L"ja-JP", L"JA-JP", L"ja-JP"},
        {L"zh_TW.UTF-8", L"zh-TW", L"zh-HK", L"ZH-TW", L"zh-TW"},
        {L"de_DE.UTF-8", L"de-DE", L"en-US", L"EN-US", L"en-US"},
        {L"vi_VN.UTF-8", L"vi-VN", L"vi-VN", L"EN-US", L"<default>"},
    };
    for (const auto &c : cases) {
        TempFolder folder;
        std::wstring ini = folder / L"child.ini";
        std::string verdict = RunChild(c.unixLocale, ini, c.locale, c.guess, c.resource);
        // Only Wine starts a child through the Unix side and reads the locale from it.
        if (verdict == "nolocale" || verdict == "not started") {
            std::wcout << L"locale " << c.unixLocale << L" not available to a child process\n";
            continue;
        }
        EXPECT_EQ("passed", verdict) << std::string(c.locale, c.locale + wcslen(c.locale));
        wchar_t stored[64] = {0};
        GetPrivateProfileStringW(L"Main", L"Lang", L"", stored, 64, ini.c_str());
        EXPECT_EQ(std::wstring(c.storedChoice), std::wstring(stored)) << std::string(c.locale, c.locale + wcslen(c.locale));
    }
}

} // namespace
