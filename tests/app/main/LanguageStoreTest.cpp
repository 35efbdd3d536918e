// The built-in languages as the library's own stores read them: every key is
// found through the language store, formats fill in, and the language list can
// read each text's own name straight from a file copy.
#include "core/Config.h"
#include "core/Platform.h"
#include "core/TextFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

struct StoredLanguage {
  const wchar_t* resource;
  const wchar_t* ownName;
  int keyCount;
  const wchar_t* originalSize;  // U_OrgSizeTips filled with 100 and 50
};

const StoredLanguage kStoredLanguages[] = {
    {L"EN-US", L"English (United States)", 196, L"Orignal szie:[100 x 50]"},
    {L"JA-JP", L"日本語 (日本)", 198, L"元のサイズ:[100 x 50]"},
    {L"ZH-CN", L"中文(简体)", 196, L"原始大小：[100 x 50]"},
    {L"ZH-TW", L"中文(繁體)", 196, L"原始大小：[100 x 50]"},
};

std::string OwnResourceBytes(const wchar_t* name) {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(self, name, L"LANGFILE");
  const char* bytes = found ? static_cast<const char*>(LockResource(LoadResource(self, found))) : nullptr;
  return bytes ? std::string(bytes, SizeofResource(self, found)) : std::string();
}

TEST(LanguageStore, ReadsEveryBuiltInLanguageWhole) {
  for (const StoredLanguage& language : kStoredLanguages) {
    kx::ConfigStore store(true, true);
    EXPECT_EQ(language.keyCount, store.LoadResource(language.resource, L"LANGFILE", CP_UTF8)) << language.resource;
    EXPECT_EQ(std::wstring(language.ownName), store.Get(L"Lang.LangName").GetBuffer()) << language.resource;
    EXPECT_EQ(std::wstring(language.originalSize),
              store.GetFormat(L"Lang.U_OrgSizeTips", 100, 50).GetBuffer()) << language.resource;
    EXPECT_NE(std::wstring::npos, std::wstring(store.Get(L"Lang.SelImage.labInfo").GetBuffer()).find(L'\n'))
        << language.resource;
  }
}

TEST(LanguageStore, ListReadsTheOwnNameOfAFileCopy) {
  wchar_t folder[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
  for (const StoredLanguage& language : kStoredLanguages) {
    std::wstring path = std::wstring(folder) + L"pixquarry-" + language.resource + L".ini";
    std::string bytes = OwnResourceBytes(language.resource);
    FILE* file = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(nullptr, file);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
    kx::Str name = kx::ReadIniValue(L"Lang", L"LangName", path.c_str(), CP_UTF8, true);
    DeleteFileW(path.c_str());
    ASSERT_FALSE(name.IsNull()) << language.resource;
    EXPECT_EQ(std::wstring(language.ownName), name.GetBuffer()) << language.resource;
  }
}

}  // namespace
