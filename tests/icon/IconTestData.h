// Test support for the icon tests: image blocks and .ico files built byte by
// byte, a scratch folder, and buffers that end right before an inaccessible page.
#pragma once

#include "icon/IconResource.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace icontest {

using Bytes = std::vector<uint8_t>;

inline void PutU16(Bytes& b, size_t at, uint32_t v) { b[at] = uint8_t(v); b[at + 1] = uint8_t(v >> 8); }
inline void PutU32(Bytes& b, size_t at, uint32_t v) { PutU16(b, at, v); PutU16(b, at + 2, v >> 16); }
inline uint16_t GetU16(const Bytes& b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
inline uint32_t GetU32(const Bytes& b, size_t at) { return GetU16(b, at) | (uint32_t(GetU16(b, at + 2)) << 16); }

inline void AppendU32BigEndian(Bytes& b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(uint8_t(v >> shift));
}

// A bitmap-headed image block: header, colour table, colour rows, mask rows,
// filled with a pattern that depends on seed.
inline Bytes BitmapBlock(uint32_t width, uint32_t height, uint16_t bits, uint32_t seed = 0) {
    uint32_t colors = bits == 1 ? 2 : bits == 4 ? 16 : bits == 8 ? 256 : 0;
    uint32_t rowBytes = ((bits * width + 31) >> 3) & ~3u, maskRow = ((width + 31) >> 5) * 4;
    Bytes b(40 + colors * 4 + (rowBytes + maskRow) * height);
    PutU32(b, 0, 40);
    PutU32(b, 4, width);
    PutU32(b, 8, height * 2);
    PutU16(b, 12, 1);
    PutU16(b, 14, bits);
    for (size_t i = 40; i < b.size(); ++i) b[i] = uint8_t(i * 7 + seed);
    return b;
}

inline uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

inline void AppendPngChunk(Bytes& png, const char* type, const Bytes& data) {
    AppendU32BigEndian(png, uint32_t(data.size()));
    size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    AppendU32BigEndian(png, Crc32(png.data() + start, png.size() - start));
}

// A complete 8-bit RGBA PNG whose pixel data is zlib-wrapped in stored blocks.
inline Bytes PngBlock(uint32_t width, uint32_t height, uint8_t depth = 8, uint8_t colorType = 6) {
    Bytes raw;
    uint32_t channels = colorType == 6 ? 4 : colorType == 2 ? 3 : colorType == 4 ? 2 : 1;
    size_t rowBytes = (size_t(width) * channels * depth + 7) / 8;
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        for (size_t x = 0; x < rowBytes; ++x) raw.push_back(uint8_t(x * 3 + y * 5));
    }
    Bytes z = {0x78, 0x01};
    for (size_t at = 0; at == 0 || at < raw.size(); at += 65535) {
        size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        z.push_back(at + n >= raw.size() ? 1 : 0);
        z.push_back(uint8_t(n)); z.push_back(uint8_t(n >> 8));
        z.push_back(uint8_t(~n)); z.push_back(uint8_t(~n >> 8));
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
    }
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) { a = (a + c) % 65521; b = (b + a) % 65521; }
    AppendU32BigEndian(z, (b << 16) | a);
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    AppendU32BigEndian(ihdr, width);
    AppendU32BigEndian(ihdr, height);
    ihdr.insert(ihdr.end(), {depth, colorType, 0, 0, 0});
    AppendPngChunk(png, "IHDR", ihdr);
    AppendPngChunk(png, "IDAT", z);
    AppendPngChunk(png, "IEND", {});
    return png;
}

// An image record viewing a block the caller keeps.
inline IconImage ImageOf(Bytes& block) {
    IconImage image = {};
    image.block = block.data();
    image.blockSize = uint32_t(block.size());
    LinkIconImage(&image);
    return image;
}

// An .ico file with the given blocks back to back after the directory; the
// directory's descriptive fields are left 0 because readers take them from the blocks.
inline Bytes IcoFile(const std::vector<Bytes>& blocks, uint16_t type = 1) {
    Bytes file(6 + 16 * blocks.size());
    PutU16(file, 2, type);
    PutU16(file, 4, uint32_t(blocks.size()));
    for (size_t i = 0; i < blocks.size(); ++i) {
        PutU32(file, 6 + 16 * i + 8, uint32_t(blocks[i].size()));
        PutU32(file, 6 + 16 * i + 12, uint32_t(file.size()));
        file.insert(file.end(), blocks[i].begin(), blocks[i].end());
    }
    return file;
}

inline bool WriteBytes(const std::wstring& path, const Bytes& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    bool ok = bytes.empty() || (WriteFile(file, bytes.data(), DWORD(bytes.size()), &done, nullptr) && done == bytes.size());
    CloseHandle(file);
    return ok;
}

inline Bytes ReadBytes(const std::wstring& path) {
    Bytes bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD done = 0;
    if (!bytes.empty() && (!ReadFile(file, bytes.data(), DWORD(bytes.size()), &done, nullptr) || done != bytes.size()))
        bytes.clear();
    CloseHandle(file);
    return bytes;
}

// A folder of its own below the temporary folder, removed with its files.
class ScratchFolder {
public:
    ScratchFolder() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        static unsigned serial = 0;
        folder_ = std::wstring(temp) + L"icontest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::to_wstring(++serial);
        CreateDirectoryW(folder_.c_str(), nullptr);
    }
    ~ScratchFolder() {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder_ + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do DeleteFileW((folder_ + L"\\" + found.cFileName).c_str());
            while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(folder_.c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::wstring Path(const std::wstring& name) const { return folder_ + L"\\" + name; }

private:
    std::wstring folder_;
};

// Readable pages followed by one inaccessible page: bytes placed with Place end
// exactly at the inaccessible page, so any read past them faults.
class GuardedPages {
public:
    explicit GuardedPages(size_t capacity) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        size_t page = info.dwPageSize;
        readable_ = (capacity + page - 1) / page * page;
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, readable_ + page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + readable_, page, PAGE_NOACCESS, &old);
    }
    ~GuardedPages() { VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedPages(const GuardedPages&) = delete;
    GuardedPages& operator=(const GuardedPages&) = delete;
    uint8_t* Place(const uint8_t* data, size_t size) {
        uint8_t* at = base_ + readable_ - size;
        if (size) memcpy(at, data, size);
        return at;
    }
    uint8_t* Place(const Bytes& bytes) { return Place(bytes.data(), bytes.size()); }
    uint8_t* Base() const { return base_; }
    size_t Capacity() const { return readable_; }

private:
    uint8_t* base_;
    size_t readable_;
};

// Releases a resource at the end of a test, whatever happened.
struct IconHolder {
    IconResource* icon = nullptr;
    IconHolder() = default;
    explicit IconHolder(IconResource* held) : icon(held) {}
    ~IconHolder() { if (icon) FreeIconResource(&icon); }
    IconHolder(const IconHolder&) = delete;
    IconHolder& operator=(const IconHolder&) = delete;
};

} // namespace icontest
