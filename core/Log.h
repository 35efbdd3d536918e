// The process-wide log: time-stamped lines of six levels written to a UTF-16 file
// beside the executable and to a console window with coloured text, its switches
// kept in the [Log] section of the settings file.
#pragma once

#include "core/Str.h"

#include <cstdarg>

namespace kx {

enum LogLevel { LevelFatal = 0, LevelError = 1, LevelWarn = 2, LevelInfo = 3, LevelDebug = 4, LevelTrace = 5 };

// "FATAL" ... "TRACE"; numbers outside 0..5 are "TRACE".
const wchar_t *LogLevelName(int level);

// Colour of the default console text.
const int LogDefaultColour = -1;
// Colour of the lines the log writes about itself.
const COLORREF LogNoticeColour = RGB(100, 100, 100);

struct LogSettings {
    // general flags
    static constexpr unsigned SavePositionCheckBox = 1u << 0;
    static constexpr unsigned OpenConsole = 1u << 1;
    static constexpr unsigned OpenFile = 1u << 2;
    static constexpr unsigned OnTop = 1u << 3;
    // level flags
    static constexpr unsigned LogFatal = 1u << 0;
    static constexpr unsigned LogError = 1u << 1;
    static constexpr unsigned LogWarn = 1u << 2;
    static constexpr unsigned LogInfo = 1u << 3;
    static constexpr unsigned LogDebug = 1u << 4;
    static constexpr unsigned LogTraceFile = 1u << 12;
    static constexpr unsigned LogTraceConsole = 1u << 13;

    static constexpr int DefaultFileMaxSize = 1024000;
    static constexpr int DefaultConsoleMaxSize = 65536;
    static constexpr int DefaultConsoleWidth = 600;
    static constexpr int DefaultConsoleHeight = 200;

    LogSettings();
    // Reads the [Log] keys; limits below 1024 mean their defaults.
    void Load(const wchar_t *iniPath);
    // The console's place from the [Log] keys, kept on the screen.
    void LoadConsoleRect(const wchar_t *iniPath);
    bool Save(const wchar_t *iniPath) const;

    unsigned general;
    unsigned levels;
    int fileMaxSize;
    int consoleMaxSize;
    RECT consoleRect;
};

// The window procedure of the console and option windows.
LRESULT CALLBACK LogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// One log: its settings file, its log file, its console and option windows and the
// writer lock. The process has one (see Log); more can be made for other files.
class Logger {
public:
    static constexpr int ConsoleFailed = 1;
    static constexpr int FileFailed = 2;

    Logger(const wchar_t *iniPath, const wchar_t *logPath);
    Logger(const Logger &) = delete;
    Logger &operator=(const Logger &) = delete;
    ~Logger();

    // Reads the settings and opens the configured targets once; returns the
    // targets that failed (ConsoleFailed, FileFailed).
    int Start();
    bool IsStarted() const { return started; }

    void Write(int level, bool noFile, bool noConsole, int colour, const wchar_t *format, va_list args);
    // Writes at the level when its switch is on, in the level's colour.
    void WriteLevel(int level, const wchar_t *format, va_list args);
    void WriteLevelText(int level, const wchar_t *format, ...);
    bool IsLevelOn(int level) const;

    bool OpenConsole();
    void CloseConsole();
    void ClearConsole();
    HWND GetConsoleWindow() const { return console; }
    HWND GetConsoleText() const { return consoleText; }
    // The class of the console's text control: "RichEdit20W", "RICHEDIT" or "EDIT".
    const wchar_t *GetConsoleTextClass() const { return textClass; }
    HWND GetOptionWindow() const { return option; }
    bool OpenOptionWindow();

    bool OpenFile();
    void CloseFile();
    bool IsFileOpen() const { return file != INVALID_HANDLE_VALUE; }

    bool IsSettingsChanged() const { return settingsChanged; }
    bool SaveSettings(const wchar_t *iniPath);
    LogSettings &GetSettings() { return settings; }
    const Str &GetIniPath() const { return iniPath; }
    const Str &GetLogPath() const { return logPath; }

    friend LRESULT CALLBACK LogWindowProc(HWND, UINT, WPARAM, LPARAM);

private:
    bool Lock();
    void Unlock();
    bool OpenFileLocked();
    void CloseFileLocked();
    void CheckFileSize();
    bool BackUpFile(const Str &backup);
    void AppendConsole(const wchar_t *text, int colour);
    void Notice(const Str &text);
    int ConsoleTextLength() const;
    void RecordConsoleRect();
    HWND CreateConsoleText(HWND parent);
    LRESULT ConsoleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OptionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void BuildConsole(HWND window);
    void BuildOption(HWND window);
    void ApplyOption();
    void SetOnTop(bool onTop);

    Str iniPath;
    Str logPath;
    LogSettings settings;
    bool started;
    bool settingsChanged;
    bool consolePlaced;
    HANDLE lock;
    volatile DWORD lockOwner;
    HANDLE file;
    Str formatBuffer;
    HWND console;
    HWND consoleText;
    HWND option;
    const wchar_t *textClass;
    bool richText;
    HMODULE richLibrary;
    HFONT font;
    HBRUSH textBrush;
};

// The process-wide log. Its one object is made during static initialisation, so
// the log runs before the entry point and is closed after everything else.
class Log {
public:
    // A second object throws the wide text "Log is started.".
    Log();
    Log(const Log &) = delete;
    Log &operator=(const Log &) = delete;
    ~Log();

    static void WriteFatal(const wchar_t *format, ...);
    static void WriteError(const wchar_t *format, ...);
    static void WriteWarn(const wchar_t *format, ...);
    static void WriteInfo(const wchar_t *format, ...);
    static void WriteDebug(const wchar_t *format, ...);
    // To the file with LogTraceFile, to the console with LogTraceConsole.
    static void WriteTrace(const wchar_t *format, ...);
    static void WriteLog(int level, bool noFile, bool noConsole, int colour, const wchar_t *format, ...);

    static bool OpenConsole();
    static HWND GetConsoleWindow();
    static bool IsSettingsChanged();
    static void SaveLogSettings(const wchar_t *iniPath);
    static bool IsStarted();
    // The process's log; none before the start and after the end.
    static Logger *GetLogger();
};

} // namespace kx
