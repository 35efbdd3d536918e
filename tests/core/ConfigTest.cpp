#include "core/Config.h"
#include "core/TextFiles.h"

#include "core/LangUtilFixtures.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kx::ConfigStore;
using kx::Str;
using kxtest::ReadBytes;
using kxtest::Text;
using kxtest::WriteBytes;
using SettingsFolder = kxtest::TempFolder;

struct ParseCase {
    const char *name;
    const char *text;
    const wchar_t *key;
    const wchar_t *value; // nullptr: the key must be missing
};

const ParseCase kParseCases[] = {
    {"section and key", "[Main]\r\nLang=ja-JP\r\n", L"Main.Lang", L"ja-JP"},
    {"spaces around equals belong to key and value", "[S]\r\n  key = value  \r\n", L"S.key ", L" value"},
    {"key before any header", "a=b\r\n[S]\r\nc=d\r\n", L"a", L"b"},
    {"equals at start ignored", "[S]\r\n=x\r\n", L"S.", nullptr},
    {"line without equals ignored", "[S]\r\nnothing\r\n", L"S.nothing", nullptr},
    {"open bracket line is a comment", "[S]\r\n[x\r\nk=v\r\n", L"S.k", L"v"},
    {"comment lines", "[S]\r\n#k=1\r\n;j=2\r\n", L"S.#k", nullptr},
    {"empty header drops the prefix", "[S]\r\n[]\r\nk=v\r\n", L"k", L"v"},
    {"line break escape", "[S]\r\nk=line1\\nline2\r\n", L"S.k", L"line1\nline2"},
    {"other backslashes are plain", "[S]\r\nk=C:\\dir\\x\r\n", L"S.k", L"C:\\dir\\x"},
    {"bare line feeds", "[S]\nk=v\nj=w", L"S.j", L"w"},
    {"later duplicate wins", "[S]\r\nk=1\r\nK=2\r\n", L"s.k", L"2"},
    {"first equals splits", "[S]\r\nk=a=b\r\n", L"S.k", L"a=b"},
    {"tab is not trimmed", "[S]\r\n\tk=v\r\n", L"S.\tk", L"v"},
};

class ConfigStoreParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ConfigStoreParse, FindsTheKeyOfTheLine) {
    const ParseCase &c = GetParam();
    SettingsFolder folder;
    std::wstring path = folder.File(L"p.ini");
    WriteBytes(path, c.text);
    ConfigStore store(false, true);
    ASSERT_GE(store.LoadFile(path.c_str(), 0), 0);
    if (c.value == nullptr) {
        EXPECT_FALSE(store.ContainsKey(c.key));
    } else {
        ASSERT_TRUE(store.ContainsKey(c.key));
        EXPECT_EQ(std::wstring(c.value), Text(store.Get(c.key)));
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, ConfigStoreParse, ::testing::ValuesIn(kParseCases),
                         [](const ::testing::TestParamInfo<ParseCase> &info) {
                             std::string name;
                             for (const char *p = info.param.name; *p; ++p)
                                 name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST(ConfigStoreLookup, MissingKeysGiveDefaultsOrTheNotFoundForm) {
    ConfigStore settings(false, true);
    ConfigStore texts(true, true);
    EXPECT_EQ(-1, settings.IndexOf(L"Main.X"));
    EXPECT_TRUE(settings.Get(L"Main.X").IsNull());
    EXPECT_EQ(std::wstring(L"d"), Text(settings.Get(L"Main.X", L"d")));
    EXPECT_EQ(7, settings.GetInt(L"Main.X", 7));
    EXPECT_TRUE(settings.GetBool(L"Main.X", true));
    EXPECT_EQ(std::wstring(L"Lang.U_NoSaveTo[NOFOUND]"), Text(texts.Get(L"Lang.U_NoSaveTo")));
    EXPECT_EQ(std::wstring(L"Lang.U_X[NOFOUND]"), Text(texts.GetFormat(L"Lang.U_X", 3)));
}

TEST(ConfigStoreLookup, ValuesAndNumbersIgnoringCase) {
    ConfigStore store(false, true);
    store.Set(L"Main.Width", L"42px");
    store.Set(L"Main.Word", L"abc");
    store.SetBool(L"Main.On", true);
    store.SetInt(L"Main.Neg", -5);
    store.Set(L"Lang.Fmt", L"%d files in %s");
    EXPECT_EQ(42, store.GetInt(L"main.width", 0));
    EXPECT_EQ(0, store.GetInt(L"MAIN.WORD", 9));
    EXPECT_TRUE(store.GetBool(L"main.on", false));
    EXPECT_EQ(-5, store.GetInt(L"Main.Neg", 0));
    EXPECT_EQ(std::wstring(L"3 files in C:\\x"), Text(store.GetFormat(L"lang.fmt", 3, L"C:\\x")));
    EXPECT_TRUE(store.IsDirty());
}

TEST(ConfigStoreChanges, ClearMergeAndReset) {
    ConfigStore store(false, true);
    store.Set(L"Log.OnTop", L"1");
    store.Set(L"Main.Lang", L"en-US");
    store.ClearKeysWithPrefix(L"log.");
    EXPECT_EQ(0, store.Get(L"Log.OnTop").GetLength());
    EXPECT_EQ(std::wstring(L"en-US"), Text(store.Get(L"Main.Lang")));

    kx::StrMap other(true, false, true);
    other.Add(Str(L"A.x"), Str(L"1"));
    other.Add(Str(L"B.y"), Str(L"2"));
    store.Merge(other, L"a.");
    EXPECT_TRUE(store.ContainsKey(L"A.x"));
    EXPECT_FALSE(store.ContainsKey(L"B.y"));
    store.Reset();
    EXPECT_EQ(0, store.GetCount());
    EXPECT_TRUE(store.IsDirty());
}

TEST(ConfigStoreSave, SectionsSortedCommentsGoneAndOrphanKeysDropped) {
    SettingsFolder folder;
    std::wstring path = folder.File(L"s.ini");
    WriteBytes(path, "a=b\r\n# note\r\n\r\n[b]\r\nk=2\r\n[a]\r\nk=1\r\nm=line1\\nline2\r\n");
    ConfigStore store(false, true);
    ASSERT_EQ(4, store.LoadFile(path.c_str(), 0));
    EXPECT_EQ(std::wstring(L"line1\nline2"), Text(store.Get(L"a.m")));
    EXPECT_EQ(3, store.Save(path.c_str(), 0));
    EXPECT_FALSE(store.IsDirty());
    EXPECT_EQ("[a]\r\nk=1\r\nm=line1\\nline2\r\n[b]\r\nk=2\r\n", ReadBytes(path));
    EXPECT_EQ(0, store.Save(path.c_str(), 0));
}

TEST(ConfigStoreSave, RoundTripKeepsEveryValue) {
    SettingsFolder folder;
    std::wstring path = folder.File(L"r.ini");
    const struct {
        const wchar_t *key;
        const wchar_t *value;
    } pairs[] = {
        {L"Main.Lang", L"ja-JP"},
        {L"Main.Text", L"one\ntwo\nthree"},
        {L"Main.Path", L"C:\\new\\folder"},
        {L"Main.Unc", L"\\\\nas\\share"},
        {L"main.lower", L"x"},
        {L"MAIN.UPPER", L"y"},
        {L"Zed.k", L"a = b"},
        {L"Main.Empty", L""},
    };
    ConfigStore first(false, true);
    for (const auto &p : pairs)
        first.Set(p.key, p.value);
    first.Set(L"main.LANG", L"zh-CN");
    ASSERT_EQ(8, first.GetCount());
    ASSERT_GE(first.Save(path.c_str(), 0), 0);
    ConfigStore second(false, true);
    ASSERT_EQ(8, second.LoadFile(path.c_str(), 0));
    for (int i = 0; i < first.GetCount(); ++i) {
        const Str &key = first.GetEntries().GetKey(i);
        EXPECT_EQ(Text(first.GetEntries().GetValue(i)), Text(second.Get(key))) << Text(key);
    }
    EXPECT_EQ(std::wstring(L"zh-CN"), Text(second.Get(L"Main.Lang")));
    EXPECT_TRUE(first.GetEntries().Equals(second.GetEntries()));
}

TEST(ConfigStoreSave, MarkReadButNotWritten) {
    SettingsFolder folder;
    std::wstring path = folder.File(L"u.ini");
    WriteBytes(path, "\xEF\xBB\xBF[S]\r\nk=v\r\n");
    ConfigStore store(false, true);
    ASSERT_EQ(1, store.LoadFile(path.c_str(), 0));
    EXPECT_EQ(std::wstring(L"v"), Text(store.Get(L"S.k")));
    store.Save(path.c_str(), 0);
    EXPECT_EQ("[S]\r\nk=v\r\n", ReadBytes(path));
}

TEST(ConfigStoreSave, FailedSaveKeepsThePreviousFile) {
    SettingsFolder folder;
    std::wstring path = folder.File(L"locked.ini");
    WriteBytes(path, "[S]\r\nk=old\r\n");
    ConfigStore store(false, true);
    store.Set(L"S.k", L"new");
    HANDLE locked = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    EXPECT_EQ(-1, store.Save(path.c_str(), 0));
    CloseHandle(locked);
    EXPECT_EQ("[S]\r\nk=old\r\n", ReadBytes(path));
    EXPECT_TRUE(store.IsDirty());
    EXPECT_EQ(0, store.Save(path.c_str(), 0));
    EXPECT_EQ("[S]\r\nk=new\r\n", ReadBytes(path));
}

TEST(ConfigStoreLoad, UnreadableFilesGiveAnEmptyStore) {
    SettingsFolder folder;
    std::wstring empty = folder.File(L"empty.ini");
    WriteBytes(empty, "");
    ConfigStore store(false, true);
    EXPECT_EQ(-1, store.LoadFile(folder.File(L"missing.ini").c_str(), 0));
    EXPECT_EQ(-1, store.LoadFile(folder.Path().c_str(), 0));
    EXPECT_EQ(0, store.LoadFile(empty.c_str(), 0));
    EXPECT_EQ(0, store.GetCount());
    EXPECT_FALSE(store.IsDirty());
}

struct MarkCase {
    const char *bytes;
    size_t size;
    const wchar_t *text;
    int count;
};

TEST(TextFiles, ReadTextFileFollowsTheMark) {
    const MarkCase cases[] = {
        {"\xFF\xFE" "a\0\xE9\0", 6, L"a\u00e9", 4},
        {"\xFE\xFF" "\0a\0\xE9", 6, L"a\u00e9", 4},
        {"\xEF\xBB\xBF" "a\xC3\xA9", 6, L"a\u00e9", 3},
        {"ab", 2, L"ab", 2},
        {"\xFF", 1, nullptr, 1},
    };
    SettingsFolder folder;
    std::wstring path = folder.File(L"m.txt");
    for (const MarkCase &c : cases) {
        WriteBytes(path, std::string(c.bytes, c.size));
        Str text;
        EXPECT_EQ(c.count, kx::ReadTextFile(text, path.c_str(), 1252));
        if (c.text != nullptr) {
            EXPECT_EQ(std::wstring(c.text), Text(text));
        }
    }
    Str capped;
    WriteBytes(path, "abcdef");
    EXPECT_EQ(3, kx::ReadTextFile(capped, path.c_str(), 0, 3));
    EXPECT_EQ(std::wstring(L"abc"), Text(capped));
}

TEST(TextFiles, WriteTextFileMarksEmptyFilesOnly) {
    SettingsFolder folder;
    std::wstring path = folder.File(L"w.txt");
    Str utf8(kx::CodePage(65001), L"x");
    ASSERT_TRUE(kx::WriteTextFile(utf8, path.c_str()));
    ASSERT_TRUE(kx::WriteTextFile(utf8, path.c_str(), true));
    EXPECT_EQ("\xEF\xBB\xBFxx", ReadBytes(path));
    ASSERT_TRUE(kx::WriteTextFile(Str(L"y"), path.c_str()));
    EXPECT_EQ(std::string("\xFF\xFEy\0", 4), ReadBytes(path));
    EXPECT_FALSE(kx::WriteTextFile(Str(L"y"), folder.File(L"no\\such\\w.txt").c_str()));
}

TEST(TextFiles, ReadIniValue) {
    SettingsFolder folder;
    std::wstring crlf = folder.File(L"crlf.ini");
    std::wstring lf = folder.File(L"lf.ini");
    WriteBytes(crlf, "\xEF\xBB\xBF[Lang]\r\nLangName=English (United States)\r\nX=1\r\n[Other]\r\nY=2\r\n");
    WriteBytes(lf, "[a]\nk=1\n[Lang]\nLangName=Deutsch\nZ=3");
    const struct {
        const std::wstring &path;
        const wchar_t *section;
        const wchar_t *key;
        const wchar_t *value;
    } cases[] = {
        {crlf, L"Lang", L"LangName", L"English (United States)"},
        {crlf, L"lang", L"X", L"1"},
        {crlf, L"Lang", L"Y", nullptr},
        {crlf, L"Other", L"Y", L"2"},
        {crlf, L"None", L"X", nullptr},
        {lf, L"Lang", L"LangName", L"Deutsch"},
        {lf, L"Lang", L"Z", L"3"},
        {lf, L"a", L"LangName", nullptr},
    };
    for (const auto &c : cases) {
        Str value = kx::ReadIniValue(c.section, c.key, c.path.c_str(), 65001);
        if (c.value == nullptr)
            EXPECT_TRUE(value.IsNull()) << c.key;
        else
            EXPECT_EQ(std::wstring(c.value), Text(value)) << c.key;
    }
    EXPECT_TRUE(kx::ReadIniValue(L"Lang", L"LangName", folder.File(L"none.ini").c_str(), 65001).IsNull());
}

TEST(TextFiles, MissingResourceIsRefused) {
    Str text;
    EXPECT_EQ(-1, kx::Util::readRes(text, L"NO-SUCH-TEXT", L"LANGFILE", 65001));
}

TEST(ConfigProcess, LoadAndSaveTheSettingsFile) {
    SettingsFolder folder;
    std::wstring path = folder.File(L"app.exe.ini");
    WriteBytes(path, "; kept?\r\n[Main]\r\nLang=ja-JP\r\n");
    kx::Config *config = kx::Config::GetInstance();
    ASSERT_TRUE(config->Load(path.c_str()));
    EXPECT_EQ(path, Text(config->GetIniPath()));
    kx::ConfigStore *store = config->GetConfig();
    EXPECT_EQ(std::wstring(L"ja-JP"), Text(store->Get(L"main.lang")));
    EXPECT_TRUE(store->IsDirty());
    store->SetInt(L"Main.Width", 640);
    EXPECT_EQ(1, config->Save());
    EXPECT_EQ("[Main]\r\nLang=ja-JP\r\nWidth=640\r\n", ReadBytes(path));
    EXPECT_EQ(0, config->Save());
    kx::Config::DeleteInstance();
    std::wstring exePath(MAX_PATH, L'\0');
    exePath.resize(GetModuleFileNameW(nullptr, &exePath[0], MAX_PATH));
    EXPECT_EQ(exePath + L".ini", Text(kx::Config::GetInstance()->GetIniPath()));
    kx::Config::DeleteInstance();
}

// Damaged settings files: every kind of byte soup must load without fault, and what
// is saved from it must load back to the same pairs.
TEST(ConfigStoreMutation, DamagedFilesLoadAndRoundTrip) {
    SettingsFolder folder;
    std::wstring path = folder.File(L"d.ini");
    std::wstring saved = folder.File(L"d2.ini");
    const std::string seed = "\xEF\xBB\xBF[Main]\r\nLang=ja-JP\r\nPath=C:\\new\\x\r\n[b]\r\n k = v \r\n;c\r\n"
                             "Text=a\\nb\r\n[x\r\n=y\r\n[Log]\r\nOnTop=1\r\n";
    const char alphabet[] = {'[', ']', '=', '\\', 'n', '\r', '\n', ' ', '#', ';', '.', 'a', 'Z', '\0',
                             '\xFF', '\xFE', '\xEF', '\xBB', '\xBF', '\x81', '\xE0'};
    unsigned state = 12345;
    auto next = [&state]() {
        state = state * 1103515245u + 12345u;
        return (state >> 16) & 0x7FFF;
    };
    for (int round = 0; round < 2000; ++round) {
        std::string bytes = seed;
        int edits = 1 + next() % 8;
        for (int e = 0; e < edits; ++e) {
            size_t at = bytes.empty() ? 0 : next() % bytes.size();
            switch (next() % 4) {
            case 0:
                if (!bytes.empty())
                    bytes[at] = alphabet[next() % sizeof alphabet];
                break;
            case 1: bytes.insert(at, 1, alphabet[next() % sizeof alphabet]); break;
            case 2:
                if (!bytes.empty())
                    bytes.erase(at, 1 + next() % 6);
                break;
            default: bytes.resize(at); break;
            }
        }
        if (round % 500 == 0)
            bytes.append(std::string(70000, 'q'));
        WriteBytes(path, bytes);
        ConfigStore store(false, true);
        ASSERT_GE(store.LoadFile(path.c_str(), round % 3 == 0 ? 932 : 0), 0);
        store.Set(L"Main.Touched", L"1");
        ASSERT_GE(store.Save(saved.c_str(), 1200), 0);
        ConfigStore back(false, true);
        ASSERT_GE(back.LoadFile(saved.c_str(), 0), 0);
        for (int i = 0; i < store.GetCount(); ++i) {
            const Str &key = store.GetEntries().GetKey(i);
            int dot = key.GetLength() > 1 ? key.IndexOf(L".", 1) : -1;
            // Keys without a section are not written; a key whose own part would read
            // as a comment or lose its leading space cannot come back either.
            if (dot < 0 || dot + 1 >= key.GetLength() || wcschr(L"[#; ", key.GetBuffer()[dot + 1]) != nullptr)
                continue;
            ASSERT_EQ(Text(store.GetEntries().GetValue(i)), Text(back.Get(key))) << "round " << round;
        }
    }
}

} // namespace
