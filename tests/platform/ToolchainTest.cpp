// The ground every other suite stands on: the cross toolchain, the Wine run time
// and the test display behave like 32-bit Windows.
#include "core/Platform.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <mutex>
#include <string>

namespace {

std::wstring Widen(const std::string& bytes, UINT codePage) {
  int count = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), (int)bytes.size(), nullptr, 0);
  std::wstring text(count, L'\0');
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), (int)bytes.size(), &text[0], count);
  return text;
}

std::string Narrow(const std::wstring& text, UINT codePage) {
  int count = WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
  std::string bytes(count, '\0');
  WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), &bytes[0], count, nullptr, nullptr);
  return bytes;
}

TEST(Toolchain, Is32BitWindowsWithUtf16WideCharacters) {
  EXPECT_EQ(2u, sizeof(wchar_t));
  EXPECT_EQ(4u, sizeof(void*));
  EXPECT_EQ(4u, sizeof(long));
}

TEST(Toolchain, PosixThreadModelGivesStdMutex) {
  std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  SUCCEED();
}

TEST(Toolchain, Utf8RoundTripsThroughThePlatform) {
  const std::wstring text = L"Pixquarry \x30A2\x30A4\x30B3\x30F3 \x56FE\x6807 \xD83D\xDE00";
  const std::string utf8 = Narrow(text, CP_UTF8);
  EXPECT_EQ(text, Widen(utf8, CP_UTF8));
  EXPECT_EQ(std::string("\xE3\x82\xA2", 3), utf8.substr(10, 3));
}

TEST(Toolchain, WideFormatTakesPercentSAsWide) {
  wchar_t out[32];
  _snwprintf(out, 32, L"%s(%d)", L"shell32", 7);
  EXPECT_STREQ(L"shell32(7)", out);
}

TEST(Toolchain, TestDisplayIsThere) {
  HDC screen = GetDC(nullptr);
  ASSERT_NE(nullptr, screen);
  EXPECT_GT(GetDeviceCaps(screen, HORZRES), 0);
  ReleaseDC(nullptr, screen);
}

}  // namespace
