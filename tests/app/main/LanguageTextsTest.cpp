// The four built-in language texts, read from this executable's own resources
// the way the program reads them: encoding, line ends, the key vocabulary the
// code relies on, and translations that keep every argument and mnemonic.
#include "core/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

// Every key the program looks up, in the order the English text holds them.
const wchar_t* const kEnglishKeys[] = {
    L"LangName",
    L"S_MsgBox_Title_Info",
    L"S_MsgBox_Title_Question",
    L"S_MsgBox_Title_Warning",
    L"S_MsgBox_Title_Critical",
    L"S_Dialog_OK",
    L"S_Dialog_Cancel",
    L"S_Cancel_Title",
    L"S_Cancel_CancelText",
    L"S_Cancel_CancelingText",
    L"S_Cancel_StartMsg",
    L"S_Cancel_CancelMsg",
    L"S_Cancel_AlreadyRunMsg",
    L"S_AP_ALREADYRUN",
    L"VerInfo",
    L"VerInfo.Remove",
    L"VerInfo.Show",
    L"U_CopyRight",
    L"U_CopyRightTitle",
    L"U_NoSaveTo",
    L"U_ErrSaveTo",
    L"U_NoFileOrDir",
    L"U_NoExistFD",
    L"U_NoSelIcon",
    L"U_NoIcons",
    L"U_Canceled",
    L"U_NoBmpWH",
    L"U_NoBmpRGB",
    L"U_NoBmpCor",
    L"U_NoResizeWH",
    L"U_ExistIcon",
    L"U_IsLastImage",
    L"U_IsDelImage",
    L"U_IsCancelIcon",
    L"U_LoadErr",
    L"U_NoImages",
    L"U_IsClearFillBack",
    L"U_NoImgPaste",
    L"U_NeedSelImg",
    L"U_IsDiscade",
    L"mainMenu",
    L"mainMenu.menuFile",
    L"mainMenu.menuFileTips",
    L"mainMenu.menuFile.menuMinWin",
    L"mainMenu.menuFile.menuMinWinTips",
    L"mainMenu.menuFile.menuExit",
    L"mainMenu.menuFile.menuExitTips",
    L"mainMenu.menuView",
    L"mainMenu.menuViewTips",
    L"mainMenu.menuView.menuToolBar",
    L"mainMenu.menuView.menuToolBarTips",
    L"mainMenu.menuView.menuToolBar.menuCommTool",
    L"mainMenu.menuView.menuToolBar.menuCommToolTips",
    L"mainMenu.menuView.menuToolBar.menuEditTool",
    L"mainMenu.menuView.menuToolBar.menuEditToolTips",
    L"mainMenu.menuView.menuToolBar.menuFixTools",
    L"mainMenu.menuView.menuToolBar.menuFixToolsTips",
    L"mainMenu.menuView.menuTips",
    L"mainMenu.menuView.menuTipsTips",
    L"mainMenu.menuView.menuStatusBar",
    L"mainMenu.menuView.menuStatusBarTips",
    L"mainMenu.menuEdit",
    L"mainMenu.menuEdit.menuUnDo",
    L"mainMenu.menuEdit.menuUnDoTips",
    L"mainMenu.menuEdit.menuReDo",
    L"mainMenu.menuEdit.menuReDoTips",
    L"mainMenu.menuEdit.menuCut",
    L"mainMenu.menuEdit.menuCutTips",
    L"mainMenu.menuEdit.menuCopy",
    L"mainMenu.menuEdit.menuCopyTips",
    L"mainMenu.menuEdit.menuPaste",
    L"mainMenu.menuEdit.menuPasteTips",
    L"mainMenu.menuEdit.menuDel",
    L"mainMenu.menuEdit.menuDelTips",
    L"mainMenu.menuEdit.menuSelAll",
    L"mainMenu.menuEdit.menuSelAllTips",
    L"mainMenu.menuHelp",
    L"mainMenu.menuHelpTips",
    L"mainMenu.menuHelp.menuAbout",
    L"mainMenu.menuHelp.menuAboutTips",
    L"mainMenu.menuHelp.menuAboutTipsExt",
    L"contMenu.menuSaveOne",
    L"contMenu.menuSaveOneTips",
    L"contMenu.menuEditOne",
    L"contMenu.menuEditOneTips",
    L"contMenu.menuClear",
    L"contMenu.menuClearTips",
    L"contMenu.menuExit",
    L"contMenu.menuExitTips",
    L"statusbar.Default",
    L"commTool.toolOnTop",
    L"commTool.toolOnTopTips",
    L"commTool",
    L"editTool.toolCopyTips",
    L"editTool.toolCutTips",
    L"editTool.toolPasteTips",
    L"editTool",
    L"mainPage",
    L"mainPage.labFrom",
    L"mainPage.labSaveTo",
    L"mainPage.radDir",
    L"mainPage.radDirTips",
    L"mainPage.radFile",
    L"mainPage.radFileTips",
    L"mainPage.chkSubDir",
    L"mainPage.chkSubDirTips",
    L"mainPage.chkPreview",
    L"mainPage.chkPreviewTips",
    L"mainPage.btnPreview",
    L"mainPage.btnPreviewTips",
    L"mainPage.btnExtract",
    L"mainPage.btnExtractTips",
    L"mainPage.btnScreen",
    L"mainPage.btnScreenTips",
    L"mainPage.btnExplore",
    L"mainPage.btnExploreTips",
    L"mainPage.btnClear",
    L"mainPage.btnClearTips",
    L"mainPage.btnNewIcon",
    L"mainPage.btnNewIconTips",
    L"mainPage.btnEditIcon",
    L"mainPage.btnEditIconTips",
    L"mainPage.labGoPage",
    L"iconPage",
    L"iconPage.btnNewIcon",
    L"iconPage.btnClose",
    L"iconPage.grpIcon",
    L"iconPage.grpWork",
    L"iconPage.labImageItem",
    L"iconPage.btnImageAdd",
    L"iconPage.btnImageDel",
    L"iconPage.labImageEnlarge",
    L"iconPage.chkPickScreen",
    L"iconPage.chkPickScreenTips",
    L"iconPage.grpTool",
    L"iconPage.grpTool.toolLoadIconTips",
    L"iconPage.grpTool.toolSaveIconTips",
    L"iconPage.grpTool.toolToMemTips",
    L"iconPage.grpTool.toolToFileTips",
    L"iconPage.grpTool.toolEraseTips",
    L"iconPage.grpTool.toolForPasteTips",
    L"iconPage.grpTool.toolForPaste2Tips",
    L"iconPage.grpTool.toolUndoTips",
    L"iconPage.grpMode",
    L"iconPage.grpMode.toolMoveTips",
    L"iconPage.grpMode.toolTransTips",
    L"iconPage.grpMode.toolTransAllTips",
    L"iconPage.grpMode.toolDrawDotTips",
    L"iconPage.grpMode.toolDrawDotAllTips",
    L"iconPage.grpMode.toolPasteTips",
    L"iconPage.grpFrontColor",
    L"iconPage.grpBackColor",
    L"iconPage.labRGB",
    L"iconPage.labRGBTips",
    L"addImage",
    L"addImage.labWidth",
    L"addImage.editWTips",
    L"addImage.labHeight",
    L"addImage.editHTips",
    L"addImage.labColor",
    L"addImage.btnOK",
    L"addImage.btnCancel",
    L"U_OrgSizeTips",
    L"ResizeImage",
    L"ResizeImage.labWidth",
    L"ResizeImage.labHeight",
    L"ResizeImage.btnOK",
    L"ResizeImage.btnCancel",
    L"SelImage",
    L"SelImage.radMem",
    L"SelImage.radFile",
    L"SelImage.btnRefresh",
    L"SelImage.btnSelFile",
    L"SelImage.btnResize",
    L"SelImage.labInfo",
    L"SelImage.grpWork",
    L"SelImage.btnOK",
    L"SelImage.btnCancel",
    L"pageOption",
    L"pageOption.btnOK",
    L"pageOption.comboLangTips",
    L"pageOption.labLang",
    L"pageOption.grpBmp",
    L"pageOption.grpBmp.labBmpWH",
    L"pageOption.grpBmp.labBmpCor",
    L"pageOption.grpBmp.editCorTips",
    L"pageOption.grpBmp.labBmpRgb",
    L"pageOption.grpBmp.editWTips",
    L"pageOption.grpBmp.editHTips",
    L"pageOption.grpBmp.editRTips",
    L"pageOption.grpBmp.editGTips",
    L"pageOption.grpBmp.editBTips",
    L"pageOption.grpBmp.chkTreateBmp",
    L"pageOption.grpBmp.chkTreateBmpTips",
    L"pageOption.grpBmp.labMaxItem",
    L"pageOption.grpBmp.editMaxItemTips",
};

struct BuiltInLanguage {
  const wchar_t* resource;
  const wchar_t* ownName;
  std::vector<std::wstring> extraKeys;  // keys only this language carries
};

const BuiltInLanguage kLanguages[] = {
    {L"EN-US", L"English (United States)", {}},
    {L"JA-JP", L"日本語 (日本)", {L"iconPage.grpMode.toolPasteTipsExt", L"mainMenu.menuEditTips"}},
    {L"ZH-CN", L"中文(简体)", {}},
    {L"ZH-TW", L"中文(繁體)", {}},
};

void PrintTo(const BuiltInLanguage& language, std::ostream* out) {
  for (const wchar_t* c = language.resource; *c; ++c) *out << static_cast<char>(*c);
}

using Pair = std::pair<std::wstring, std::wstring>;

struct ParsedText {
  std::vector<std::wstring> sections;
  std::vector<Pair> pairs;  // stored key ("Lang." + key) and value, in file order
};

std::string ReadOwnResource(const wchar_t* name) {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(self, name, L"LANGFILE");
  if (!found) return std::string();
  HGLOBAL loaded = LoadResource(self, found);
  const char* bytes = static_cast<const char*>(LockResource(loaded));
  return bytes ? std::string(bytes, SizeofResource(self, found)) : std::string();
}

// Empty when the bytes are not valid UTF-8.
std::wstring DecodeUtf8(const std::string& bytes) {
  int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), (int)bytes.size(), nullptr, 0);
  if (count <= 0) return std::wstring();
  std::wstring text(count, L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), (int)bytes.size(), &text[0], count);
  return text;
}

std::wstring TrimSpaces(const std::wstring& line) {
  size_t first = line.find_first_not_of(L' ');
  if (first == std::wstring::npos) return std::wstring();
  return line.substr(first, line.find_last_not_of(L' ') - first + 1);
}

std::wstring UnescapeLineBreaks(std::wstring value) {
  for (size_t at = value.find(L"\\n"); at != std::wstring::npos; at = value.find(L"\\n", at + 1)) {
    value.replace(at, 2, L"\n");
  }
  return value;
}

// The settings format as the language store reads it: trimmed lines, "#", ";"
// and "[" lines are no pairs, "[name]" opens a section, key=value with "=" past 0.
ParsedText ParseSettingsText(std::wstring text) {
  ParsedText parsed;
  if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
  text.erase(std::remove(text.begin(), text.end(), L'\r'), text.end());
  std::wstring prefix;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = TrimSpaces(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == L'#' || line[0] == L';') continue;
    if (line[0] == L'[') {
      if (line.back() == L']') {
        std::wstring name = line.substr(1, line.size() - 2);
        parsed.sections.push_back(name);
        prefix = name.empty() ? std::wstring() : name + L".";
      }
      continue;
    }
    size_t equals = line.find(L'=');
    if (equals == std::wstring::npos || equals == 0) continue;
    parsed.pairs.emplace_back(prefix + line.substr(0, equals), UnescapeLineBreaks(line.substr(equals + 1)));
  }
  return parsed;
}

std::vector<std::wstring> KeysWithoutSection(const ParsedText& parsed) {
  std::vector<std::wstring> keys;
  for (const Pair& pair : parsed.pairs) {
    keys.push_back(pair.first.compare(0, 5, L"Lang.") == 0 ? pair.first.substr(5) : pair.first);
  }
  return keys;
}

const std::wstring* FindValue(const ParsedText& parsed, const std::wstring& key) {
  for (const Pair& pair : parsed.pairs) {
    if (pair.first == L"Lang." + key) return &pair.second;
  }
  return nullptr;
}

// printf conversions in order ("%d", "%5.2s"; "%%" is no conversion).
std::vector<std::wstring> Conversions(const std::wstring& text) {
  std::vector<std::wstring> found;
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] != L'%') continue;
    if (at + 1 < text.size() && text[at + 1] == L'%') {
      ++at;
      continue;
    }
    size_t end = text.find_first_not_of(L"-+ #0123456789.*hlLI", at + 1);
    if (end == std::wstring::npos) end = text.size() - 1;
    found.push_back(text.substr(at, end - at + 1));
    at = end;
  }
  return found;
}

// The characters after "&" that the menus and controls use as mnemonics.
std::wstring Mnemonics(const std::wstring& text) {
  std::wstring found;
  for (size_t at = 0; at + 1 < text.size(); ++at) {
    if (text[at] != L'&') continue;
    if (text[at + 1] != L'&') found += text[at + 1];
    ++at;
  }
  return found;
}

size_t LineBreaks(const std::wstring& text) { return std::count(text.begin(), text.end(), L'\n'); }

std::vector<std::wstring> EnglishKeyList() {
  return std::vector<std::wstring>(std::begin(kEnglishKeys), std::end(kEnglishKeys));
}

ParsedText ParseResource(const wchar_t* name) { return ParseSettingsText(DecodeUtf8(ReadOwnResource(name))); }

class LanguageTextTest : public ::testing::TestWithParam<BuiltInLanguage> {
 protected:
  void SetUp() override {
    bytes_ = ReadOwnResource(GetParam().resource);
    ASSERT_FALSE(bytes_.empty()) << "no LANGFILE resource";
    parsed_ = ParseSettingsText(DecodeUtf8(bytes_));
    english_ = ParseResource(L"EN-US");
  }

  bool IsExtraKey(const std::wstring& key) const {
    const std::vector<std::wstring>& extras = GetParam().extraKeys;
    return std::find(extras.begin(), extras.end(), key) != extras.end();
  }

  std::string bytes_;
  ParsedText parsed_;
  ParsedText english_;
};

TEST_P(LanguageTextTest, StartsWithTheUtf8Mark) {
  ASSERT_GE(bytes_.size(), 3u);
  EXPECT_EQ(std::string("\xEF\xBB\xBF"), bytes_.substr(0, 3));
}

TEST_P(LanguageTextTest, IsValidUtf8) {
  EXPECT_FALSE(DecodeUtf8(bytes_).empty());
}

TEST_P(LanguageTextTest, EndsEveryLineWithCrLf) {
  for (size_t at = 0; at < bytes_.size(); ++at) {
    if (bytes_[at] == '\n') {
      ASSERT_TRUE(at > 0 && bytes_[at - 1] == '\r') << "bare line feed at byte " << at;
    } else if (bytes_[at] == '\r') {
      ASSERT_TRUE(at + 1 < bytes_.size() && bytes_[at + 1] == '\n') << "bare carriage return at byte " << at;
    }
  }
  EXPECT_EQ(std::string("\r\n"), bytes_.substr(bytes_.size() - 2));
}

TEST_P(LanguageTextTest, HoldsOneLangSectionOnly) {
  EXPECT_EQ(std::vector<std::wstring>{L"Lang"}, parsed_.sections);
  for (const Pair& pair : parsed_.pairs) {
    EXPECT_EQ(0, pair.first.compare(0, 5, L"Lang.")) << pair.first;
  }
}

TEST_P(LanguageTextTest, StartsWithItsOwnName) {
  ASSERT_FALSE(parsed_.pairs.empty());
  EXPECT_EQ(L"Lang.LangName", parsed_.pairs[0].first);
  EXPECT_EQ(GetParam().ownName, parsed_.pairs[0].second);
}

TEST_P(LanguageTextTest, HoldsTheEnglishKeysInOrderAndNoOthers) {
  std::vector<std::wstring> keys = KeysWithoutSection(parsed_);
  std::vector<std::wstring> withoutExtras;
  for (const std::wstring& key : keys) {
    if (!IsExtraKey(key)) withoutExtras.push_back(key);
  }
  EXPECT_EQ(keys.size(), withoutExtras.size() + GetParam().extraKeys.size()) << "an extra key is missing or doubled";
  EXPECT_EQ(EnglishKeyList(), withoutExtras);
}

TEST_P(LanguageTextTest, GivesEveryKeyAText) {
  for (const Pair& pair : parsed_.pairs) {
    EXPECT_FALSE(pair.second.empty()) << pair.first;
  }
}

TEST_P(LanguageTextTest, KeepsConversionsMnemonicsAndLineBreaksOfEnglish) {
  for (const wchar_t* key : kEnglishKeys) {
    const std::wstring* english = FindValue(english_, key);
    const std::wstring* own = FindValue(parsed_, key);
    ASSERT_TRUE(english && own) << key;
    EXPECT_EQ(Conversions(*english), Conversions(*own)) << key;
    EXPECT_EQ(Mnemonics(*english), Mnemonics(*own)) << key;
    EXPECT_EQ(LineBreaks(*english), LineBreaks(*own)) << key;
  }
}

TEST_P(LanguageTextTest, TranslatesRatherThanCopiesEnglish) {
  if (std::wstring(GetParam().resource) == L"EN-US") return;
  for (const wchar_t* key : kEnglishKeys) {
    const std::wstring* english = FindValue(english_, key);
    const std::wstring* own = FindValue(parsed_, key);
    ASSERT_TRUE(english && own) << key;
    if (*english != L"OK") {
      EXPECT_NE(*english, *own) << key;
    }
  }
}

std::string ResourceNameOf(const ::testing::TestParamInfo<BuiltInLanguage>& info) {
  std::string name;
  for (const wchar_t* c = info.param.resource; *c; ++c) {
    if (*c != L'-') name += static_cast<char>(*c);
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(BuiltIn, LanguageTextTest, ::testing::ValuesIn(kLanguages), ResourceNameOf);

TEST(LanguageTexts, EnglishListHoldsEveryKeyOnce) {
  std::vector<std::wstring> keys = EnglishKeyList();
  EXPECT_EQ(196u, keys.size());
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys.end(), std::adjacent_find(keys.begin(), keys.end()));
}

TEST(LanguageTexts, ResourceNamesAreFoundWithoutRegardToCase) {
  const wchar_t* const spellings[][2] = {
      {L"en-US", L"EN-US"}, {L"ja-jp", L"JA-JP"}, {L"zh-CN", L"ZH-CN"}, {L"Zh-Tw", L"ZH-TW"}};
  for (const auto& spelling : spellings) {
    std::string asked = ReadOwnResource(spelling[0]);
    EXPECT_FALSE(asked.empty()) << spelling[0];
    EXPECT_EQ(ReadOwnResource(spelling[1]), asked) << spelling[0];
  }
}

// Texts that other parts of the program and its users know word for word.
TEST(LanguageTexts, EnglishHoldsTheProgramsOwnWording) {
  const wchar_t* const expected[][2] = {
      {L"LangName", L"English (United States)"},
      {L"S_MsgBox_Title_Info", L"Information"},
      {L"S_MsgBox_Title_Question", L"Question"},
      {L"S_Dialog_OK", L"OK"},
      {L"S_Cancel_Title", L"Running..."},
      {L"S_Cancel_CancelText", L"Cancel"},
      {L"S_Cancel_CancelingText", L"Cancel..."},
      {L"S_Cancel_StartMsg", L"Start to Run?"},
      {L"S_Cancel_CancelMsg", L"Cancel it?"},
      {L"S_Cancel_AlreadyRunMsg", L"Cannot start another run for now is running."},
      {L"VerInfo", L"Version Info"},
      {L"VerInfo.Remove", L"Remove Version Info after loaded minutes."},
      {L"VerInfo.Show", L"ReShow"},
      {L"U_NoBmpWH", L"This size of icon(WH), should be 1~128."},
      {L"U_NoResizeWH", L"Need input right size."},
      {L"U_ExistIcon", L"This type of image is exist."},
      {L"U_IsLastImage", L"Cannot delete the last image of icon."},
      {L"U_IsDelImage", L"Delete current image? cannot restore it again."},
      {L"U_IsCancelIcon", L"Cancel edit of icon?"},
      {L"U_LoadErr", L"Cannot load icon."},
      {L"U_NoImages", L"Need add image into current icon."},
      {L"U_IsClearFillBack", L"Fill with backgrand color? or No to transparent it."},
      {L"U_NoImgPaste", L"No image in memory. need set image to memory first."},
      {L"U_NeedSelImg", L"Need select image."},
      {L"U_IsDiscade", L"Discade all the editing ICON?"},
      {L"U_OrgSizeTips", L"Orignal szie:[%d x %d]"},
      {L"mainMenu.menuFile", L"File(&F)"},
      {L"mainMenu.menuFileTips", L"menu of file."},
      {L"statusbar.Default", L"Ready."},
      {L"iconPage.grpIcon", L"Icon Image(Orignal)"},
      {L"iconPage.grpWork", L"Work Area(Expansion)"},
      {L"iconPage.labImageItem", L"Icon's Images"},
      {L"iconPage.labImageEnlarge", L"Expansion rate"},
      {L"iconPage.labRGB", L"Color[RGB]:"},
      {L"iconPage.grpTool.toolForPaste2Tips",
       L"pick image from clipboard or BMP file, save it to memory and can paste it next time"},
      {L"iconPage.grpMode.toolDrawDotAllTips", L"draw dot(replace all same color)"},
      {L"addImage", L"Add Image to ICON"},
      {L"addImage.labWidth", L"width of ICON:"},
      {L"ResizeImage", L"Resize of Image"},
      {L"SelImage", L"Pick out Image from ClipBoard or BMP File"},
      {L"SelImage.radMem", L"Get Image form Clipboard."},
      {L"SelImage.labInfo", L"Move rect with click at Image View.\nOr with Ctrl Key press to move image."},
      {L"pageOption.grpBmp.labMaxItem", L"Max items/page"},
  };
  ParsedText english = ParseResource(L"EN-US");
  for (const auto& entry : expected) {
    const std::wstring* value = FindValue(english, entry[0]);
    ASSERT_TRUE(value) << entry[0];
    EXPECT_EQ(entry[1], *value) << entry[0];
  }
}

TEST(LanguageTexts, AboutTextIsANoticeOfSeveralLinesInEveryLanguage) {
  for (const BuiltInLanguage& language : kLanguages) {
    ParsedText parsed = ParseResource(language.resource);
    const std::wstring* notice = FindValue(parsed, L"U_CopyRight");
    ASSERT_TRUE(notice) << language.resource;
    EXPECT_GE(LineBreaks(*notice), 2u) << language.resource;
    EXPECT_NE(std::wstring::npos, notice->find(L"Pixquarry")) << language.resource;
  }
}

}  // namespace
