// File and folder tests, folder listings and dropped files.
#include "core/Util.h"

#include <shellapi.h>

#include <cwchar>

namespace kx {
namespace Util {

namespace {

// The longest path the platform's plain file functions accept, terminator excluded.
const size_t kMaxPlainPath = MAX_PATH - 1;

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

class FindHandle {
public:
    FindHandle(const wchar_t *pattern, WIN32_FIND_DATAW &data) : handle_(FindFirstFileW(pattern, &data)) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            FindClose(handle_);
    }
    FindHandle(const FindHandle &) = delete;
    FindHandle &operator=(const FindHandle &) = delete;
    bool Found() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAW &data) { return FindNextFileW(handle_, &data) != FALSE; }

private:
    HANDLE handle_;
};

bool IsFolder(const WIN32_FIND_DATAW &data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsDotEntry(const wchar_t *name) {
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

bool SameNameIgnoringCase(const wchar_t *a, const wchar_t *b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// Number of leading units of the pattern that form its folder (through the last separator).
int PatternFolderLength(const wchar_t *pattern) {
    int length = static_cast<int>(wcslen(pattern));
    for (int i = length - 1; i >= 0; --i) {
        if (IsSeparator(pattern[i]))
            return i + 1;
    }
    return 0;
}

int ListEntries(List<Str> &list, const wchar_t *pattern, bool namesOnly, bool folders) {
    if (pattern == nullptr || *pattern == 0)
        return 0;
    WIN32_FIND_DATAW data;
    FindHandle find(pattern, data);
    if (!find.Found())
        return 0;
    int before = list.GetCount();
    int folderLength = namesOnly ? 0 : PatternFolderLength(pattern);
    do {
        if (IsFolder(data) != folders || (folders && IsDotEntry(data.cFileName)))
            continue;
        Str entry;
        entry.Assign(pattern, 0, folderLength);
        entry.Append(data.cFileName);
        list.Add(entry);
    } while (find.Next(data));
    return list.GetCount() - before;
}

} // namespace

bool FileExists(const wchar_t *path) {
    if (path == nullptr)
        return false;
    size_t length = wcslen(path);
    if (length == 0 || length > kMaxPlainPath || IsSeparator(path[length - 1]))
        return false;
    WIN32_FIND_DATAW data;
    FindHandle find(path, data);
    if (!find.Found() || IsFolder(data))
        return false;
    Str name = GetFileName(path);
    return SameNameIgnoringCase(data.cFileName, name.GetBuffer());
}

bool DirectoryExists(const wchar_t *path) {
    if (path == nullptr || *path == 0)
        return false;
    Str folder(path);
    if (!IsSeparator(path[folder.GetLength() - 1])) {
        if (static_cast<size_t>(folder.GetLength()) > kMaxPlainPath)
            return false;
        folder.Append(L"\\");
    }
    DWORD attributes = GetFileAttributesW(folder.GetBuffer());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool EnsureDirectory(const wchar_t *path) {
    if (DirectoryExists(path))
        return true;
    return path != nullptr && *path != 0 && CreateDirectoryW(path, nullptr) != FALSE;
}

int ListFiles(List<Str> &list, const wchar_t *pattern, bool namesOnly) {
    return ListEntries(list, pattern, namesOnly, false);
}

int ListFolders(List<Str> &list, const wchar_t *pattern, bool namesOnly) {
    return ListEntries(list, pattern, namesOnly, true);
}

int GetDroppedFiles(HDROP drop, List<Str> &list) {
    if (drop == nullptr)
        return 0;
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileW(drop, i, nullptr, 0);
        Str path;
        path.SetLength(static_cast<int>(length), false);
        UINT copied = DragQueryFileW(drop, i, path.GetBuffer(), length + 1);
        path.Truncate(static_cast<int>(copied < length ? copied : length));
        if (path.GetLength() > kMaxDroppedPath)
            path.Truncate(kMaxDroppedPath);
        list.Add(path);
    }
    return static_cast<int>(count);
}

} // namespace Util
} // namespace kx
