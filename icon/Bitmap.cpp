// Pictures to icon images and back, on the platform's graphics.
#include "icon/Bitmap.h"

#include "core/FileHandle.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Everything this library allocates stays well within a 32-bit size.
constexpr uint64_t kMaxBlock = 0x7FFFFFFF;
constexpr uint32_t kHeaderBytes = sizeof(BITMAPINFOHEADER);
constexpr uint32_t kFileHeaderBytes = sizeof(BITMAPFILEHEADER);
constexpr uint32_t kFullTableBytes = 256 * sizeof(RGBQUAD);

void SetError(const wchar_t* message, int code) {
    IconLastError.message = message;
    IconLastError.code = code;
}

template <typename T>
T* Fail(const wchar_t* message, int code) {
    SetError(message, code);
    return nullptr;
}

bool FailFlag(const wchar_t* message, int code) {
    SetError(message, code);
    return false;
}

// Row size computed wide: the header's fields may be anything a file holds.
uint64_t RowBytes(uint64_t width, uint64_t bits) {
    return ((width * bits + 31) >> 3) & ~uint64_t(3);
}

bool IsSupportedDepth(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

RGBQUAD* TableOf(BITMAPINFOHEADER* header) {
    return reinterpret_cast<RGBQUAD*>(reinterpret_cast<uint8_t*>(header) + header->biSize);
}

const RGBQUAD* TableOf(const BITMAPINFOHEADER* header) {
    return reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const uint8_t*>(header) + header->biSize);
}

// Header, table and colour rows of a plain bitmap header at the given number
// of rows; false when the header is not one this library can lay out.
bool ColourImageBytes(const BITMAPINFOHEADER* header, uint64_t rows, uint64_t* bytes) {
    if (header->biSize != kHeaderBytes || header->biPlanes != 1 || header->biCompression != BI_RGB ||
        header->biWidth <= 0 || header->biHeight <= 0 || header->biClrUsed > 256)
        return false;
    uint64_t total = kHeaderBytes + uint64_t(DibPaletteSize(header)) +
                     RowBytes(uint32_t(header->biWidth), header->biBitCount) * rows;
    if (total > kMaxBlock) return false;
    *bytes = total;
    return true;
}

struct DibDeleter {
    void operator()(BITMAPINFOHEADER* dib) const { FreeDib(&dib); }
};
using DibPtr = std::unique_ptr<BITMAPINFOHEADER, DibDeleter>;

bool ReadExact(HANDLE file, void* target, uint32_t bytes) {
    DWORD done = 0;
    return ReadFile(file, target, bytes, &done, nullptr) && done == bytes;
}

bool WriteExact(HANDLE file, const void* source, uint32_t bytes) {
    DWORD done = 0;
    return WriteFile(file, source, bytes, &done, nullptr) && done == bytes;
}

class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

class MemoryDc {
public:
    explicit MemoryDc(HDC compatible) : dc_(CreateCompatibleDC(compatible)) {}
    ~MemoryDc() {
        if (dc_) DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

// Selects an object into a DC and puts the previous one back on leaving.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(dc ? SelectObject(dc, object) : nullptr) {}
    ~Selection() {
        if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    bool Done() const { return previous_ && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

class GdiObject {
public:
    explicit GdiObject(HGDIOBJ object) : object_(object) {}
    ~GdiObject() {
        if (object_) DeleteObject(object_);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    HGDIOBJ Get() const { return object_; }

private:
    HGDIOBJ object_;
};

class ClipboardSession {
public:
    ClipboardSession() : open_(OpenClipboard(nullptr) != FALSE) {}
    ~ClipboardSession() {
        if (open_) CloseClipboard();
    }
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;
    bool Open() const { return open_; }

private:
    bool open_;
};

class GlobalMemory {
public:
    explicit GlobalMemory(SIZE_T bytes) : memory_(GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, bytes)) {}
    ~GlobalMemory() {
        if (memory_) GlobalFree(memory_);
    }
    GlobalMemory(const GlobalMemory&) = delete;
    GlobalMemory& operator=(const GlobalMemory&) = delete;
    HGLOBAL Get() const { return memory_; }
    void Release() { memory_ = nullptr; }

private:
    HGLOBAL memory_;
};

void StorePaletteEntries(RGBQUAD* table, const PALETTEENTRY* entries, UINT count) {
    for (UINT i = 0; i < count; ++i) {
        table[i].rgbBlue = entries[i].peBlue;
        table[i].rgbGreen = entries[i].peGreen;
        table[i].rgbRed = entries[i].peRed;
        table[i].rgbReserved = entries[i].peFlags;
    }
}

void FillFromPalette(RGBQUAD* table, UINT count, HPALETTE palette) {
    PALETTEENTRY entries[256] = {};
    GetPaletteEntries(palette, 0, count, entries);
    StorePaletteEntries(table, entries, count);
}

void FillDefaultPalette(RGBQUAD* table, UINT count) {
    FillFromPalette(table, count, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)));
}

void FillHalftonePalette(RGBQUAD* table, UINT count) {
    ScreenDc screen;
    GdiObject palette(CreateHalftonePalette(screen.Get()));
    FillFromPalette(table, count, static_cast<HPALETTE>(palette.Get()));
}

// A DIB's table and rows copied into a fresh allocation with room for a full
// table, as the callers of the capture functions expect.
BITMAPINFOHEADER* NewDibFromSection(const BITMAPINFOHEADER* header, const void* pixels) {
    uint32_t tableBytes = DibPaletteSize(header);
    uint32_t rowBytes = uint32_t(RowBytes(uint32_t(header->biWidth), header->biBitCount) * uint32_t(header->biHeight));
    auto* dib = static_cast<BITMAPINFOHEADER*>(std::malloc(kHeaderBytes + kFullTableBytes + rowBytes));
    if (!dib) return Fail<BITMAPINFOHEADER>(L"Failed to allocate memory for DIB", 40);
    std::memcpy(dib, header, kHeaderBytes + tableBytes);
    std::memcpy(DibBits(dib), pixels, rowBytes);
    return dib;
}

IconImage* WrapDib(int width, int height, int bits, BITMAPINFOHEADER* dib) {
    if (!dib) return nullptr;
    DibPtr owned(dib);
    auto* image = static_cast<IconImage*>(std::calloc(1, sizeof(IconImage)));
    if (!image) return Fail<IconImage>(L"Error Allocating Memory", 50);
    image->width = uint32_t(width);
    image->height = uint32_t(height);
    image->colors = uint32_t(bits);
    if (!ImageFromDib(image, owned.get())) {
        FreeIconImage(&image);
        return Fail<IconImage>(L"Error Allocating Memory", 50);
    }
    return image;
}

// An image's block when it holds a bitmap (not PNG data) whose colour part
// lies inside it.
const BITMAPINFOHEADER* BitmapBlockHeader(const IconImage* image) {
    if (!image || !image->block || !image->header || image->blockSize < kHeaderBytes ||
        reinterpret_cast<uint8_t*>(image->header) != image->block)
        return nullptr;
    uint64_t bytes = 0;
    if (!ColourImageBytes(image->header, uint32_t(image->header->biHeight) / 2, &bytes) || bytes > image->blockSize)
        return nullptr;
    return image->header;
}

}  // namespace

bool FreeDib(BITMAPINFOHEADER** handle) {
    if (!handle || !*handle) return FailFlag(L"DIB is NULL", 10);
    std::free(*handle);
    *handle = nullptr;
    return true;
}

bool FillColorTable(BITMAPINFOHEADER* target, const BITMAPINFOHEADER* source) {
    if (!target) return false;
    UINT depth = target->biBitCount;
    if (depth != 1 && depth != 4 && depth != 8) return true;
    UINT count = DibColorCount(target);
    if (count > (1u << depth)) count = 1u << depth;
    RGBQUAD* table = TableOf(target);
    if (depth == 1) {
        static const RGBQUAD kBlackWhite[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        std::memcpy(table, kBlackWhite, count * sizeof(RGBQUAD));
    } else if (source && source->biBitCount == depth) {
        UINT have = DibColorCount(source);
        UINT copied = have < count ? have : count;
        std::memcpy(table, TableOf(source), copied * sizeof(RGBQUAD));
        std::memset(table + copied, 0, (count - copied) * sizeof(RGBQUAD));
    } else if (depth == 4) {
        FillDefaultPalette(table, count);
    } else {
        FillHalftonePalette(table, count);
    }
    return true;
}

bool InitBlankImage(IconImage* image) {
    if (!image) return FailFlag(L"Error Get Icon Image", 10);
    if (image->width == 0 || image->height == 0 || !IsSupportedDepth(int(image->colors)) ||
        image->width > 0x7FFFFFFF || image->height > 0x3FFFFFFF)
        return FailFlag(L"Error Allocating Memory", 20);
    BITMAPINFOHEADER shape = {};
    shape.biSize = kHeaderBytes;
    shape.biPlanes = 1;
    shape.biBitCount = WORD(image->colors);
    uint64_t tableBytes = DibPaletteSize(&shape);
    uint64_t rowBytes = RowBytes(image->width, image->colors) + MaskRowBytes(image->width);
    uint64_t blockSize = tableBytes + rowBytes * image->height + kHeaderBytes;
    if (blockSize > kMaxBlock) return FailFlag(L"Error Allocating Memory", 20);
    auto* block = static_cast<uint8_t*>(std::calloc(1, size_t(blockSize)));
    if (!block) return FailFlag(L"Error Allocating Memory", 20);
    std::free(image->block);
    image->block = block;
    image->blockSize = uint32_t(blockSize);
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(block);
    *header = shape;
    header->biWidth = LONG(image->width);
    header->biHeight = LONG(image->height * 2);
    BITMAPINFOHEADER noTable = {};
    FillColorTable(header, &noTable);
    return LinkIconImage(image);
}

bool ImageFromDib(IconImage* image, const BITMAPINFOHEADER* dib) {
    if (!image || !dib || image->width == 0 || image->height == 0 || image->width > 0x7FFFFFFF ||
        image->height > 0x3FFFFFFF || uint32_t(dib->biWidth) != image->width ||
        uint32_t(dib->biHeight) != image->height)
        return false;
    uint64_t colourBytes = 0;
    if (!ColourImageBytes(dib, image->height, &colourBytes)) return false;
    uint64_t tableBytes = DibPaletteSize(dib);
    uint64_t maskBytes = uint64_t(MaskRowBytes(image->width)) * image->height;
    uint64_t blockSize = colourBytes + maskBytes;
    if (blockSize > kMaxBlock) return false;
    auto* block = static_cast<uint8_t*>(std::malloc(size_t(blockSize)));
    if (!block) return false;
    std::memcpy(block, dib, size_t(kHeaderBytes + tableBytes));
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(block);
    header->biHeight = LONG(image->height * 2);
    uint64_t rowBytes = colourBytes - kHeaderBytes - tableBytes;
    std::memcpy(block + kHeaderBytes + tableBytes, reinterpret_cast<const uint8_t*>(dib) + kHeaderBytes + tableBytes,
                size_t(rowBytes));
    std::memset(block + colourBytes, 0, size_t(maskBytes));
    std::free(image->block);
    image->block = block;
    image->blockSize = uint32_t(blockSize);
    return LinkIconImage(image);
}

BITMAPINFOHEADER* CaptureDib(int width, int height, int bits, HDC source, int sx, int sy, int sw, int sh) {
    if (!source) return Fail<BITMAPINFOHEADER>(L"Error get source DC", 10);
    if (width <= 0 || height <= 0 || !IsSupportedDepth(bits) ||
        kHeaderBytes + kFullTableBytes + RowBytes(uint32_t(width), uint32_t(bits)) * uint32_t(height) > kMaxBlock)
        return Fail<BITMAPINFOHEADER>(L"Error creating DIB section", 20);
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD table[256];
    } info = {};
    info.header.biSize = kHeaderBytes;
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biPlanes = 1;
    info.header.biBitCount = WORD(bits);
    BITMAPINFOHEADER noTable = {};
    FillColorTable(&info.header, &noTable);

    ScreenDc screen;
    void* pixels = nullptr;
    GdiObject section(CreateDIBSection(screen.Get(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels,
                                       nullptr, 0));
    if (!section.Get() || !pixels) return Fail<BITMAPINFOHEADER>(L"Error creating DIB section", 20);
    {
        MemoryDc memory(screen.Get());
        Selection selected(memory.Get(), section.Get());
        if (!selected.Done()) return Fail<BITMAPINFOHEADER>(L"Error creating DIB section", 20);
        if (bits <= 8) SetDIBColorTable(memory.Get(), 0, 1u << bits, info.table);
        BOOL copied;
        if (sw == width && sh == height) {
            copied = BitBlt(memory.Get(), 0, 0, width, height, source, sx, sy, SRCCOPY);
        } else {
            SetStretchBltMode(memory.Get(), COLORONCOLOR);
            copied = StretchBlt(memory.Get(), 0, 0, width, height, source, sx, sy, sw, sh, SRCCOPY);
        }
        if (!copied) return Fail<BITMAPINFOHEADER>(L"Error copying picture", 30);
    }
    GdiFlush();
    return NewDibFromSection(&info.header, pixels);
}

IconImage* CaptureIconImage(int width, int height, int bits, HDC source, int sx, int sy, int sw, int sh) {
    return WrapDib(width, height, bits, CaptureDib(width, height, bits, source, sx, sy, sw, sh));
}

BITMAPINFOHEADER* BitmapToDib(int width, int height, int bits, HBITMAP source, int sx, int sy, int sw, int sh) {
    if (!source) return Fail<BITMAPINFOHEADER>(L"Error get source Bmp", 10);
    MemoryDc memory(nullptr);
    Selection selected(memory.Get(), source);
    if (!selected.Done()) return Fail<BITMAPINFOHEADER>(L"Error get source Bmp", 10);
    return CaptureDib(width, height, bits, memory.Get(), sx, sy, sw, sh);
}

IconImage* BitmapToIconImage(int width, int height, int bits, HBITMAP source, int sx, int sy, int sw, int sh) {
    return WrapDib(width, height, bits, BitmapToDib(width, height, bits, source, sx, sy, sw, sh));
}

IconImage* IconHandleToImage(HICON icon, int bits) {
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return Fail<IconImage>(L"Error GetIconInfo for Reading", 10);
    GdiObject colour(info.hbmColor);
    GdiObject mask(info.hbmMask);
    // A monochrome icon keeps image and mask stacked in its mask bitmap.
    BITMAP shape = {};
    if (!GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(shape), &shape))
        return Fail<IconImage>(L"Error creating drawing surface", 20);
    int width = shape.bmWidth;
    int height = info.hbmColor ? shape.bmHeight : shape.bmHeight / 2;
    if (width <= 0 || height <= 0) return Fail<IconImage>(L"Error creating drawing surface", 20);
    GdiObject canvas(CreateBitmap(width, height, shape.bmPlanes, shape.bmBitsPixel, nullptr));
    ScreenDc screen;
    MemoryDc memory(screen.Get());
    Selection selected(memory.Get(), canvas.Get());
    if (!canvas.Get() || !selected.Done()) return Fail<IconImage>(L"Error creating drawing surface", 20);
    PatBlt(memory.Get(), 0, 0, width, height, BLACKNESS);
    DrawIconEx(memory.Get(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    if (bits == 0) bits = shape.bmBitsPixel * shape.bmPlanes;
    return CaptureIconImage(width, height, bits, memory.Get(), 0, 0, width, height);
}

BITMAPINFOHEADER* ReadBmpFile(const wchar_t* path) {
    kx::FileHandle file(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return Fail<BITMAPINFOHEADER>(L"Error opening file", 10);
    BITMAPFILEHEADER fileHeader = {};
    if (!ReadExact(file.Get(), &fileHeader, kFileHeaderBytes)) return Fail<BITMAPINFOHEADER>(L"Error reading file", 20);
    if (fileHeader.bfType != 0x4D42 || fileHeader.bfReserved1 != 0 || fileHeader.bfReserved2 != 0)
        return Fail<BITMAPINFOHEADER>(L"Not a recognised BMP format file", 30);

    DibPtr dib(static_cast<BITMAPINFOHEADER*>(std::malloc(kHeaderBytes)));
    if (!dib) return Fail<BITMAPINFOHEADER>(L"Failed to allocate memory for DIB", 40);
    if (!ReadExact(file.Get(), dib.get(), kHeaderBytes)) return Fail<BITMAPINFOHEADER>(L"Error reading file", 50);
    if (dib->biSize != kHeaderBytes) return Fail<BITMAPINFOHEADER>(L"OS/2 style BMPs Not Supported", 60);
    // Only plain bottom-up rows are read: top-down, compressed and odd layouts
    // are refused before any size is derived from them.
    const BITMAPINFOHEADER& header = *dib;
    bool paletted = header.biBitCount <= 8;
    if (header.biWidth <= 0 || header.biHeight <= 0 || header.biPlanes != 1 || !IsSupportedDepth(header.biBitCount) ||
        header.biCompression != BI_RGB || header.biClrUsed > (paletted ? (1u << header.biBitCount) : 256u))
        return Fail<BITMAPINFOHEADER>(L"Not a recognised BMP format file", 30);

    uint64_t dibBytes = 0;
    if (!ColourImageBytes(&header, uint32_t(header.biHeight), &dibBytes))
        return Fail<BITMAPINFOHEADER>(L"Failed to allocate memory for DIB", 70);
    uint32_t tableBytes = DibPaletteSize(&header);
    uint64_t rowBytes = dibBytes - kHeaderBytes - tableBytes;
    LARGE_INTEGER fileSize = {};
    if (!GetFileSizeEx(file.Get(), &fileSize)) return Fail<BITMAPINFOHEADER>(L"Error reading file", 80);
    uint64_t tableEnd = kFileHeaderBytes + kHeaderBytes + tableBytes;
    if (tableEnd > uint64_t(fileSize.QuadPart)) return Fail<BITMAPINFOHEADER>(L"Error reading file", 80);
    if (fileHeader.bfOffBits != 0 && (fileHeader.bfOffBits < tableEnd || fileHeader.bfOffBits > uint64_t(fileSize.QuadPart)))
        return Fail<BITMAPINFOHEADER>(L"Error reading file", 90);
    uint64_t rowsStart = fileHeader.bfOffBits != 0 ? fileHeader.bfOffBits : tableEnd;
    if (rowsStart + rowBytes > uint64_t(fileSize.QuadPart)) return Fail<BITMAPINFOHEADER>(L"Error reading file", 100);

    auto* grown = static_cast<BITMAPINFOHEADER*>(std::realloc(dib.get(), size_t(dibBytes)));
    if (!grown) return Fail<BITMAPINFOHEADER>(L"Failed to allocate memory for DIB", 70);
    dib.release();
    dib.reset(grown);
    if (tableBytes && !ReadExact(file.Get(), TableOf(dib.get()), tableBytes))
        return Fail<BITMAPINFOHEADER>(L"Error reading file", 80);
    if (fileHeader.bfOffBits != 0) {
        LARGE_INTEGER offset = {};
        offset.QuadPart = fileHeader.bfOffBits;
        if (!SetFilePointerEx(file.Get(), offset, nullptr, FILE_BEGIN)) return Fail<BITMAPINFOHEADER>(L"Error reading file", 90);
    }
    if (!ReadExact(file.Get(), DibBits(dib.get()), uint32_t(rowBytes))) return Fail<BITMAPINFOHEADER>(L"Error reading file", 100);
    return dib.release();
}

bool WriteBmpFile(const wchar_t* path, BITMAPINFOHEADER* blockHeader) {
    uint64_t colourBytes = 0;
    if (!blockHeader || blockHeader->biHeight < 2 ||
        !ColourImageBytes(blockHeader, uint32_t(blockHeader->biHeight) / 2, &colourBytes))
        return FailFlag(L"Not a bitmap image", 40);
    kx::FileHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return FailFlag(L"Error opening file", 10);
    uint32_t tableBytes = DibPaletteSize(blockHeader);
    BITMAPFILEHEADER fileHeader = {};
    fileHeader.bfType = 0x4D42;
    fileHeader.bfOffBits = kFileHeaderBytes + kHeaderBytes + tableBytes;
    fileHeader.bfSize = uint32_t(kFileHeaderBytes + colourBytes);
    if (!WriteExact(file.Get(), &fileHeader, kFileHeaderBytes)) return FailFlag(L"Error Writing file", 20);
    LONG blockHeight = blockHeader->biHeight;
    blockHeader->biHeight = blockHeight / 2;
    bool written = WriteExact(file.Get(), blockHeader, uint32_t(colourBytes));
    blockHeader->biHeight = blockHeight;
    if (!written) return FailFlag(L"Error Writing file", 30);
    return true;
}

bool WriteImageBmpFile(const wchar_t* path, IconImage* image) {
    if (!BitmapBlockHeader(image)) return FailFlag(L"Not a bitmap image", 40);
    return WriteBmpFile(path, image->header);
}

bool CopyImageToClipboard(const IconImage* image) {
    if (!BitmapBlockHeader(image)) return false;
    ClipboardSession clipboard;
    if (!clipboard.Open() || !EmptyClipboard()) return false;
    GlobalMemory memory(image->blockSize);
    if (!memory.Get()) return false;
    auto* copy = static_cast<uint8_t*>(GlobalLock(memory.Get()));
    if (!copy) return false;
    std::memcpy(copy, image->block, image->blockSize);
    reinterpret_cast<BITMAPINFOHEADER*>(copy)->biHeight /= 2;
    GlobalUnlock(memory.Get());
    if (!SetClipboardData(CF_DIB, memory.Get())) return false;
    memory.Release();
    return true;
}

void SetMaskBit(uint8_t* mask, int width, int height, int x, int y, bool set) {
    if (!mask || x < 0 || y < 0 || x >= width || y >= height) return;
    uint8_t* byte = mask + size_t(MaskRowBytes(uint32_t(width))) * size_t(height - y - 1) + size_t(x / 8);
    uint8_t bit = uint8_t(0x80 >> (x % 8));
    if (set)
        *byte |= bit;
    else
        *byte &= uint8_t(~bit);
}
