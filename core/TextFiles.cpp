#include "core/TextFiles.h"

#include "core/FileHandle.h"

#include "core/Log.h"

#include <cstdlib>
#include <cstring>

namespace kx {

namespace {

// Larger texts are refused rather than half-allocated.
const unsigned long long kMaxTextBytes = 0x7FFFFFF0ull;

// A malloc block that Str::Attach can take over.
struct TextBlock {
    explicit TextBlock(size_t bytes) : data(static_cast<char *>(std::malloc(bytes + 2))) {}
    ~TextBlock() { std::free(data); }
    TextBlock(const TextBlock &) = delete;
    TextBlock &operator=(const TextBlock &) = delete;
    char *data;
};

struct Mark {
    int length;
    int codePage;
};

Mark DetectMark(const unsigned char *bytes, size_t count, int fallback) {
    if (count > 1) {
        if (bytes[0] == 0xFF && bytes[1] == 0xFE)
            return {2, Str::UnicodeCodePage};
        if (bytes[0] == 0xFE && bytes[1] == 0xFF)
            return {2, UnicodeBigEndianCodePage};
        if (count > 2 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
            return {3, Utf8CodePage};
    }
    return {0, fallback};
}

bool IsWideText(int codePage) {
    return codePage == Str::UnicodeCodePage || codePage == UnicodeBigEndianCodePage;
}

// Hands block's bytes to output, converted into output's code page when they differ.
void AdoptText(Str &output, TextBlock &block, size_t bytes, int textCodePage) {
    block.data[bytes] = 0;
    block.data[bytes + 1] = 0;
    int outputCodePage = output.GetCodePage();
    output.Clear(true);
    if (IsWideText(textCodePage)) {
        size_t units = bytes / 2;
        wchar_t *wide = reinterpret_cast<wchar_t *>(block.data);
        wide[units] = 0;
        if (textCodePage == UnicodeBigEndianCodePage)
            for (size_t i = 0; i < units; ++i)
                wide[i] = static_cast<wchar_t>((wide[i] >> 8) | (wide[i] << 8));
        if (outputCodePage == Str::UnicodeCodePage) {
            output.Attach(wide);
            block.data = nullptr;
        } else {
            output.Assign(Str(CodePage(outputCodePage), wide));
        }
        return;
    }
    if (outputCodePage == textCodePage) {
        output.Attach(block.data, textCodePage);
        return;
    }
    if (outputCodePage == Str::UnicodeCodePage)
        output.Assign(Str(block.data, textCodePage));
    else
        output.Assign(Str(CodePage(outputCodePage), block.data, textCodePage));
}

bool ReadAll(HANDLE file, char *into, size_t bytes) {
    size_t done = 0;
    while (done < bytes) {
        DWORD chunk = static_cast<DWORD>(bytes - done > (1u << 24) ? (1u << 24) : bytes - done);
        DWORD got = 0;
        if (!ReadFile(file, into + done, chunk, &got, nullptr))
            return false;
        if (got == 0)
            break;
        done += got;
    }
    return done == bytes;
}

bool WriteAll(HANDLE file, const void *data, size_t bytes) {
    const char *from = static_cast<const char *>(data);
    while (bytes > 0) {
        DWORD chunk = static_cast<DWORD>(bytes > (1u << 24) ? (1u << 24) : bytes);
        DWORD written = 0;
        if (!WriteFile(file, from, chunk, &written, nullptr) || written == 0)
            return false;
        from += written;
        bytes -= written;
    }
    return true;
}

bool IsExistingFile(const wchar_t *path) {
    if (path == nullptr || *path == 0)
        return false;
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The mark a new file of this code page starts with; none for single-byte pages.
bool WriteMark(HANDLE file, int codePage) {
    static const unsigned char utf8[] = {0xEF, 0xBB, 0xBF};
    static const unsigned char utf16le[] = {0xFF, 0xFE};
    static const unsigned char utf16be[] = {0xFE, 0xFF};
    if (codePage == Utf8CodePage)
        return WriteAll(file, utf8, sizeof utf8);
    if (codePage == Str::UnicodeCodePage)
        return WriteAll(file, utf16le, sizeof utf16le);
    if (codePage == UnicodeBigEndianCodePage)
        return WriteAll(file, utf16be, sizeof utf16be);
    return true;
}

bool WriteTextTo(HANDLE file, const Str &text) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        return false;
    if (size.QuadPart == 0 && !WriteMark(file, text.GetCodePage()))
        return false;
    size_t unit = text.IsUnicode() ? 2 : 1;
    size_t bytes = static_cast<size_t>(text.GetLength()) * unit;
    if (bytes > 0 && !WriteAll(file, text.GetBuffer(), bytes))
        return false;
    return FlushFileBuffers(file) != 0;
}

bool AppendTextFile(const Str &text, const wchar_t *path) {
    FileHandle file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return false;
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    bool written = SetFilePointerEx(file.Get(), zero, nullptr, FILE_END) && WriteTextTo(file.Get(), text);
    return file.Close() && written;
}

bool ReplaceTextFile(const Str &text, const wchar_t *path) {
    Str temporary(path);
    temporary.Append(Str().Format(L".~%lu.tmp", GetCurrentProcessId()));
    FileHandle file(CreateFileW(temporary.GetBuffer(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return false;
    bool written = WriteTextTo(file.Get(), text);
    written = file.Close() && written;
    if (written && MoveFileExW(temporary.GetBuffer(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temporary.GetBuffer());
    return false;
}

// The text as display: resource ids are shown as "#id".
Str ResourceNameText(const wchar_t *name) {
    if (name == nullptr)
        return Str(L"");
    if (IS_INTRESOURCE(name))
        return Str().Format(L"#%u", static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name)));
    return Str(name);
}

} // namespace

int ReadTextFile(Str &output, const wchar_t *path, int codePage, int maxBytes) {
    if (!IsExistingFile(path))
        return -1;
    FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsOpen())
        return -1;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0)
        return -1;
    unsigned long long total = static_cast<unsigned long long>(size.QuadPart);
    unsigned char head[3] = {0, 0, 0};
    size_t headBytes = total > 1 ? (total > 2 ? 3 : 2) : 0;
    if (headBytes > 0 && !ReadAll(file.Get(), reinterpret_cast<char *>(head), headBytes))
        return -1;
    Mark mark = DetectMark(head, headBytes, codePage);
    LARGE_INTEGER start;
    start.QuadPart = mark.length;
    if (!SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN))
        return -1;
    unsigned long long wanted = total - static_cast<unsigned long long>(mark.length);
    if (maxBytes > 0 && wanted > static_cast<unsigned long long>(maxBytes))
        wanted = static_cast<unsigned long long>(maxBytes);
    if (wanted > kMaxTextBytes)
        return -1;
    TextBlock block(static_cast<size_t>(wanted));
    if (block.data == nullptr || !ReadAll(file.Get(), block.data, static_cast<size_t>(wanted)))
        return -1;
    AdoptText(output, block, static_cast<size_t>(wanted), mark.codePage);
    return static_cast<int>(wanted);
}

bool WriteTextFile(const Str &text, const wchar_t *path, bool append) {
    if (path == nullptr || *path == 0)
        return false;
    return append ? AppendTextFile(text, path) : ReplaceTextFile(text, path);
}

Str ReadIniValue(const wchar_t *section, const wchar_t *key, const wchar_t *path, int codePage, bool forceWide) {
    Str text;
    if (section == nullptr || key == nullptr || ReadTextFile(text, path, codePage) < 0)
        return Str();
    Str header(L"[");
    header.Append(section).Append(L"]");
    int sectionEnd;
    if (text.StartsWith(header.GetBuffer(), true)) {
        sectionEnd = header.GetLength();
    } else {
        int at = text.IndexOf((Str(L"\n") + header).GetBuffer(), true);
        if (at < 0)
            return Str();
        sectionEnd = at + 1 + header.GetLength();
    }
    Str keyLine(L"\n");
    keyLine.Append(key).Append(L"=");
    int keyAt = text.IndexOf(keyLine.GetBuffer(), sectionEnd, false);
    int nextSection = text.IndexOf(L"\n[", sectionEnd, false);
    if (keyAt < 0 || (nextSection >= 0 && nextSection < keyAt))
        return Str();
    int valueStart = keyAt + keyLine.GetLength();
    int lineEnd = text.IndexOf(L"\n", valueStart, false);
    int valueEnd = lineEnd < 0 ? text.GetLength() : lineEnd;
    if (valueEnd > valueStart && text.GetBuffer()[valueEnd - 1] == L'\r')
        --valueEnd;
    Str value = text.Substring(valueStart, valueEnd);
    if (!forceWide)
        value.ChangeCodePage(codePage);
    return value;
}

namespace Util {

int readRes(Str &output, const wchar_t *name, const wchar_t *type, int codePage) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = name != nullptr && type != nullptr ? FindResourceW(module, name, type) : nullptr;
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const unsigned char *bytes = loaded ? static_cast<const unsigned char *>(LockResource(loaded)) : nullptr;
    if (bytes == nullptr) {
        Log::WriteWarn(L"[Util::readRes]Could Not Locate Resource File[name:%s,type%s].",
                       ResourceNameText(name).GetBuffer(), ResourceNameText(type).GetBuffer());
        return -1;
    }
    size_t total = SizeofResource(module, found);
    Mark mark = DetectMark(bytes, total, codePage);
    size_t count = total - static_cast<size_t>(mark.length);
    TextBlock block(count);
    if (block.data == nullptr)
        return -1;
    std::memcpy(block.data, bytes + mark.length, count);
    AdoptText(output, block, count, mark.codePage);
    return static_cast<int>(count);
}

} // namespace Util

} // namespace kx
