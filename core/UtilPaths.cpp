// Path and file-name functions on text alone (no file system access but the module path).
#include "core/Util.h"

#include <cwchar>

namespace kx {
namespace Util {

namespace {

const int kMaxPathExamined = 260;

int CutLength(const wchar_t *path) {
    return path == nullptr ? 0 : static_cast<int>(wcsnlen(path, kMaxPathExamined));
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Index of the last separator within the first length units, or -1.
int LastSeparator(const wchar_t *path, int length) {
    for (int i = length - 1; i >= 0; --i) {
        if (IsSeparator(path[i]))
            return i;
    }
    return -1;
}

Str Piece(const wchar_t *text, int start, int count) {
    Str piece;
    piece.Assign(text, start, count);
    return piece;
}

} // namespace

Str GetModulePath(HMODULE module, bool folderOnly) {
    DWORD size = MAX_PATH;
    for (;;) {
        Str path;
        path.SetLength(static_cast<int>(size), false);
        DWORD written = GetModuleFileNameW(module, path.GetBuffer(), size);
        if (written == 0)
            return Str();
        if (written < size) {
            path.Truncate(static_cast<int>(written));
            if (folderOnly)
                path.Truncate(LastSeparator(path.GetBuffer(), path.GetLength()) + 1);
            return path;
        }
        if (size >= 32768)
            return Str();
        size *= 2;
    }
}

Str ResolvePath(const wchar_t *path, HMODULE module) {
    int length = CutLength(path);
    if (length > 0 && (IsSeparator(path[0]) || (length > 1 && path[1] == L':')))
        return Piece(path, 0, length);
    Str resolved = GetModulePath(module, true);
    if (length > 0)
        resolved.Append(Piece(path, 0, length));
    return resolved;
}

Str GetFolderOfPath(const wchar_t *path) {
    if (path == nullptr)
        return Str();
    int length = CutLength(path);
    if (length == 0)
        return Str(L"");
    int separator = LastSeparator(path, length);
    if (separator < 0) {
        Str folder = Piece(path, 0, length);
        folder.Append(L"\\");
        return folder;
    }
    return Piece(path, 0, separator + 1);
}

Str GetParentFolder(const wchar_t *path) {
    if (path == nullptr)
        return Str();
    int length = CutLength(path);
    if (length > 0 && IsSeparator(path[length - 1]))
        --length;
    Str trimmed = Piece(path, 0, length);
    return GetFolderOfPath(length > 0 ? trimmed.GetBuffer() : L"");
}

Str GetFileName(const wchar_t *path) {
    if (path == nullptr)
        return Str();
    int length = CutLength(path);
    int start = LastSeparator(path, length) + 1;
    return Piece(path, start, length - start);
}

Str GetFileTitle(const wchar_t *path) {
    if (path == nullptr)
        return Str();
    int length = CutLength(path);
    int separator = LastSeparator(path, length);
    if (separator < 0)
        return Piece(path, 0, length);
    int end = length;
    for (int i = length - 1; i > separator; --i) {
        if (path[i] == L'.') {
            end = i;
            break;
        }
    }
    return Piece(path, separator + 1, end - separator - 1);
}

void SetOwnedText(wchar_t *&field, const wchar_t *text) {
    if (text == field)
        return;
    wchar_t *copy = nullptr;
    if (text != nullptr) {
        size_t length = wcslen(text);
        copy = new wchar_t[length + 1];
        wmemcpy(copy, text, length + 1);
    }
    delete[] field;
    field = copy;
}

} // namespace Util
} // namespace kx
