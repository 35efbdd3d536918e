// The platform's common dialogs: open and save file, folder browser, colour chooser.
#include "core/Util.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <cwchar>

namespace kx {
namespace Util {

namespace {

const DWORD kOpenFlags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST; // 0x81800
const DWORD kSaveFlags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT; // 0x80802
const UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE; // 0x41
const DWORD kColorFlags = CC_FULLOPEN | CC_ANYCOLOR; // 0x102

// "Text|*.ext|..." turned into the platform's zero-separated list ending in two zeros.
Str PlatformFilter(const wchar_t *filter) {
    Str list(filter != nullptr ? filter : L"");
    int length = list.GetLength();
    list.SetLength(length + 2, true);
    wchar_t *units = list.GetBuffer();
    for (int i = 0; i < length; ++i) {
        if (units[i] == L'|')
            units[i] = 0;
    }
    return list;
}

// The file buffer the dialogs fill: the initial file, cut to what the buffer holds.
struct FileBuffer {
    wchar_t units[kMaxDialogPath + 1];

    explicit FileBuffer(const wchar_t *initialFile) {
        units[0] = 0;
        if (initialFile != nullptr) {
            size_t length = wcsnlen(initialFile, kMaxDialogPath);
            wmemcpy(units, initialFile, length);
            units[length] = 0;
        }
    }
    // Units of the result: one path, or with multiple selection the zero-separated parts.
    int ResultLength(bool multiSelect) const {
        int length = static_cast<int>(wcsnlen(units, kMaxDialogPath));
        if (!multiSelect)
            return length;
        int end = length;
        while (end + 1 <= kMaxDialogPath && units[end + 1] != 0) {
            end += 1 + static_cast<int>(wcsnlen(units + end + 1, kMaxDialogPath - end - 1));
        }
        return end == length ? length : end + 1;
    }
};

void PrepareFileDialog(OPENFILENAMEW &ofn, FileBuffer &buffer, const Str &filter,
                       const wchar_t *defaultExtension, HWND owner, const wchar_t *title, DWORD flags) {
    ZeroMemory(&ofn, sizeof(ofn));
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.GetBuffer();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.units;
    ofn.nMaxFile = kMaxDialogPath + 1;
    ofn.lpstrTitle = title;
    ofn.lpstrDefExt = (defaultExtension != nullptr && defaultExtension[0] == L'.') ? defaultExtension + 1
                                                                                     : defaultExtension;
    ofn.Flags = flags;
}

Str FileResult(const FileBuffer &buffer, bool multiSelect) {
    Str result;
    result.Assign(buffer.units, 0, buffer.ResultLength(multiSelect));
    return result;
}

struct BrowseStart {
    const wchar_t *title;
    const wchar_t *folder;
};

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message != BFFM_INITIALIZED)
        return 0;
    const BrowseStart *start = reinterpret_cast<const BrowseStart *>(data);
    if (start->title != nullptr)
        SetWindowTextW(dialog, start->title);
    if (start->folder != nullptr && start->folder[0] != 0)
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start->folder));
    return 0;
}

// The new folder-browser style needs the thread's apartment.
class ComApartment {
public:
    ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (initialised_)
            CoUninitialize();
    }
    ComApartment(const ComApartment &) = delete;
    ComApartment &operator=(const ComApartment &) = delete;

private:
    bool initialised_;
};

class ItemList {
public:
    explicit ItemList(LPITEMIDLIST items) : items_(items) {}
    ~ItemList() { CoTaskMemFree(items_); }
    ItemList(const ItemList &) = delete;
    ItemList &operator=(const ItemList &) = delete;
    LPITEMIDLIST Get() const { return items_; }

private:
    LPITEMIDLIST items_;
};

COLORREF gCustomColors[16] = {
    RGB(240, 240, 240), RGB(225, 225, 225), RGB(210, 210, 210), RGB(195, 195, 195),
    RGB(180, 180, 180), RGB(165, 165, 165), RGB(150, 150, 150), RGB(135, 135, 135),
    RGB(120, 120, 120), RGB(105, 105, 105), RGB(90, 90, 90),    RGB(75, 75, 75),
    RGB(60, 60, 60),    RGB(45, 45, 45),    RGB(30, 30, 30),    RGB(15, 15, 15),
};

} // namespace

Str OpenFileDialog(const wchar_t *initialFile, const wchar_t *filter, const wchar_t *defaultExtension,
                   HWND owner, const wchar_t *title, bool multiSelect) {
    FileBuffer buffer(initialFile);
    Str platformFilter = PlatformFilter(filter);
    OPENFILENAMEW ofn;
    PrepareFileDialog(ofn, buffer, platformFilter, defaultExtension, owner, title,
                      kOpenFlags | (multiSelect ? OFN_ALLOWMULTISELECT : 0));
    if (!GetOpenFileNameW(&ofn))
        return Str();
    return FileResult(buffer, multiSelect);
}

Str SaveFileDialog(const wchar_t *initialFile, const wchar_t *filter, const wchar_t *defaultExtension,
                   HWND owner, const wchar_t *title) {
    FileBuffer buffer(initialFile);
    Str platformFilter = PlatformFilter(filter);
    OPENFILENAMEW ofn;
    PrepareFileDialog(ofn, buffer, platformFilter, defaultExtension, owner, title, kSaveFlags);
    if (!GetSaveFileNameW(&ofn))
        return Str();
    return FileResult(buffer, false);
}

Str BrowseFolderDialog(const wchar_t *initialFolder, HWND owner, const wchar_t *title) {
    ComApartment apartment;
    BrowseStart start = {title, initialFolder};
    BROWSEINFOW info;
    ZeroMemory(&info, sizeof(info));
    info.hwndOwner = owner;
    info.lpszTitle = title;
    info.ulFlags = kBrowseFlags;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(&start);
    ItemList chosen(SHBrowseForFolderW(&info));
    if (chosen.Get() == nullptr)
        return Str();
    wchar_t path[MAX_PATH + 1] = {0};
    if (!SHGetPathFromIDListW(chosen.Get(), path) || path[0] == 0)
        return Str();
    Str folder(path);
    wchar_t last = path[folder.GetLength() - 1];
    if (last != L'\\' && last != L'/')
        folder.Append(L"\\");
    return folder;
}

COLORREF *GetCustomColors() {
    return gCustomColors;
}

bool ChooseColorDialog(COLORREF &colour, bool useInitial, COLORREF *customColors, int flags, HWND owner) {
    CHOOSECOLORW cc;
    ZeroMemory(&cc, sizeof(cc));
    cc.lStructSize = sizeof(cc);
    cc.hwndOwner = owner;
    cc.lpCustColors = customColors != nullptr ? customColors : gCustomColors;
    cc.Flags = flags == -1 ? kColorFlags : static_cast<DWORD>(flags);
    if (useInitial) {
        cc.Flags |= CC_RGBINIT;
        cc.rgbResult = colour;
    }
    if (!ChooseColorW(&cc))
        return false;
    colour = cc.rgbResult;
    return true;
}

} // namespace Util
} // namespace kx
