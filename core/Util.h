// Small module-level helpers of the library: paths and file names, file and folder tests,
// listings, dropped files, the common dialogs, screen and window helpers, shortcut names
// and the registration of common-control classes on first need.
#pragma once

#include "core/Platform.h"
#include "core/Containers.h"
#include "core/ResourceNames.h"
#include "core/Str.h"

namespace kx {
namespace Util {

// Paths. Every path is cut to its first 260 characters before it is looked at;
// "\" and "/" both separate. Every text result is a new string.

// The module's file path (the executable for none); with folderOnly its folder with the
// trailing separator, empty when the path has none.
Str GetModulePath(HMODULE module = nullptr, bool folderOnly = false);
// A rooted path ("\..", "/..", "X:..") unchanged, any other taken relative to the
// module's folder; none gives the folder itself.
Str ResolvePath(const wchar_t *path, HMODULE module = nullptr);
// The text up to and including the last separator; a bare name counts as a folder and
// gets "\" appended. Empty for an empty path, null for none.
Str GetFolderOfPath(const wchar_t *path);
// GetFolderOfPath after dropping one trailing separator.
Str GetParentFolder(const wchar_t *path);
// The text after the last separator (all of it when there is none).
Str GetFileName(const wchar_t *path);
// The file name without its extension; a path without separator is returned unchanged.
Str GetFileTitle(const wchar_t *path);
// Replaces a field holding a new[]-allocated wide text by a copy of text (none for none);
// the field's owner releases it with delete[].
void SetOwnedText(wchar_t *&field, const wchar_t *text);

// Files and folders. Every entry that is not a folder counts as a file.

bool FileExists(const wchar_t *path);
bool DirectoryExists(const wchar_t *path);
// Creates one level of folder when it is missing; true when it exists afterwards.
bool EnsureDirectory(const wchar_t *path);
// Adds the files matching a pattern such as "C:\dir\*.ini" in the platform's order, as
// full paths (the pattern's folder and the name) unless namesOnly; returns how many.
int ListFiles(List<Str> &list, const wchar_t *pattern, bool namesOnly = false);
// The same for folders, without "." and "..".
int ListFolders(List<Str> &list, const wchar_t *pattern, bool namesOnly = false);
// Longest dropped path kept; longer ones are cut to it.
const int kMaxDroppedPath = 520;
// Adds every dropped path to the list; returns how many were dropped.
int GetDroppedFiles(HDROP drop, List<Str> &list);

// Common dialogs, all modal. Filters are written with "|" between the parts:
// L"ICO Files(*.ico)|*.ico|All Files (*.*)|*.*". A cancelled dialog gives a null string.

// Longest file path the file dialogs take or give back, terminator excluded.
const int kMaxDialogPath = 259;
// The chosen path. With multiSelect and several files chosen, the result holds the
// folder and then each name, every part followed by a zero unit, as the platform lists them.
Str OpenFileDialog(const wchar_t *initialFile, const wchar_t *filter, const wchar_t *defaultExtension,
                   HWND owner, const wchar_t *title, bool multiSelect = false);
Str SaveFileDialog(const wchar_t *initialFile, const wchar_t *filter, const wchar_t *defaultExtension,
                   HWND owner, const wchar_t *title);
// The chosen folder, always with a trailing "\".
Str BrowseFolderDialog(const wchar_t *initialFolder, HWND owner, const wchar_t *title);
// The process-wide 16 custom colours the colour dialog uses when given none.
COLORREF *GetCustomColors();
// Flags -1 opens the full dialog allowing any colour; useInitial presets colour.
// True, with colour set, when the user confirmed.
bool ChooseColorDialog(COLORREF &colour, bool useInitial = true, COLORREF *customColors = nullptr,
                       int flags = -1, HWND owner = nullptr);

// Screen and windows.

// Keeps a window rectangle on the screen: size cut to the screen's, then raised to the
// minimums; a position off the left or top becomes 0, one past the right or bottom is
// pulled back to 20 or 10 pixels before the edge.
void ClampToScreen(int &x, int &y, int &width, int &height, int minWidth = 0, int minHeight = 0);
// Makes the window the foreground window even when another thread's window has the input.
void BringToFront(HWND window);
// The open pop-up menu window, or none.
HWND FindPopupMenuWindow();
// Sets single pixels from (x, y), stepping by fractions, while x <= xEnd and y <= yEnd.
// With invert each pixel takes the complement of the colour under it (white instead of a
// mid-grey complement). A pixel is set once even when steps below 1 land on it again.
void DrawDotLine(HDC surface, int x, int y, int xEnd, int yEnd, double xStep, double yStep,
                 COLORREF colour, bool invert);

// Shortcut codes: virtual-key code in the low byte plus these modifier bits.
const int ShortcutCtrl = 0x100;
const int ShortcutAlt = 0x200;
const int ShortcutShift = 0x400;
// "Ctrl+S" and the like for the 149 named shortcuts; null for every other code.
Str GetShortcutName(int code);

// Common-control classes. Flag DeferStandard stands for the whole standard set
// kStandardFlags (up-down, tree view, tab, progress, list view, hot key, bars, animate);
// further flags: 0x4000 internet, 0x8000 cool, 0x10000 extended combo box,
// 0x20000 date and time, 0x40000 link.
const int DeferStandard = 0x10;
const int kStandardFlags = 0x3FC0;

// What this thread has registered so far.
struct DeferRegisterState {
    int handledFlags = 0;    // flags not to ask the platform for again
    int failedFlags = 0;     // handled flags whose registration failed
    HMODULE commonControls = nullptr;
    int platformRequests = 0; // calls into the platform's registration so far
};
const DeferRegisterState &GetDeferRegisterState();
// Registers the classes of the flags unless this thread already did; true when all of
// them are available.
bool KX_DeferRegisterClass(int flags);

} // namespace Util
} // namespace kx
