#include "core/Log.h"

#include "core/LangUtilFixtures.h"

#include <richedit.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using kx::Logger;
using kx::LogSettings;
using kxtest::ReadBytes;
using kxtest::WriteBytes;
using LogFolder = kxtest::TempFolder;

// The log's text after its mark.
std::wstring ReadLog(const std::wstring &path) {
    std::string bytes = ReadBytes(path);
    if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE')
        return L"<no mark>";
    return std::wstring(reinterpret_cast<const wchar_t *>(bytes.data() + 2), (bytes.size() - 2) / 2);
}

const wchar_t kFirstLine[] = L"Log File(UNICODE):\r\n";

bool IsEntry(const std::wstring &line, const wchar_t *level, const wchar_t *message) {
    int y, mo, d, h, mi, s;
    wchar_t name[16] = {0};
    if (swscanf(line.c_str(), L"%4d/%2d/%2d %2d:%2d:%2d %15[A-Z]:", &y, &mo, &d, &h, &mi, &s, name) != 7)
        return false;
    std::wstring expected = std::wstring(level) + L":" + message + L"\r\n";
    return line.size() == 20 + expected.size() && line.compare(20, std::wstring::npos, expected) == 0 &&
           line[4] == L'/' && line[19] == L' ';
}

std::vector<std::wstring> Lines(const std::wstring &text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
        lines.push_back(text.substr(start, end + 2 - start));
    return lines;
}

TEST(LogFile, DefaultSwitchesWriteErrorsOnlyToTheFile) {
    LogFolder folder;
    std::wstring log = folder.File(L"p.exe.log");
    {
        Logger logger(folder.File(L"p.exe.ini").c_str(), log.c_str());
        EXPECT_EQ(0, logger.Start());
        EXPECT_TRUE(logger.IsFileOpen());
        EXPECT_EQ(nullptr, logger.GetConsoleWindow());
        logger.WriteLevelText(kx::LevelWarn, L"warned %d", 1);
        logger.WriteLevelText(kx::LevelInfo, L"informed");
        logger.WriteLevelText(kx::LevelError, L"failed at %s(%d)", L"C:\\a.ico", 3);
        logger.WriteLevelText(kx::LevelFatal, L"100%% plain");
    }
    std::vector<std::wstring> lines = Lines(ReadLog(log));
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(kFirstLine, lines[0]);
    EXPECT_TRUE(IsEntry(lines[1], L"ERROR", L"failed at C:\\a.ico(3)")) << lines[1];
    EXPECT_TRUE(IsEntry(lines[2], L"FATAL", L"100%% plain")) << lines[2];
}

TEST(LogFile, LongMessagesAndLongPathsAreKept) {
    LogFolder folder;
    std::wstring deep = folder.Path() + L"\\" + std::wstring(120, L'd');
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    deep += L"\\" + std::wstring(120, L'e');
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    std::wstring log = deep + L"\\p.exe.log";
    ASSERT_GT(log.size(), 256u);
    std::wstring message(5000, L'm');
    {
        Logger logger((deep + L"\\p.exe.ini").c_str(), log.c_str());
        logger.Start();
        logger.WriteLevelText(kx::LevelError, L"%s!", message.c_str());
    }
    std::vector<std::wstring> lines = Lines(ReadLog(log));
    ASSERT_EQ(2u, lines.size());
    EXPECT_TRUE(IsEntry(lines[1], L"ERROR", (message + L"!").c_str()));
}

TEST(LogSettingsTest, LimitsBelow1024MeanTheDefaults) {
    const struct {
        const char *text;
        int fileMax;
        int consoleMax;
    } cases[] = {
        {"", 1024000, 65536},
        {"[Log]\r\nFileMaxSize=100\r\nConsoleMaxSize=1023\r\n", 1024000, 65536},
        {"[Log]\r\nFileMaxSize=1024\r\nConsoleMaxSize=2000\r\n", 1024, 2000},
        {"[Log]\r\nFileMaxSize=-5\r\nConsoleMaxSize=x\r\n", 1024000, 65536},
    };
    LogFolder folder;
    std::wstring ini = folder.File(L"s.ini");
    for (const auto &c : cases) {
        WriteBytes(ini, c.text);
        LogSettings settings;
        settings.Load(ini.c_str());
        EXPECT_EQ(c.fileMax, settings.fileMaxSize) << c.text;
        EXPECT_EQ(c.consoleMax, settings.consoleMaxSize) << c.text;
    }
}

TEST(LogSettingsTest, SwitchesRoundTripThroughTheSettingsFile) {
    LogFolder folder;
    std::wstring ini = folder.File(L"s.ini");
    LogSettings defaults;
    EXPECT_EQ(LogSettings::SavePositionCheckBox | LogSettings::OpenFile, defaults.general);
    EXPECT_EQ(LogSettings::LogFatal | LogSettings::LogError, defaults.levels);
    LogSettings changed;
    changed.general = LogSettings::OnTop | LogSettings::SavePositionCheckBox;
    changed.levels = LogSettings::LogWarn | LogSettings::LogTraceConsole;
    changed.fileMaxSize = 5000;
    SetRect(&changed.consoleRect, 10, 20, 410, 320);
    ASSERT_TRUE(changed.Save(ini.c_str()));
    LogSettings read;
    read.Load(ini.c_str());
    EXPECT_EQ(changed.general, read.general);
    EXPECT_EQ(changed.levels, read.levels);
    EXPECT_EQ(5000, read.fileMaxSize);
    EXPECT_EQ(10, read.consoleRect.left);
    EXPECT_EQ(320, read.consoleRect.bottom);
    EXPECT_EQ(400, static_cast<int>(GetPrivateProfileIntW(L"Log", L"ConsoleW", 0, ini.c_str())));
}

TEST(LogFile, OverflowBacksUpAndRestarts) {
    LogFolder folder;
    std::wstring ini = folder.File(L"p.exe.ini");
    std::wstring log = folder.File(L"p.exe.log");
    WriteBytes(ini, "[Log]\r\nFileMaxSize=2048\r\n");
    Logger logger(ini.c_str(), log.c_str());
    logger.Start();
    std::wstring filler(100, L'f');
    for (int i = 0; i < 8; ++i)
        logger.WriteLevelText(kx::LevelError, L"%s", filler.c_str());
    EXPECT_TRUE(ReadBytes(log + L".bak").empty());
    size_t before = ReadBytes(log).size();
    ASSERT_GT(before, 2048u);
    logger.WriteLevelText(kx::LevelError, L"after");
    EXPECT_EQ(before, ReadBytes(log + L".bak").size());
    std::vector<std::wstring> lines = Lines(ReadLog(log));
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(kFirstLine, lines[0]);
    EXPECT_TRUE(IsEntry(lines[1], L"ERROR", L"after"));
}

TEST(LogFile, MissingFolderLeavesTheLogWorking) {
    LogFolder folder;
    Logger logger(folder.File(L"p.ini").c_str(), folder.File(L"none\\p.log").c_str());
    EXPECT_EQ(Logger::FileFailed, logger.Start());
    EXPECT_FALSE(logger.IsFileOpen());
    logger.WriteLevelText(kx::LevelError, L"nowhere");
}

TEST(ProcessLog, StartedBeforeTheEntryPointAndOnlyOnce) {
    EXPECT_TRUE(kx::Log::IsStarted());
    ASSERT_NE(nullptr, kx::Log::GetLogger());
    const wchar_t *thrown = nullptr;
    try {
        kx::Log second;
    } catch (const wchar_t *text) {
        thrown = text;
    }
    ASSERT_NE(nullptr, thrown);
    EXPECT_EQ(std::wstring(L"Log is started."), thrown);
}

void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

COLORREF ColourAt(HWND text, int position) {
    SendMessageW(text, EM_SETSEL, position, position + 1);
    CHARFORMATW format;
    std::memset(&format, 0, sizeof format);
    format.cbSize = sizeof format;
    SendMessageW(text, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return format.crTextColor;
}

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
    return text;
}

TEST(LogConsole, ShowsColouredLinesAndHalvesPastItsLimit) {
    LogFolder folder;
    std::wstring ini = folder.File(L"p.exe.ini");
    WriteBytes(ini, "[Log]\r\nOpenConsole=1\r\nOpenFile=0\r\nConsoleMaxSize=1024\r\nLogWarn=1\r\n");
    Logger logger(ini.c_str(), folder.File(L"p.exe.log").c_str());
    EXPECT_EQ(0, logger.Start());
    HWND console = logger.GetConsoleWindow();
    ASSERT_NE(nullptr, console);
    HWND text = logger.GetConsoleText();
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(std::wstring(L"RichEdit20W"), logger.GetConsoleTextClass());
    EXPECT_EQ(std::wstring(L"Log Message"), TextOf(console));
    std::wstring shown = TextOf(text);
    EXPECT_NE(std::wstring::npos, shown.find(L"open ini file:" + ini));

    logger.ClearConsole();
    logger.WriteLevelText(kx::LevelWarn, L"careful");
    shown = TextOf(text);
    size_t at = shown.find(L"careful");
    ASSERT_NE(std::wstring::npos, at);
    EXPECT_NE(std::wstring::npos, shown.find(L" WARN:careful"));
    EXPECT_EQ(RGB(255, 128, 0), ColourAt(text, static_cast<int>(at)));
    logger.WriteLevelText(kx::LevelError, L"bad");
    at = TextOf(text).find(L"bad");
    EXPECT_EQ(RGB(255, 0, 255), ColourAt(text, static_cast<int>(TextOf(text).find(L"ERROR:"))));

    logger.ClearConsole();
    std::wstring chunk(300, L'c');
    for (int i = 0; i < 4; ++i)
        logger.WriteLevelText(kx::LevelError, L"%s", chunk.c_str());
    int full = GetWindowTextLengthW(text);
    ASSERT_GT(full, 1024);
    logger.WriteLevelText(kx::LevelError, L"last");
    int after = GetWindowTextLengthW(text);
    EXPECT_LT(after, full);
    EXPECT_GT(after, full / 2);
    EXPECT_NE(std::wstring::npos, TextOf(text).find(L"last"));

    SendMessageW(console, WM_CLOSE, 0, 0);
    Pump();
    EXPECT_EQ(nullptr, logger.GetConsoleWindow());
    EXPECT_FALSE(IsWindow(console));
    logger.WriteLevelText(kx::LevelError, L"no console");
}

TEST(LogConsole, OptionWindowSwitchesTheFile) {
    LogFolder folder;
    std::wstring ini = folder.File(L"p.exe.ini");
    WriteBytes(ini, "[Log]\r\nOpenConsole=1\r\n");
    Logger logger(ini.c_str(), folder.File(L"p.exe.log").c_str());
    logger.Start();
    HWND console = logger.GetConsoleWindow();
    ASSERT_NE(nullptr, console);
    ASSERT_TRUE(logger.IsFileOpen());
    SendMessageW(console, WM_COMMAND, 1003, 0);
    HWND option = logger.GetOptionWindow();
    ASSERT_NE(nullptr, option);
    EXPECT_FALSE(IsWindowEnabled(console));
    EXPECT_EQ(std::wstring(L"Log Option"), TextOf(option));
    HWND toFile = GetDlgItem(option, 2002);
    EXPECT_EQ(std::wstring(L"Enable Log to File"), TextOf(toFile));
    EXPECT_EQ(BST_CHECKED, SendMessageW(toFile, BM_GETCHECK, 0, 0));
    SendMessageW(toFile, BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(option, WM_COMMAND, 2011, 0);
    EXPECT_EQ(nullptr, logger.GetOptionWindow());
    EXPECT_TRUE(IsWindowEnabled(console));
    EXPECT_FALSE(logger.IsFileOpen());
    EXPECT_TRUE(logger.IsSettingsChanged());
    EXPECT_EQ(0, static_cast<int>(GetPrivateProfileIntW(L"Log", L"OpenFile", 9, ini.c_str())));
    EXPECT_EQ(1, static_cast<int>(GetPrivateProfileIntW(L"Log", L"OpenConsole", 9, ini.c_str())));

    SendMessageW(console, WM_COMMAND, 1003, 0);
    option = logger.GetOptionWindow();
    ASSERT_NE(nullptr, option);
    SendMessageW(GetDlgItem(option, 2002), BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(option, WM_COMMAND, 2011, 0);
    EXPECT_TRUE(logger.IsFileOpen());
    logger.CloseConsole();
    Pump();
}

} // namespace
