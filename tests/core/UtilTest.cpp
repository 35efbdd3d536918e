#include "core/Util.h"

#include "core/LangUtilFixtures.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <vector>

using kx::List;
using kx::Str;
namespace Util = kx::Util;
using kxtest::DialogAnswer;
using kxtest::TempFolder;
using kxtest::Text;

namespace {

std::vector<std::wstring> Items(const List<Str> &list) {
    std::vector<std::wstring> items;
    for (int i = 0; i < list.GetCount(); ++i)
        items.push_back(Text(list.GetAt(i)));
    return items;
}

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full(path, length);
    return full.substr(0, full.find_last_of(L'\\') + 1);
}

// ---- shortcut names

// The named shortcuts, written out family by family.
std::map<int, std::wstring> ExpectedShortcutNames() {
    std::map<int, std::wstring> names;
    struct Row {
        int modifiers;
        const wchar_t *prefix;
        bool insDel, bksp, digits, letters;
    };
    const Row rows[] = {
        {0x000, L"", true, false, false, false},
        {0x100, L"Ctrl+", true, false, true, true},
        {0x200, L"Alt+", false, true, true, false},
        {0x400, L"Shift+", true, false, false, false},
        {0x500, L"Ctrl+Shift+", false, false, true, true},
    };
    for (const Row &row : rows) {
        std::wstring p = row.prefix;
        if (row.insDel) {
            names[row.modifiers | 0x2D] = p + L"Ins";
            names[row.modifiers | 0x2E] = p + L"Del";
        }
        if (row.bksp)
            names[row.modifiers | 0x08] = p + L"Bksp";
        for (int d = 0; row.digits && d <= 9; ++d)
            names[row.modifiers | (0x30 + d)] = p + std::wstring(1, static_cast<wchar_t>(L'0' + d));
        for (int c = 0; row.letters && c < 26; ++c)
            names[row.modifiers | (0x41 + c)] = p + std::wstring(1, static_cast<wchar_t>(L'A' + c));
        for (int f = 1; f <= 12; ++f)
            names[row.modifiers | (0x6F + f)] = p + L"F" + std::to_wstring(f);
    }
    return names;
}

TEST(UtilShortcutName, EveryCodeMatchesTheTableOf149Names) {
    std::map<int, std::wstring> expected = ExpectedShortcutNames();
    ASSERT_EQ(149u, expected.size());
    int named = 0;
    for (int code = 0; code < 0x1000; ++code) {
        Str name = Util::GetShortcutName(code);
        auto it = expected.find(code);
        if (it == expected.end()) {
            EXPECT_TRUE(name.IsNull()) << std::hex << code;
        } else {
            ++named;
            EXPECT_EQ(it->second, Text(name)) << std::hex << code;
        }
    }
    EXPECT_EQ(149, named);
}

TEST(UtilShortcutName, KnownCodes) {
    const struct {
        int code;
        const wchar_t *name;
    } cases[] = {
        {0x153, L"Ctrl+S"}, {0x208, L"Alt+Bksp"}, {0x241, nullptr}, {0x341, nullptr},
        {0x541, L"Ctrl+Shift+A"}, {0x441, nullptr}, {0x02E, L"Del"}, {0x07B, L"F12"},
        {0x008, nullptr}, {0x041, nullptr}, {-1, nullptr}, {0x1153, nullptr},
    };
    for (const auto &c : cases) {
        Str name = Util::GetShortcutName(c.code);
        if (c.name == nullptr)
            EXPECT_TRUE(name.IsNull()) << std::hex << c.code;
        else
            EXPECT_EQ(std::wstring(c.name), Text(name)) << std::hex << c.code;
    }
}

// ---- path texts

TEST(UtilPath, NamesAndFoldersOfPaths) {
    const struct {
        const wchar_t *path, *folder, *parent, *name, *title;
    } cases[] = {
        {L"C:\\a.b\\file", L"C:\\a.b\\", L"C:\\a.b\\", L"file", L"file"},
        {L"C:\\dir\\x.ico", L"C:\\dir\\", L"C:\\dir\\", L"x.ico", L"x"},
        {L"x.ico", L"x.ico\\", L"x.ico\\", L"x.ico", L"x.ico"},
        {L"file.txt", L"file.txt\\", L"file.txt\\", L"file.txt", L"file.txt"},
        {L"C:\\dir\\f", L"C:\\dir\\", L"C:\\dir\\", L"f", L"f"},
        {L"C:\\dir\\sub\\", L"C:\\dir\\sub\\", L"C:\\dir\\", L"", L""},
        {L"C:/dir/a.tar.gz", L"C:/dir/", L"C:/dir/", L"a.tar.gz", L"a.tar"},
        {L"dir/.hidden", L"dir/", L"dir/", L".hidden", L""},
        {L"\\", L"\\", L"", L"", L""},
        {L"", L"", L"", L"", L""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(std::wstring(c.folder), Text(Util::GetFolderOfPath(c.path))) << c.path;
        EXPECT_EQ(std::wstring(c.parent), Text(Util::GetParentFolder(c.path))) << c.path;
        EXPECT_EQ(std::wstring(c.name), Text(Util::GetFileName(c.path))) << c.path;
        EXPECT_EQ(std::wstring(c.title), Text(Util::GetFileTitle(c.path))) << c.path;
    }
    EXPECT_TRUE(Util::GetFolderOfPath(nullptr).IsNull());
    EXPECT_TRUE(Util::GetFileTitle(nullptr).IsNull());
}

TEST(UtilPath, OnlyTheFirst260CharactersAreLookedAt) {
    std::wstring longPath = L"C:\\" + std::wstring(300, L'a') + L"\\name.ico";
    EXPECT_EQ(260, Util::GetFileName(longPath.c_str()).GetLength() + 3);
    EXPECT_EQ(L"C:\\", Text(Util::GetFolderOfPath(longPath.c_str())));
}

TEST(UtilPath, ResolvePathAgainstTheExecutableFolder) {
    std::wstring exeFolder = ExeFolder();
    const struct {
        const wchar_t *path;
        std::wstring expected;
    } cases[] = {
        {L"Lang\\", exeFolder + L"Lang\\"},
        {L"D:\\x", L"D:\\x"},
        {L"\\\\server\\share", L"\\\\server\\share"},
        {L"/root", L"/root"},
        {L"a:b", L"a:b"},
        {L"ab:c", exeFolder + L"ab:c"},
        {L"", exeFolder},
        {nullptr, exeFolder},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, Text(Util::ResolvePath(c.path))) << (c.path ? c.path : L"(none)");
    EXPECT_EQ(exeFolder, Text(Util::GetModulePath(nullptr, true)));
    EXPECT_EQ(exeFolder, Text(Util::GetModulePath(nullptr, false)).substr(0, exeFolder.size()));
}

TEST(UtilPath, SetOwnedTextReplacesAndKeepsItsOwnPointer) {
    wchar_t *field = nullptr;
    Util::SetOwnedText(field, L"first");
    ASSERT_NE(nullptr, field);
    EXPECT_STREQ(L"first", field);
    wchar_t *own = field;
    Util::SetOwnedText(field, own);
    EXPECT_EQ(own, field);
    Util::SetOwnedText(field, field + 2);
    EXPECT_STREQ(L"rst", field);
    Util::SetOwnedText(field, nullptr);
    EXPECT_EQ(nullptr, field);
}

// ---- files and folders

class UtilFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        plain = folder.Add(L"Plain.txt");
        notArchived = folder.Add(L"cleared.ini");
        SetFileAttributesW(notArchived.c_str(), FILE_ATTRIBUTE_NORMAL);
        readOnly = folder.Add(L"ro.ini");
        SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
        sub = folder.AddFolder(L"sub");
        folder.AddFolder(L"sub.ini");
    }
    TempFolder folder;
    std::wstring plain, notArchived, readOnly, sub;
};

TEST_F(UtilFilesTest, FileExistsForEveryEntryThatIsNoFolder) {
    std::wstring upper = folder / L"PLAIN.TXT";
    const struct {
        std::wstring path;
        bool exists;
    } cases[] = {
        {plain, true},
        {upper, true},
        {notArchived, true},
        {readOnly, true},
        {sub, false},
        {sub + L"\\", false},
        {plain + L"\\", false},
        {folder / L"missing.txt", false},
        {folder / L"*.txt", false},
        {folder / L"Plain.tx?", false},
        {L"", false},
        {folder.Path() + L"\\" + std::wstring(300, L'a'), false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.exists, Util::FileExists(c.path.c_str())) << c.path;
    EXPECT_FALSE(Util::FileExists(nullptr));
}

TEST_F(UtilFilesTest, DirectoryExistsOnlyForFolders) {
    const struct {
        std::wstring path;
        bool exists;
    } cases[] = {
        {folder.Path(), true},
        {sub, true},
        {sub + L"\\", true},
        {plain, false},
        {folder / L"none", false},
        {L"", false},
        {L"C:\\" + std::wstring(257, L'a'), false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.exists, Util::DirectoryExists(c.path.c_str())) << c.path;
    EXPECT_FALSE(Util::DirectoryExists(nullptr));
}

TEST_F(UtilFilesTest, EnsureDirectoryCreatesOneLevel) {
    std::wstring fresh = folder / L"fresh";
    EXPECT_TRUE(Util::EnsureDirectory(fresh.c_str()));
    EXPECT_TRUE(Util::DirectoryExists(fresh.c_str()));
    EXPECT_TRUE(Util::EnsureDirectory(fresh.c_str()));
    std::wstring deep = folder / L"a\\b";
    EXPECT_FALSE(Util::EnsureDirectory(deep.c_str()));
    EXPECT_FALSE(Util::EnsureDirectory(L""));
}

TEST_F(UtilFilesTest, ListFilesTakesEveryFileAndNoFolder) {
    List<Str> names;
    EXPECT_EQ(2, Util::ListFiles(names, (folder / L"*.ini").c_str(), true));
    std::vector<std::wstring> items = Items(names);
    std::sort(items.begin(), items.end());
    EXPECT_EQ((std::vector<std::wstring>{L"cleared.ini", L"ro.ini"}), items);

    List<Str> paths;
    paths.Add(Str(L"kept"));
    EXPECT_EQ(3, Util::ListFiles(paths, (folder / L"*").c_str()));
    items = Items(paths);
    EXPECT_EQ(L"kept", items[0]);
    std::sort(items.begin() + 1, items.end());
    EXPECT_EQ((std::vector<std::wstring>{L"kept", plain, notArchived, readOnly}), items);

    List<Str> none;
    EXPECT_EQ(0, Util::ListFiles(none, (folder / L"*.none").c_str()));
    EXPECT_EQ(0, Util::ListFiles(none, L""));
    EXPECT_EQ(0, none.GetCount());
}

TEST_F(UtilFilesTest, ListFoldersSkipsTheDotEntries) {
    List<Str> names;
    EXPECT_EQ(2, Util::ListFolders(names, (folder / L"*").c_str(), true));
    std::vector<std::wstring> items = Items(names);
    std::sort(items.begin(), items.end());
    EXPECT_EQ((std::vector<std::wstring>{L"sub", L"sub.ini"}), items);
    List<Str> paths;
    EXPECT_EQ(1, Util::ListFolders(paths, (folder / L"*.ini").c_str()));
    EXPECT_EQ(folder / L"sub.ini", Text(paths.GetAt(0)));
}

// A drop block as the shell hands it over: DROPFILES then the zero-separated wide paths.
class DropBlock {
public:
    explicit DropBlock(const std::vector<std::wstring> &paths) {
        size_t units = 1;
        for (const std::wstring &p : paths)
            units += p.size() + 1;
        memory_ = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * sizeof(wchar_t));
        auto *header = static_cast<DROPFILES *>(GlobalLock(memory_));
        header->pFiles = sizeof(DROPFILES);
        header->fWide = TRUE;
        auto *text = reinterpret_cast<wchar_t *>(header + 1);
        for (const std::wstring &p : paths) {
            wmemcpy(text, p.c_str(), p.size());
            text += p.size() + 1;
        }
        GlobalUnlock(memory_);
    }
    ~DropBlock() { GlobalFree(memory_); }
    HDROP Get() const { return static_cast<HDROP>(memory_); }

private:
    HGLOBAL memory_;
};

TEST(UtilDroppedFiles, EveryPathAddedAndLongOnesCutCleanly) {
    std::wstring longPath = L"C:\\" + std::wstring(700, L'z');
    DropBlock drop({L"C:\\one.ico", L"D:\\two\\three.exe", longPath});
    List<Str> list;
    EXPECT_EQ(3, Util::GetDroppedFiles(drop.Get(), list));
    ASSERT_EQ(3, list.GetCount());
    EXPECT_EQ(L"C:\\one.ico", Text(list.GetAt(0)));
    EXPECT_EQ(L"D:\\two\\three.exe", Text(list.GetAt(1)));
    EXPECT_EQ(longPath.substr(0, Util::kMaxDroppedPath), Text(list.GetAt(2)));
    EXPECT_EQ(0, Util::GetDroppedFiles(nullptr, list));
}

// ---- dialogs, answered by a helper thread

TEST(UtilDialogs, CancelledDialogsGiveNothing) {
    std::wstring tooLong(400, L'q');
    {
        DialogAnswer answer(IDCANCEL);
        Str chosen = Util::OpenFileDialog(tooLong.c_str(), L"Icon Files (*.ICO)|*.ico", L".ico", nullptr,
                                          L"select icon file:");
        answer.Done();
        EXPECT_TRUE(answer.Answered());
        EXPECT_TRUE(chosen.IsNull());
    }
    {
        DialogAnswer answer(IDCANCEL);
        Str chosen = Util::SaveFileDialog(L"x.ico", L"ICO Files(*.ico)|*.ico|All Files (*.*)|*.*", L"ico",
                                          nullptr, L"Save As...");
        answer.Done();
        EXPECT_TRUE(answer.Answered());
        EXPECT_TRUE(chosen.IsNull());
    }
    {
        DialogAnswer answer(IDCANCEL);
        Str chosen = Util::BrowseFolderDialog(L"C:\\", nullptr, L"select path to save:");
        answer.Done();
        EXPECT_TRUE(answer.Answered());
        EXPECT_TRUE(chosen.IsNull());
    }
    {
        COLORREF colour = RGB(1, 2, 3);
        DialogAnswer answer(IDCANCEL);
        EXPECT_FALSE(Util::ChooseColorDialog(colour));
        answer.Done();
        EXPECT_TRUE(answer.Answered());
        EXPECT_EQ(RGB(1, 2, 3), colour);
    }
}

TEST(UtilDialogs, ConfirmedDialogsGiveTheirChoice) {
    TempFolder folder;
    std::wstring icon = folder.Add(L"pick.ico");
    {
        DialogAnswer answer(IDOK);
        Str chosen = Util::OpenFileDialog(icon.c_str(), L"Icon Files (*.ICO)|*.ico", L"ico", nullptr,
                                          L"select icon file:");
        answer.Done();
        EXPECT_EQ(L"select icon file:", answer.Caption());
        EXPECT_EQ(0, CompareStringOrdinal(icon.c_str(), -1, chosen.GetBuffer(), -1, TRUE) - CSTR_EQUAL)
            << Text(chosen);
    }
    {
        DialogAnswer answer(IDOK);
        Str chosen = Util::BrowseFolderDialog(folder.Path().c_str(), nullptr, L"select input dir:");
        answer.Done();
        EXPECT_EQ(L"select input dir:", answer.Caption());
        ASSERT_FALSE(chosen.IsNull());
        EXPECT_EQ(L'\\', chosen.GetBuffer()[chosen.GetLength() - 1]);
        EXPECT_TRUE(Util::DirectoryExists(chosen.GetBuffer()));
    }
    {
        COLORREF colour = RGB(10, 200, 30);
        DialogAnswer answer(IDOK);
        EXPECT_TRUE(Util::ChooseColorDialog(colour));
        answer.Done();
        EXPECT_EQ(RGB(10, 200, 30), colour);
    }
}

TEST(UtilDialogs, CustomColoursStartAsSixteenGreys) {
    const COLORREF *colours = Util::GetCustomColors();
    for (int i = 0; i < 16; ++i) {
        int grey = 240 - 15 * i;
        EXPECT_EQ(RGB(grey, grey, grey), colours[i]) << i;
    }
}

// ---- screen and windows

TEST(UtilScreen, ClampToScreenKeepsTheRectangleVisible) {
    int sw = GetSystemMetrics(SM_CXSCREEN);
    int sh = GetSystemMetrics(SM_CYSCREEN);
    const struct {
        int x, y, w, h, minW, minH;
        int ex, ey, ew, eh;
    } cases[] = {
        {10, 20, 300, 200, 0, 0, 10, 20, 300, 200},
        {-5, -7, 300, 200, 0, 0, 0, 0, 300, 200},
        {sw + 50, sh + 50, 300, 200, 0, 0, sw - 20, sh - 10, 300, 200},
        {sw, sh, 10, 10, 0, 0, sw - 20, sh - 10, 10, 10},
        {0, 0, sw * 2, sh * 3, 0, 0, 0, 0, sw, sh},
        {0, 0, 5, 6, 100, 80, 0, 0, 100, 80},
        {0, 0, sw * 2, 10, sw * 3, 0, 0, 0, sw * 3, 10},
    };
    for (const auto &c : cases) {
        int x = c.x, y = c.y, w = c.w, h = c.h;
        Util::ClampToScreen(x, y, w, h, c.minW, c.minH);
        EXPECT_EQ(c.ex, x);
        EXPECT_EQ(c.ey, y);
        EXPECT_EQ(c.ew, w);
        EXPECT_EQ(c.eh, h);
    }
}

class Canvas {
public:
    Canvas(int width, int height, COLORREF fill) : dc_(CreateCompatibleDC(nullptr)) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void *bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                SetPixel(dc_, x, y, fill);
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }

private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
};

TEST(UtilScreen, DrawDotLineSetsEveryStepUpToTheEnd) {
    Canvas canvas(20, 20, RGB(0, 0, 0));
    Util::DrawDotLine(canvas.Dc(), 2, 5, 10, 5, 2, 0, RGB(255, 0, 0), false);
    for (int x = 0; x < 20; ++x) {
        bool dot = x >= 2 && x <= 10 && x % 2 == 0;
        EXPECT_EQ(dot ? RGB(255, 0, 0) : RGB(0, 0, 0), canvas.At(x, 5)) << x;
    }
    Util::DrawDotLine(canvas.Dc(), 0, 0, 3, 19, 0, 0.5, RGB(0, 255, 0), false);
    for (int y = 0; y < 20; ++y)
        EXPECT_EQ(RGB(0, 255, 0), canvas.At(0, y)) << y;
}

TEST(UtilScreen, DrawDotLineInvertsOncePerPixelAndAvoidsMidGrey) {
    Canvas canvas(20, 4, RGB(10, 20, 30));
    Util::DrawDotLine(canvas.Dc(), 0, 0, 9, 0, 0.25, 0, RGB(255, 0, 0), true);
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(RGB(245, 235, 225), canvas.At(x, 0)) << x;
    EXPECT_EQ(RGB(10, 20, 30), canvas.At(10, 0));

    Canvas grey(4, 4, RGB(128, 128, 128));
    Util::DrawDotLine(grey.Dc(), 0, 0, 3, 0, 1, 0, 0, true);
    EXPECT_EQ(RGB(255, 255, 255), grey.At(0, 0));
    Canvas edge(4, 4, RGB(145, 145, 145));
    Util::DrawDotLine(edge.Dc(), 0, 0, 3, 0, 1, 0, 0, true);
    EXPECT_EQ(RGB(110, 110, 110), edge.At(0, 0));
}

TEST(UtilScreen, DrawDotLineWithoutForwardStepIsOneDot) {
    Canvas canvas(4, 4, RGB(0, 0, 0));
    Util::DrawDotLine(canvas.Dc(), 1, 1, 3, 3, 0, 0, RGB(0, 0, 255), false);
    Util::DrawDotLine(canvas.Dc(), 2, 2, 3, 3, -1, 0, RGB(0, 0, 255), false);
    EXPECT_EQ(RGB(0, 0, 255), canvas.At(1, 1));
    EXPECT_EQ(RGB(0, 0, 255), canvas.At(2, 2));
    EXPECT_EQ(RGB(0, 0, 0), canvas.At(3, 3));
    EXPECT_EQ(RGB(0, 0, 0), canvas.At(1, 2));
}

struct MenuProbe {
    HWND found = nullptr;
    wchar_t className[16] = {0};
};
MenuProbe gMenuProbe;

void CALLBACK ProbeMenu(HWND, UINT, UINT_PTR, DWORD) {
    HWND menu = Util::FindPopupMenuWindow();
    if (menu != nullptr && IsWindowVisible(menu)) {
        gMenuProbe.found = menu;
        GetClassNameW(menu, gMenuProbe.className, 16);
        EndMenu();
    }
}

TEST(UtilWindows, FindPopupMenuWindowWhileAMenuIsOpen) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(nullptr, owner);
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"item");
    gMenuProbe.found = nullptr;
    UINT_PTR timer = SetTimer(nullptr, 0, 100, ProbeMenu);
    UINT_PTR guard = SetTimer(owner, 2, 5000, nullptr);
    SetForegroundWindow(owner);
    TrackPopupMenu(menu, TPM_LEFTBUTTON, 10, 10, 0, owner, nullptr);
    KillTimer(nullptr, timer);
    KillTimer(owner, guard);
    EXPECT_NE(nullptr, gMenuProbe.found);
    EXPECT_STREQ(L"#32768", gMenuProbe.className);
    DestroyMenu(menu);
    DestroyWindow(owner);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    HWND left = Util::FindPopupMenuWindow();
    EXPECT_TRUE(left == nullptr || !IsWindowVisible(left));
}

TEST(UtilWindows, BringToFrontMakesTheWindowForeground) {
    HWND first = CreateWindowExW(0, L"STATIC", L"first", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    HWND second = CreateWindowExW(0, L"STATIC", L"second", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 100, 100,
                                  nullptr, nullptr, nullptr, nullptr);
    Util::BringToFront(first);
    EXPECT_EQ(first, GetForegroundWindow());
    Util::BringToFront(second);
    EXPECT_EQ(second, GetForegroundWindow());
    Util::BringToFront(nullptr);
    DestroyWindow(first);
    DestroyWindow(second);
}

// ---- common-control classes, on a fresh thread so the state starts empty

TEST(UtilDeferRegister, StandardSetCoversTheBarsWithoutAskingAgain) {
    std::thread([] {
        EXPECT_EQ(0, Util::GetDeferRegisterState().platformRequests);
        EXPECT_TRUE(Util::KX_DeferRegisterClass(0x10));
        EXPECT_EQ(1, Util::GetDeferRegisterState().platformRequests);
        EXPECT_TRUE(Util::KX_DeferRegisterClass(0x1000));
        EXPECT_TRUE(Util::KX_DeferRegisterClass(0x40 | 0x400 | 0x10));
        EXPECT_EQ(1, Util::GetDeferRegisterState().platformRequests);
        WNDCLASSEXW info = {};
        info.cbSize = sizeof(info);
        EXPECT_TRUE(GetClassInfoExW(nullptr, L"msctls_statusbar32", &info));
        EXPECT_TRUE(Util::KX_DeferRegisterClass(0x8000));
        EXPECT_EQ(2, Util::GetDeferRegisterState().platformRequests);
        EXPECT_TRUE(Util::KX_DeferRegisterClass(0x8000 | 0x1000));
        EXPECT_EQ(2, Util::GetDeferRegisterState().platformRequests);
        EXPECT_NE(nullptr, Util::GetDeferRegisterState().commonControls);
    }).join();
}

TEST(UtilDeferRegister, SeparateFlagsAreAskedOneByOneAndFailuresStay) {
    std::thread([] {
        EXPECT_TRUE(Util::KX_DeferRegisterClass(0x1000 | 0x80));
        EXPECT_EQ(2, Util::GetDeferRegisterState().platformRequests);
        // No classes stand behind flag 0x1: it fails, and keeps failing without asking.
        EXPECT_FALSE(Util::KX_DeferRegisterClass(0x1));
        int asked = Util::GetDeferRegisterState().platformRequests;
        EXPECT_FALSE(Util::KX_DeferRegisterClass(0x1));
        EXPECT_FALSE(Util::KX_DeferRegisterClass(0x1 | 0x1000));
        EXPECT_EQ(asked, Util::GetDeferRegisterState().platformRequests);
        EXPECT_TRUE(Util::KX_DeferRegisterClass(0x1000));
    }).join();
}

} // namespace
