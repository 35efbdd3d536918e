#include "core/Log.h"

#include "core/Util.h"

#include <richedit.h>

#include <cstring>

namespace kx {

namespace {

const wchar_t kSection[] = L"Log";
const wchar_t kWindowClass[] = L"LOGWND";
const wchar_t kFileFirstLine[] = L"Log File(UNICODE):\r\n";
const int kMinLimit = 1024;

enum { RoleConsole = 1, RoleOption = 2 };

enum {
    IdClose = 1001,
    IdClear,
    IdOption,
    IdOnTop,
    IdText,
    IdSavePosition = 2001,
    IdLogToFile,
    IdOpenConsole,
    IdLogFatal,
    IdLogError,
    IdLogWarn,
    IdLogInfo,
    IdLogDebug,
    IdLogTraceFile,
    IdLogTraceConsole,
    IdOk,
    IdCancel
};

// The [Log] switches, in the order they are written back.
struct Switch {
    const wchar_t *key;
    bool general;
    unsigned flag;
    int byDefault;
};

const Switch kSwitches[] = {
    {L"OpenConsole", true, LogSettings::OpenConsole, 0},
    {L"OpenFile", true, LogSettings::OpenFile, 1},
    {L"SavePositionCheckBox", true, LogSettings::SavePositionCheckBox, 1},
    {L"OnTop", true, LogSettings::OnTop, 0},
    {L"LogFatal", false, LogSettings::LogFatal, 1},
    {L"LogError", false, LogSettings::LogError, 1},
    {L"LogWarn", false, LogSettings::LogWarn, 0},
    {L"LogInfo", false, LogSettings::LogInfo, 0},
    {L"LogDebug", false, LogSettings::LogDebug, 0},
    {L"LogTraceFile", false, LogSettings::LogTraceFile, 0},
    {L"LogTraceConsole", false, LogSettings::LogTraceConsole, 0},
};
const int kPositionAfter = 3;

// Check boxes of the option window: id, text, x, y, width, the flag they show.
struct OptionBox {
    int id;
    const wchar_t *text;
    int x, y, width;
    bool general;
    unsigned flag;
};

const OptionBox kOptionBoxes[] = {
    {IdSavePosition, L"Save Position, save position of console when click \"OK\"", 2, 2, 405, true,
     LogSettings::SavePositionCheckBox},
    {IdLogToFile, L"Enable Log to File", 2, 25, 140, true, LogSettings::OpenFile},
    {IdOpenConsole, L"Open Console while startup and Enable Log to Console", 153, 25, 405, true,
     LogSettings::OpenConsole},
    {IdLogFatal, L"Log fatal", 32, 50, 86, false, LogSettings::LogFatal},
    {IdLogError, L"Log error", 132, 50, 85, false, LogSettings::LogError},
    {IdLogWarn, L"Log warn", 232, 50, 85, false, LogSettings::LogWarn},
    {IdLogInfo, L"Log info", 332, 50, 85, false, LogSettings::LogInfo},
    {IdLogDebug, L"Log debug", 432, 50, 94, false, LogSettings::LogDebug},
    {IdLogTraceFile, L"Log trace to File", 32, 75, 140, false, LogSettings::LogTraceFile},
    {IdLogTraceConsole, L"Log trace to Console", 232, 75, 170, false, LogSettings::LogTraceConsole},
};

struct WindowLink {
    Logger *log;
    int role;
};

const COLORREF kLevelColours[] = {RGB(255, 0, 0), RGB(255, 0, 255), RGB(255, 128, 0)};

HINSTANCE ModuleInstance() { return GetModuleHandleW(nullptr); }

int ReadInt(const wchar_t *key, int byDefault, const wchar_t *iniPath) {
    return static_cast<int>(GetPrivateProfileIntW(kSection, key, byDefault, iniPath));
}

bool WriteValue(const wchar_t *key, int value, const wchar_t *iniPath) {
    Str text;
    text.FromInt(value);
    return WritePrivateProfileStringW(kSection, key, text.GetBuffer(), iniPath) != 0;
}

bool RegisterLogClass() {
    WNDCLASSEXW existing;
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(ModuleInstance(), kWindowClass, &existing))
        return true;
    WNDCLASSEXW wc;
    std::memset(&wc, 0, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = LogWindowProc;
    wc.cbWndExtra = 2 * sizeof(LONG_PTR);
    wc.hInstance = ModuleInstance();
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    return RegisterClassExW(&wc) != 0;
}

HWND CreateChild(HWND parent, const wchar_t *className, const wchar_t *text, DWORD style, int x, int y, int width,
                 int height, int id) {
    HWND child = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ModuleInstance(), nullptr);
    if (child != nullptr)
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return child;
}

bool IsChecked(HWND window, int id) { return IsDlgButtonChecked(window, id) == BST_CHECKED; }

// A format with no conversion is written as it stands.
bool HasConversion(const wchar_t *format) {
    for (const wchar_t *at = wcschr(format, L'%'); at != nullptr && at[1] != 0; at = wcschr(at + 2, L'%'))
        if (at[1] != L'%')
            return true;
    return false;
}

} // namespace

const wchar_t *LogLevelName(int level) {
    static const wchar_t *const names[] = {L"FATAL", L"ERROR", L"WARN", L"INFO", L"DEBUG", L"TRACE"};
    return level >= 0 && level <= LevelTrace ? names[level] : names[LevelTrace];
}

LogSettings::LogSettings()
    : general(0), levels(0), fileMaxSize(DefaultFileMaxSize), consoleMaxSize(DefaultConsoleMaxSize) {
    for (const Switch &s : kSwitches)
        if (s.byDefault)
            (s.general ? general : levels) |= s.flag;
    SetRect(&consoleRect, 0, 0, DefaultConsoleWidth, DefaultConsoleHeight);
}

void LogSettings::Load(const wchar_t *iniPath) {
    general = 0;
    levels = 0;
    for (const Switch &s : kSwitches)
        if (ReadInt(s.key, s.byDefault, iniPath) != 0)
            (s.general ? general : levels) |= s.flag;
    fileMaxSize = ReadInt(L"FileMaxSize", DefaultFileMaxSize, iniPath);
    if (fileMaxSize < kMinLimit)
        fileMaxSize = DefaultFileMaxSize;
    consoleMaxSize = ReadInt(L"ConsoleMaxSize", DefaultConsoleMaxSize, iniPath);
    if (consoleMaxSize < kMinLimit)
        consoleMaxSize = DefaultConsoleMaxSize;
    LoadConsoleRect(iniPath);
}

void LogSettings::LoadConsoleRect(const wchar_t *iniPath) {
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    int width = ReadInt(L"ConsoleW", DefaultConsoleWidth, iniPath);
    int height = ReadInt(L"ConsoleH", DefaultConsoleHeight, iniPath);
    // A window without size could never be seen again.
    if (width <= 0)
        width = DefaultConsoleWidth;
    if (height <= 0)
        height = DefaultConsoleHeight;
    if (width > screenWidth)
        width = screenWidth;
    if (height > screenHeight)
        height = screenHeight;
    int x = ReadInt(L"ConsoleX", screenWidth - width - 20, iniPath);
    int y = ReadInt(L"ConsoleY", screenHeight - height - 30, iniPath);
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    if (x > screenWidth)
        x = screenWidth - 20;
    if (y > screenHeight)
        y = screenHeight - 30;
    SetRect(&consoleRect, x, y, x + width, y + height);
}

bool LogSettings::Save(const wchar_t *iniPath) const {
    bool saved = true;
    int index = 0;
    for (const Switch &s : kSwitches) {
        if (index++ == kPositionAfter && (general & SavePositionCheckBox)) {
            saved &= WriteValue(L"ConsoleX", consoleRect.left, iniPath);
            saved &= WriteValue(L"ConsoleY", consoleRect.top, iniPath);
            saved &= WriteValue(L"ConsoleW", consoleRect.right - consoleRect.left, iniPath);
            saved &= WriteValue(L"ConsoleH", consoleRect.bottom - consoleRect.top, iniPath);
        }
        saved &= WriteValue(s.key, ((s.general ? general : levels) & s.flag) ? 1 : 0, iniPath);
    }
    saved &= WriteValue(L"FileMaxSize", fileMaxSize, iniPath);
    saved &= WriteValue(L"ConsoleMaxSize", consoleMaxSize, iniPath);
    return saved;
}

Logger::Logger(const wchar_t *iniPath, const wchar_t *logPath)
    : iniPath(iniPath), logPath(logPath), started(false), settingsChanged(false), consolePlaced(false),
      lock(CreateEventW(nullptr, FALSE, TRUE, nullptr)), lockOwner(0), file(INVALID_HANDLE_VALUE),
      formatBuffer(MinCapacity(512)), console(nullptr), consoleText(nullptr), option(nullptr), textClass(L""),
      richText(false), richLibrary(nullptr), font(nullptr), textBrush(nullptr) {}

Logger::~Logger() {
    if (console != nullptr && IsWindow(console))
        DestroyWindow(console);
    // The library's window class must outlive every window made of it.
    if (richLibrary != nullptr && console == nullptr)
        FreeLibrary(richLibrary);
    CloseFileLocked();
    if (lock != nullptr)
        CloseHandle(lock);
}

bool Logger::Lock() {
    DWORD self = GetCurrentThreadId();
    if (lock == nullptr || lockOwner == self)
        return false;
    bool dispatch = true;
    for (;;) {
        DWORD woke = MsgWaitForMultipleObjects(1, &lock, FALSE, INFINITE, dispatch ? QS_ALLINPUT : QS_SENDMESSAGE);
        if (woke == WAIT_OBJECT_0)
            break;
        if (woke != WAIT_OBJECT_0 + 1)
            return false;
        MSG message;
        if (!dispatch) {
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // Leave the quit to the thread's own loop; serve only sent messages.
                PostQuitMessage(static_cast<int>(message.wParam));
                dispatch = false;
                break;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    lockOwner = self;
    return true;
}

void Logger::Unlock() {
    lockOwner = 0;
    SetEvent(lock);
}

int Logger::Start() {
    if (started || !Lock())
        return 0;
    if (started) {
        Unlock();
        return 0;
    }
    started = true;
    settings.Load(iniPath.GetBuffer());
    consolePlaced = true;
    int failures = 0;
    if (settings.general & LogSettings::OpenConsole) {
        if (!OpenConsole())
            failures |= ConsoleFailed;
        else
            Notice(Str().Format(L"open ini file:%s\r\n", iniPath.GetBuffer()));
    }
    if ((settings.general & LogSettings::OpenFile) && !OpenFileLocked())
        failures |= FileFailed;
    Unlock();
    WriteLevelText(LevelInfo, L"Log is starting");
    return failures;
}

bool Logger::IsLevelOn(int level) const {
    switch (level) {
    case LevelFatal: return (settings.levels & LogSettings::LogFatal) != 0;
    case LevelError: return (settings.levels & LogSettings::LogError) != 0;
    case LevelWarn: return (settings.levels & LogSettings::LogWarn) != 0;
    case LevelInfo: return (settings.levels & LogSettings::LogInfo) != 0;
    case LevelDebug: return (settings.levels & LogSettings::LogDebug) != 0;
    default: return (settings.levels & (LogSettings::LogTraceFile | LogSettings::LogTraceConsole)) != 0;
    }
}

void Logger::WriteLevelText(int level, const wchar_t *format, ...) {
    va_list args;
    va_start(args, format);
    WriteLevel(level, format, args);
    va_end(args);
}

void Logger::WriteLevel(int level, const wchar_t *format, va_list args) {
    if (!IsLevelOn(level))
        return;
    int colour = level >= LevelFatal && level <= LevelWarn ? static_cast<int>(kLevelColours[level]) : LogDefaultColour;
    bool trace = level < LevelFatal || level > LevelDebug;
    bool noFile = trace && !(settings.levels & LogSettings::LogTraceFile);
    bool noConsole = trace && !(settings.levels & LogSettings::LogTraceConsole);
    Write(level, noFile, noConsole, colour, format, args);
}

void Logger::Write(int level, bool noFile, bool noConsole, int colour, const wchar_t *format, va_list args) {
    if (format == nullptr || ((consoleText == nullptr || noConsole) && (!IsFileOpen() || noFile)))
        return;
    if (!Lock())
        return;
    bool toConsole = consoleText != nullptr && !noConsole;
    bool toFile = IsFileOpen() && !noFile;
    SYSTEMTIME now;
    GetLocalTime(&now);
    Str header;
    header.Format(L"%04d/%02d/%02d %02d:%02d:%02d %s:", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                  now.wSecond, LogLevelName(level));
    if (toConsole)
        AppendConsole(header.GetBuffer(), colour);
    const wchar_t *message = format;
    if (HasConversion(format)) {
        formatBuffer.FormatV(format, args);
        message = formatBuffer.GetBuffer() != nullptr ? formatBuffer.GetBuffer() : L"";
    }
    Str line(message);
    line.Append(L"\r\n");
    if (toConsole)
        AppendConsole(line.GetBuffer(), colour);
    if (toFile) {
        CheckFileSize();
        Str entry(header);
        entry.Append(line);
        LARGE_INTEGER zero;
        zero.QuadPart = 0;
        DWORD written = 0;
        if (SetFilePointerEx(file, zero, nullptr, FILE_END))
            WriteFile(file, entry.GetBuffer(), static_cast<DWORD>(entry.GetLength() * sizeof(wchar_t)), &written,
                      nullptr);
    }
    Unlock();
}

void Logger::Notice(const Str &text) { AppendConsole(text.GetBuffer(), static_cast<int>(LogNoticeColour)); }

bool Logger::OpenFile() {
    if (!Lock())
        return false;
    bool opened = OpenFileLocked();
    Unlock();
    return opened;
}

void Logger::CloseFile() {
    if (!Lock())
        return;
    CloseFileLocked();
    Unlock();
}

bool Logger::OpenFileLocked() {
    if (IsFileOpen())
        return true;
    Notice(Str().Format(L"open log file:%s\r\n", logPath.GetBuffer()));
    file = CreateFileW(logPath.GetBuffer(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (!IsFileOpen())
        return false;
    CheckFileSize();
    return true;
}

void Logger::CloseFileLocked() {
    if (IsFileOpen())
        CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
}

void Logger::CheckFileSize() {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        return;
    if (size.QuadPart > settings.fileMaxSize) {
        Str backup(logPath);
        backup.Append(L".bak");
        Notice(Str().Format(L"backup log file(size:%d):%s\r\n", static_cast<int>(size.QuadPart), backup.GetBuffer()));
        if (!CopyFileW(logPath.GetBuffer(), backup.GetBuffer(), FALSE))
            BackUpFile(backup);
        LARGE_INTEGER zero;
        zero.QuadPart = 0;
        if (SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) && SetEndOfFile(file))
            size.QuadPart = 0;
    }
    if (size.QuadPart == 0) {
        static const unsigned char mark[] = {0xFF, 0xFE};
        DWORD written = 0;
        WriteFile(file, mark, sizeof mark, &written, nullptr);
        WriteFile(file, kFileFirstLine, static_cast<DWORD>(wcslen(kFileFirstLine) * sizeof(wchar_t)), &written,
                  nullptr);
    }
}

// Copies the open log through its own handle, for systems whose file copy refuses a
// file that is open for writing.
bool Logger::BackUpFile(const Str &backup) {
    HANDLE target = CreateFileW(backup.GetBuffer(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (target == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    bool copied = SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) != 0;
    static char chunk[65536];
    while (copied) {
        DWORD got = 0, written = 0;
        if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
            copied = false;
            break;
        }
        if (got == 0)
            break;
        copied = WriteFile(target, chunk, got, &written, nullptr) && written == got;
    }
    CloseHandle(target);
    return copied;
}

int Logger::ConsoleTextLength() const {
    if (!richText)
        return GetWindowTextLengthW(consoleText);
    GETTEXTLENGTHEX query;
    query.flags = GTL_NUMCHARS | GTL_PRECISE;
    query.codepage = 1200;
    return static_cast<int>(SendMessageW(consoleText, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
}

void Logger::AppendConsole(const wchar_t *text, int colour) {
    if (consoleText == nullptr)
        return;
    int length = ConsoleTextLength();
    if (length > settings.consoleMaxSize) {
        SendMessageW(consoleText, EM_SETSEL, 0, length / 2);
        SendMessageW(consoleText, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
        length = ConsoleTextLength();
    }
    SendMessageW(consoleText, EM_SETSEL, length, length);
    if (richText) {
        CHARFORMATW format;
        std::memset(&format, 0, sizeof format);
        format.cbSize = sizeof format;
        format.dwMask = CFM_COLOR;
        format.crTextColor = colour < 0 ? RGB(0, 0, 0) : static_cast<COLORREF>(colour);
        SendMessageW(consoleText, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    }
    SendMessageW(consoleText, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    SendMessageW(consoleText, WM_VSCROLL, SB_BOTTOM, 0);
}

void Logger::ClearConsole() {
    if (consoleText == nullptr)
        return;
    SetWindowTextW(consoleText, L"");
    if (richText) {
        CHARFORMATW format;
        std::memset(&format, 0, sizeof format);
        format.cbSize = sizeof format;
        format.dwMask = CFM_COLOR;
        format.crTextColor = RGB(0, 0, 0);
        SendMessageW(consoleText, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    }
}

bool Logger::OpenConsole() {
    if (console != nullptr)
        return true;
    if (!RegisterLogClass())
        return false;
    if (!consolePlaced) {
        settings.Load(iniPath.GetBuffer());
        consolePlaced = true;
    }
    const RECT &r = settings.consoleRect;
    WindowLink link = {this, RoleConsole};
    HWND created = CreateWindowExW(0, kWindowClass, L"Log Message", WS_OVERLAPPEDWINDOW, r.left, r.top,
                                   r.right - r.left, r.bottom - r.top, nullptr, nullptr, ModuleInstance(), &link);
    if (created == nullptr)
        return false;
    if (settings.general & LogSettings::OnTop) {
        CheckDlgButton(console, IdOnTop, BST_CHECKED);
        SetWindowPos(console, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    ShowWindow(console, SW_SHOWNOACTIVATE);
    RecordConsoleRect();
    return console != nullptr;
}

void Logger::CloseConsole() {
    if (console != nullptr)
        DestroyWindow(console);
}

void Logger::RecordConsoleRect() {
    if (console != nullptr && !IsIconic(console))
        GetWindowRect(console, &settings.consoleRect);
}

HWND Logger::CreateConsoleText(HWND parent) {
    static const struct {
        const wchar_t *library;
        const wchar_t *className;
    } kinds[] = {{L"RICHED20.DLL", L"RichEdit20W"}, {L"RICHED32.DLL", L"RICHEDIT"}};
    DWORD style = WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
    RECT client;
    GetClientRect(parent, &client);
    int width = client.right - 3, height = client.bottom - 24;
    for (const auto &kind : kinds) {
        if (richLibrary == nullptr)
            richLibrary = LoadLibraryW(kind.library);
        if (richLibrary == nullptr)
            continue;
        HWND text = CreateChild(parent, kind.className, L"", style, 2, 24, width, height, IdText);
        if (text != nullptr) {
            textClass = kind.className;
            richText = true;
            SendMessageW(text, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
            SendMessageW(text, EM_SETBKGNDCOLOR, 0, RGB(220, 220, 220));
            return text;
        }
        FreeLibrary(richLibrary);
        richLibrary = nullptr;
    }
    textClass = L"EDIT";
    richText = false;
    HWND text = CreateChild(parent, L"EDIT", L"", style, 2, 24, width, height, IdText);
    if (text != nullptr)
        SendMessageW(text, EM_SETLIMITTEXT, 0, 0);
    return text;
}

void Logger::BuildConsole(HWND window) {
    console = window;
    CreateChild(window, L"BUTTON", L"Close", BS_PUSHBUTTON, 2, 2, 80, 20, IdClose);
    CreateChild(window, L"BUTTON", L"Clear", BS_PUSHBUTTON, 84, 2, 80, 20, IdClear);
    CreateChild(window, L"BUTTON", L"Option", BS_PUSHBUTTON, 166, 2, 70, 20, IdOption);
    CreateChild(window, L"BUTTON", L"OnTop", BS_AUTOCHECKBOX, 240, 2, 120, 20, IdOnTop);
    consoleText = CreateConsoleText(window);
    if (consoleText == nullptr)
        return;
    font = CreateFontW(-14, 0, 0, 0, 400, FALSE, FALSE, FALSE, 128, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"MS UI Gothic");
    if (font != nullptr)
        SendMessageW(consoleText, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void Logger::SetOnTop(bool onTop) {
    if (onTop)
        settings.general |= LogSettings::OnTop;
    else
        settings.general &= ~LogSettings::OnTop;
    SetWindowPos(console, onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    settingsChanged = true;
    SaveSettings(iniPath.GetBuffer());
}

LRESULT Logger::ConsoleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        BuildConsole(window);
        return consoleText != nullptr ? 0 : -1;
    case WM_SIZE:
        if (consoleText != nullptr)
            MoveWindow(consoleText, 2, 24, LOWORD(lParam) - 3, HIWORD(lParam) - 24, TRUE);
        return 0;
    case WM_CTLCOLORSTATIC:
        if (!richText && reinterpret_cast<HWND>(lParam) == consoleText) {
            if (textBrush == nullptr)
                textBrush = CreateSolidBrush(RGB(220, 220, 220));
            SetBkColor(reinterpret_cast<HDC>(wParam), RGB(220, 220, 220));
            return reinterpret_cast<LRESULT>(textBrush);
        }
        break;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IdClose: PostMessageW(window, WM_CLOSE, 0, 0); return 0;
        case IdClear: ClearConsole(); return 0;
        case IdOption: OpenOptionWindow(); return 0;
        case IdOnTop: SetOnTop(IsChecked(window, IdOnTop)); return 0;
        }
        break;
    case WM_CLOSE:
        RecordConsoleRect();
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        RecordConsoleRect();
        consoleText = nullptr;
        console = nullptr;
        return 0;
    case WM_NCDESTROY:
        if (font != nullptr)
            DeleteObject(font);
        if (textBrush != nullptr)
            DeleteObject(textBrush);
        font = nullptr;
        textBrush = nullptr;
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool Logger::OpenOptionWindow() {
    if (option != nullptr || console == nullptr)
        return option != nullptr;
    EnableWindow(console, FALSE);
    int x = (GetSystemMetrics(SM_CXSCREEN) - 600) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - 240) / 2;
    WindowLink link = {this, RoleOption};
    HWND created = CreateWindowExW(0, kWindowClass, L"Log Option", WS_POPUP | WS_CAPTION | WS_SYSMENU, x, y, 600, 240,
                                   console, nullptr, ModuleInstance(), &link);
    if (created == nullptr) {
        EnableWindow(console, TRUE);
        return false;
    }
    ShowWindow(created, SW_SHOW);
    return true;
}

void Logger::BuildOption(HWND window) {
    option = window;
    for (const OptionBox &box : kOptionBoxes) {
        CreateChild(window, L"BUTTON", box.text, BS_AUTOCHECKBOX, box.x, box.y, box.width, 20, box.id);
        bool ticked = box.id == IdLogToFile ? IsFileOpen()
                                            : ((box.general ? settings.general : settings.levels) & box.flag) != 0;
        CheckDlgButton(window, box.id, ticked ? BST_CHECKED : BST_UNCHECKED);
    }
    CreateChild(window, L"BUTTON", L"OK", BS_DEFPUSHBUTTON, 410, 180, 80, 20, IdOk);
    CreateChild(window, L"BUTTON", L"Cancel", BS_PUSHBUTTON, 500, 180, 80, 20, IdCancel);
}

void Logger::ApplyOption() {
    settingsChanged = true;
    unsigned general = 0, levels = 0;
    for (const OptionBox &box : kOptionBoxes)
        if (IsChecked(option, box.id))
            (box.general ? general : levels) |= box.flag;
    if (console != nullptr && IsChecked(console, IdOnTop))
        general |= LogSettings::OnTop;
    settings.general = general;
    settings.levels = levels;
    if (general & LogSettings::SavePositionCheckBox)
        RecordConsoleRect();
    bool toFile = (general & LogSettings::OpenFile) != 0;
    if (toFile && !IsFileOpen())
        OpenFile();
    else if (!toFile && IsFileOpen())
        CloseFile();
    DestroyWindow(option);
    SaveSettings(iniPath.GetBuffer());
}

LRESULT Logger::OptionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        BuildOption(window);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IdOk) {
            ApplyOption();
            return 0;
        }
        if (LOWORD(wParam) == IdCancel) {
            DestroyWindow(window);
            return 0;
        }
        break;
    case WM_DESTROY:
        option = nullptr;
        if (console != nullptr)
            EnableWindow(console, TRUE);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool Logger::SaveSettings(const wchar_t *path) { return settings.Save(path); }

LRESULT CALLBACK LogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const WindowLink *link =
            static_cast<const WindowLink *>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(link->log));
        SetWindowLongPtrW(window, sizeof(LONG_PTR), link->role);
    }
    Logger *log = reinterpret_cast<Logger *>(GetWindowLongPtrW(window, 0));
    if (log == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    if (GetWindowLongPtrW(window, sizeof(LONG_PTR)) == RoleOption)
        return log->OptionMessage(window, message, wParam, lParam);
    return log->ConsoleMessage(window, message, wParam, lParam);
}

namespace {

Logger *processLog = nullptr;
bool processLogEnded = false;
bool logObjectMade = false;

void StartProcessLog() {
    if (processLog != nullptr || processLogEnded)
        return;
    Str executable = Util::GetModulePath(nullptr);
    processLog = new Logger((executable + L".ini").GetBuffer(), (executable + L".log").GetBuffer());
    int failures = processLog->Start();
    if (failures & Logger::ConsoleFailed)
        MessageBoxW(nullptr, L"Error for create Log Console.", L"Message", MB_OK);
    if (failures & Logger::FileFailed)
        MessageBoxW(nullptr, L"Error for create Log File.", L"Message", MB_OK);
}

Logger *ProcessLog() {
    StartProcessLog();
    return processLog;
}

void WriteLevelV(int level, const wchar_t *format, va_list args) {
    if (Logger *log = ProcessLog())
        log->WriteLevel(level, format, args);
}

// Constructed before the other static objects and so destroyed after them.
Log processLogObject __attribute__((init_priority(101)));

} // namespace

Log::Log() {
    if (logObjectMade)
        throw L"Log is started.";
    logObjectMade = true;
    StartProcessLog();
}

Log::~Log() {
    Logger *ending = processLog;
    processLog = nullptr;
    processLogEnded = true;
    delete ending;
}

#define KX_LOG_LEVEL_WRITER(name, level)                                                                               \
    void Log::name(const wchar_t *format, ...) {                                                                       \
        va_list args;                                                                                                  \
        va_start(args, format);                                                                                        \
        WriteLevelV(level, format, args);                                                                              \
        va_end(args);                                                                                                  \
    }

KX_LOG_LEVEL_WRITER(WriteFatal, LevelFatal)
KX_LOG_LEVEL_WRITER(WriteError, LevelError)
KX_LOG_LEVEL_WRITER(WriteWarn, LevelWarn)
KX_LOG_LEVEL_WRITER(WriteInfo, LevelInfo)
KX_LOG_LEVEL_WRITER(WriteDebug, LevelDebug)
KX_LOG_LEVEL_WRITER(WriteTrace, LevelTrace)

void Log::WriteLog(int level, bool noFile, bool noConsole, int colour, const wchar_t *format, ...) {
    va_list args;
    va_start(args, format);
    if (Logger *log = ProcessLog())
        log->Write(level, noFile, noConsole, colour, format, args);
    va_end(args);
}

bool Log::OpenConsole() {
    Logger *log = ProcessLog();
    return log != nullptr && log->OpenConsole();
}

HWND Log::GetConsoleWindow() { return processLog != nullptr ? processLog->GetConsoleWindow() : nullptr; }

bool Log::IsSettingsChanged() { return processLog != nullptr && processLog->IsSettingsChanged(); }

void Log::SaveLogSettings(const wchar_t *iniPath) {
    if (processLog != nullptr)
        processLog->SaveSettings(iniPath);
}

bool Log::IsStarted() { return processLog != nullptr && processLog->IsStarted(); }

Logger *Log::GetLogger() { return processLog; }

} // namespace kx
