// Test fixtures shared by the core suites: a temporary folder with real files, byte-exact
// file reading and writing, and a helper thread that answers the modal dialog of the test thread.
#pragma once

#include "core/Platform.h"
#include "core/Str.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace kxtest {

inline std::wstring UniqueName(const wchar_t *prefix) {
    static unsigned counter = 0;
    wchar_t name[64];
    _snwprintf(name, 64, L"%ls%lu_%lu_%u", prefix, GetCurrentProcessId(), GetTickCount(), ++counter);
    name[63] = 0;
    return name;
}

inline bool RemoveTree(const std::wstring &folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    return RemoveDirectoryW(folder.c_str()) != FALSE;
}

inline bool WriteBytes(const std::wstring &path, const void *bytes, size_t size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = size == 0 || WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    return ok && written == size;
}

inline bool WriteBytes(const std::wstring &path, const std::string &bytes) {
    return WriteBytes(path, bytes.data(), bytes.size());
}

// The whole file, or nothing when it cannot be opened.
inline std::string ReadBytes(const std::wstring &path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    std::string bytes;
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

// A string's text; the null string reads as empty.
inline std::wstring Text(const kx::Str &s) {
    return s.GetBuffer() ? std::wstring(s.GetBuffer(), static_cast<size_t>(s.GetLength())) : std::wstring();
}

// UTF-8 text with the mark EF BB BF.
inline bool WriteUtf8File(const std::wstring &path, const std::wstring &text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes("\xEF\xBB\xBF");
    std::string body(static_cast<size_t>(size), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &body[0], size, nullptr, nullptr);
    bytes += body;
    return WriteBytes(path, bytes.data(), bytes.size());
}

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() : TempFolder(TempRoot()) {}
    explicit TempFolder(const std::wstring &parent) {
        path_ = parent;
        if (!path_.empty() && path_.back() != L'\\')
            path_ += L'\\';
        path_ += UniqueName(L"kxt");
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(path_); }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    // The folder without a trailing separator.
    const std::wstring &Path() const { return path_; }
    std::wstring operator/(const std::wstring &name) const { return path_ + L"\\" + name; }
    std::wstring File(const std::wstring &name) const { return *this / name; }
    std::wstring Add(const std::wstring &name, const std::string &bytes = "x") const {
        std::wstring path = *this / name;
        WriteBytes(path, bytes.data(), bytes.size());
        return path;
    }
    std::wstring AddFolder(const std::wstring &name) const {
        std::wstring path = *this / name;
        CreateDirectoryW(path.c_str(), nullptr);
        return path;
    }

    static std::wstring TempRoot() {
        wchar_t root[MAX_PATH + 1];
        DWORD length = GetTempPathW(MAX_PATH + 1, root);
        return std::wstring(root, length);
    }

private:
    std::wstring path_;
};

// Answers the first visible dialog box of a thread with a command (IDOK or IDCANCEL),
// again every two seconds, until told that the modal call has returned.
class DialogAnswer {
public:
    explicit DialogAnswer(int command) : thread_(GetCurrentThreadId()), command_(command) {
        worker_ = std::thread([this] { Run(); });
    }
    ~DialogAnswer() { Done(); }
    DialogAnswer(const DialogAnswer &) = delete;
    DialogAnswer &operator=(const DialogAnswer &) = delete;

    void Done() {
        done_ = true;
        if (worker_.joinable())
            worker_.join();
    }
    bool Answered() const { return answered_; }
    // The dialog's caption when it was answered.
    const std::wstring &Caption() const { return caption_; }

private:
    static BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
        wchar_t name[16];
        if (IsWindowVisible(window) && GetClassNameW(window, name, 16) && wcscmp(name, L"#32770") == 0) {
            *reinterpret_cast<HWND *>(found) = window;
            return FALSE;
        }
        return TRUE;
    }

    void Run() {
        auto lastPost = std::chrono::steady_clock::now() - std::chrono::seconds(10);
        auto firstSeen = std::chrono::steady_clock::time_point();
        while (!done_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            HWND dialog = nullptr;
            EnumThreadWindows(thread_, FindDialog, reinterpret_cast<LPARAM>(&dialog));
            if (dialog == nullptr) {
                firstSeen = std::chrono::steady_clock::time_point();
                continue;
            }
            auto now = std::chrono::steady_clock::now();
            if (firstSeen == std::chrono::steady_clock::time_point())
                firstSeen = now;
            // Let the dialog finish its own start before answering it.
            if (now - firstSeen < std::chrono::milliseconds(400) || now - lastPost < std::chrono::seconds(2))
                continue;
            wchar_t caption[256] = {0};
            GetWindowTextW(dialog, caption, 256);
            caption_ = caption;
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(command_, BN_CLICKED), 0);
            answered_ = true;
            lastPost = now;
        }
    }

    DWORD thread_;
    int command_;
    std::atomic<bool> done_{false};
    std::atomic<bool> answered_{false};
    std::wstring caption_;
    std::thread worker_;
};

} // namespace kxtest
