#include "icon/IconResource.h"

#include "core/FileHandle.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

IconError IconLastError = {L"", 0};

namespace {

const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
const uint32_t kBitmapHeaderSize = 40;
const uint32_t kImageSizeOffset = 20;
const uint32_t kIcoHeaderSize = 6;
const uint32_t kIcoEntrySize = 16;

bool Fail(const wchar_t* message, int code) {
    IconLastError.message = message;
    IconLastError.code = code;
    return false;
}

uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t GetU32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
uint32_t GetU32BigEndian(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]); }
void PutU16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void PutU32(uint8_t* p, uint32_t v) { PutU16(p, v); PutU16(p + 2, v >> 16); }

bool IsPngBlock(const uint8_t* block, uint32_t size) {
    return block && size >= sizeof kPngSignature && memcmp(block, kPngSignature, sizeof kPngSignature) == 0;
}

// Bits per pixel of a PNG colour type and depth, 0 for a combination PNG does not define.
uint32_t PngBitsPerPixel(uint8_t depth, uint8_t colorType) {
    switch (colorType) {
    case 0: return (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16) ? depth : 0;
    case 2: return (depth == 8 || depth == 16) ? depth * 3u : 0;
    case 3: return (depth == 1 || depth == 2 || depth == 4 || depth == 8) ? depth : 0;
    case 4: return (depth == 8 || depth == 16) ? depth * 2u : 0;
    case 6: return (depth == 8 || depth == 16) ? depth * 4u : 0;
    default: return 0;
    }
}

struct Format {
    uint32_t width, height, colors;
};

// Signature, then the IHDR chunk: length 13, type, width, height, depth, colour type.
bool ReadPngFormat(const uint8_t* block, uint32_t size, Format& format) {
    const uint32_t kIhdrEnd = 8 + 8 + 13 + 4;
    if (!IsPngBlock(block, size) || size < kIhdrEnd) return false;
    if (GetU32BigEndian(block + 8) != 13 || memcmp(block + 12, "IHDR", 4) != 0) return false;
    uint32_t width = GetU32BigEndian(block + 16), height = GetU32BigEndian(block + 20);
    uint32_t colors = PngBitsPerPixel(block[24], block[25]);
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF || colors == 0) return false;
    format = {width, height, colors};
    return true;
}

bool IsPixelDepth(uint32_t bits) {
    return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// A bitmap-headed block is usable when header, colour table, colour rows and
// mask rows all lie inside it; every term is bounded before it is added.
bool ReadBitmapFormat(const uint8_t* block, uint32_t size, Format& format) {
    if (!block || size < kBitmapHeaderSize) return false;
    const BITMAPINFOHEADER* header = reinterpret_cast<const BITMAPINFOHEADER*>(block);
    if (header->biSize < kBitmapHeaderSize || header->biSize > size) return false;
    if (header->biWidth <= 0 || header->biHeight < 2 || header->biCompression != BI_RGB) return false;
    uint32_t colors = uint32_t(header->biPlanes) * header->biBitCount;
    if (!IsPixelDepth(colors)) return false;
    if (header->biClrUsed > 0xFFFF / 4) return false;
    uint32_t width = uint32_t(header->biWidth), height = uint32_t(header->biHeight) / 2;
    uint64_t rowBytes = DibRowBytes(header), maskBytes = MaskRowBytes(width);
    uint64_t room = size - header->biSize;
    if (DibPaletteSize(header) > room) return false;
    room -= DibPaletteSize(header);
    if (rowBytes > room || height > room || rowBytes * height > room) return false;
    room -= rowBytes * height;
    if (maskBytes > room || maskBytes * height > room) return false;
    format = {width, height, colors};
    return true;
}

size_t RecordBytes(uint32_t count) {
    return offsetof(IconResource, images) + size_t(count) * sizeof(IconImage);
}

// Zeroed record with room for count images; none when the size cannot be held.
IconResource* NewRecord(uint32_t count) {
    if (count > (SIZE_MAX - offsetof(IconResource, images)) / sizeof(IconImage)) return nullptr;
    size_t bytes = RecordBytes(count);
    if (bytes < sizeof(IconResource)) bytes = sizeof(IconResource);
    return static_cast<IconResource*>(calloc(1, bytes));
}

void CopyText(wchar_t* target, size_t capacity, const wchar_t* text) {
    size_t length = text ? wcslen(text) : 0;
    if (length >= capacity) {
        length = capacity - 1;
        if (length > 0 && IS_HIGH_SURROGATE(text[length - 1])) --length;
    }
    if (length) memcpy(target, text, length * sizeof(wchar_t));
    target[length] = 0;
}

void CopyNames(IconResource* target, const IconResource* source) {
    CopyText(target->sourceFileName, 260, source ? source->sourceFileName : nullptr);
    CopyText(target->name, 128, source ? source->name : nullptr);
}

// Blocks of size 0 still get an allocation so that "no block" stays distinct.
uint8_t* NewBlock(uint32_t size) { return static_cast<uint8_t*>(malloc(size ? size : 1)); }

// Releases the blocks of the first count images and the record.
void DiscardRecord(IconResource* icon, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) free(icon->images[i].block);
    free(icon);
}

// A duplicate of image with a fresh copy of its block; false only when no
// memory is left. Whether the copy links is told through linked.
bool CloneImage(IconImage& target, const IconImage& source, bool& linked) {
    target = source;
    target.block = NewBlock(source.blockSize);
    if (!target.block) return false;
    if (source.block) memcpy(target.block, source.block, source.blockSize);
    else memset(target.block, 0, source.blockSize ? source.blockSize : 1);
    linked = LinkIconImage(&target);
    return true;
}

IconResource* FailRead(const wchar_t* message, int code) {
    Fail(message, code);
    return nullptr;
}

class File {
public:
    explicit File(HANDLE handle) : file_(handle) {}
    bool IsOpen() const { return file_.IsOpen(); }
    // -1 on failure, otherwise the number of bytes read.
    int64_t Read(void* buffer, uint32_t size) {
        DWORD done = 0;
        return ReadFile(file_.Get(), buffer, size, &done, nullptr) ? int64_t(done) : -1;
    }
    bool WriteAll(const void* buffer, uint32_t size) {
        DWORD done = 0;
        return WriteFile(file_.Get(), buffer, size, &done, nullptr) && done == size;
    }
    bool Seek(uint32_t offset) {
        LARGE_INTEGER position;
        position.QuadPart = offset;
        return SetFilePointerEx(file_.Get(), position, nullptr, FILE_BEGIN) != 0;
    }
    uint64_t Size() const {
        LARGE_INTEGER size;
        return GetFileSizeEx(file_.Get(), &size) ? uint64_t(size.QuadPart) : 0;
    }

private:
    kx::FileHandle file_;
};

const wchar_t kReadAlloc[] = L"Error Allocating Memory";
const wchar_t kReadFile[] = L"Error Reading File";

// Fills images[index] from one directory entry; a range past the end of the
// file is a short read, found before anything is allocated for it.
bool ReadIconBlock(File& file, uint64_t fileSize, const uint8_t* entry, IconImage& image) {
    uint32_t size = GetU32(entry + 8), offset = GetU32(entry + 12);
    if (uint64_t(offset) + size > fileSize) return Fail(kReadFile, 130);
    image.block = NewBlock(size);
    if (!image.block) return Fail(kReadAlloc, 100);
    image.blockSize = size;
    if (!file.Seek(offset)) return Fail(L"Error Seeking in File", 110);
    int64_t done = file.Read(image.block, size);
    if (done < 0) return Fail(kReadFile, 120);
    if (done != size) return Fail(kReadFile, 130);
    if (!LinkIconImage(&image)) return Fail(L"Error Converting to Internal Format", 140);
    return true;
}

bool ReadIconImages(File& file, IconResource* icon) {
    uint32_t count = icon->imageCount;
    uint8_t* directory = static_cast<uint8_t*>(malloc(count ? count * kIcoEntrySize : 1));
    if (!directory) return Fail(kReadAlloc, 50);
    int64_t done = file.Read(directory, count * kIcoEntrySize);
    bool ok = done < 0 ? Fail(kReadFile, 60) : done != count * kIcoEntrySize ? Fail(kReadFile, 70) : true;
    uint64_t fileSize = file.Size();
    for (uint32_t i = 0; ok && i < count; ++i)
        ok = ReadIconBlock(file, fileSize, directory + i * kIcoEntrySize, icon->images[i]);
    free(directory);
    return ok;
}

void FillDirectoryEntry(uint8_t* entry, const IconImage& image, uint32_t offset) {
    uint32_t planes = 1, bitCount = image.colors;
    if (!IsPngBlock(image.block, image.blockSize)) {
        bool hasDepth = image.block && image.blockSize >= 16;
        planes = hasDepth ? GetU16(image.block + 12) : 0;
        bitCount = hasDepth ? GetU16(image.block + 14) : 0;
    }
    uint32_t depth = planes * bitCount;
    entry[0] = uint8_t(image.width);
    entry[1] = uint8_t(image.height);
    entry[2] = uint8_t(depth < 8 ? 1u << depth : 0);
    entry[3] = 0;
    PutU16(entry + 4, planes);
    PutU16(entry + 6, bitCount);
    PutU32(entry + 8, image.blockSize);
    PutU32(entry + 12, offset);
}

// The image-size field goes to disk as 0; only a bitmap header has one.
bool WriteIconBlock(File& file, IconImage& image) {
    bool headed = image.block && !IsPngBlock(image.block, image.blockSize) && image.blockSize >= kBitmapHeaderSize;
    uint8_t kept[4] = {};
    if (headed) {
        memcpy(kept, image.block + kImageSizeOffset, 4);
        memset(image.block + kImageSizeOffset, 0, 4);
    }
    bool ok = image.blockSize == 0 || (image.block && file.WriteAll(image.block, image.blockSize));
    if (headed) memcpy(image.block + kImageSizeOffset, kept, 4);
    return ok;
}

} // namespace

uint16_t DibColorCount(const BITMAPINFOHEADER* header) {
    if (!header) return 0;
    if (header->biClrUsed) return uint16_t(header->biClrUsed);
    switch (header->biBitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

uint16_t DibPaletteSize(const BITMAPINFOHEADER* header) {
    return uint16_t(DibColorCount(header) * 4u);
}

uint32_t DibRowBytes(const BITMAPINFOHEADER* header) {
    if (!header) return 0;
    uint64_t bits = uint64_t(header->biBitCount) * header->biPlanes * uint32_t(header->biWidth);
    return uint32_t(((bits + 31) >> 3) & ~uint64_t(3));
}

uint8_t* DibBits(BITMAPINFOHEADER* header) {
    if (!header) return nullptr;
    return reinterpret_cast<uint8_t*>(header) + header->biSize + DibPaletteSize(header);
}

uint32_t MaskRowBytes(uint32_t width) {
    return uint32_t(((uint64_t(width) + 31) >> 5) * 4);
}

// A block that is neither a complete bitmap image nor a PNG with its header
// chunk is refused, and the views are cleared so nothing points past it.
bool LinkIconImage(IconImage* image) {
    if (!image) return false;
    Format format;
    if (ReadPngFormat(image->block, image->blockSize, format)) {
        image->header = nullptr;
        image->xorBits = image->andBits = nullptr;
    } else if (ReadBitmapFormat(image->block, image->blockSize, format)) {
        image->header = reinterpret_cast<BITMAPINFOHEADER*>(image->block);
        image->xorBits = DibBits(image->header);
        image->andBits = image->xorBits + size_t(DibRowBytes(image->header)) * format.height;
    } else {
        image->width = image->height = image->colors = 0;
        image->header = nullptr;
        image->xorBits = image->andBits = nullptr;
        return false;
    }
    image->width = format.width;
    image->height = format.height;
    image->colors = format.colors;
    return true;
}

IconResource* ReadIconFile(const wchar_t* path) {
    if (!path) return FailRead(L"Error Opening File for Reading", 10);
    File file(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return FailRead(L"Error Opening File for Reading", 10);
    IconResource* icon = NewRecord(1);
    if (!icon) return FailRead(kReadAlloc, 20);
    uint8_t head[kIcoHeaderSize];
    if (file.Read(head, kIcoHeaderSize) != kIcoHeaderSize || GetU16(head) != 0 || GetU16(head + 2) != 1) {
        free(icon);
        return FailRead(L"Error Reading File Header", 30);
    }
    uint32_t count = GetU16(head + 4);
    size_t bytes = RecordBytes(count < 1 ? 1 : count);
    IconResource* resized = static_cast<IconResource*>(realloc(icon, bytes));
    if (!resized) {
        free(icon);
        return FailRead(kReadAlloc, 40);
    }
    icon = resized;
    memset(icon, 0, bytes);
    CopyText(icon->sourceFileName, 260, path);
    icon->imageCount = count;
    // Images not reached yet hold no block, so releasing all of them is safe.
    if (!ReadIconImages(file, icon)) {
        DiscardRecord(icon, count);
        return nullptr;
    }
    return icon;
}

bool WriteIconFile(IconResource* icon, const wchar_t* path) {
    if (!icon || icon->imageCount > 0xFFFF) return Fail(L"Error Writing ICO File", 20);
    uint64_t total = kIcoHeaderSize + uint64_t(kIcoEntrySize) * icon->imageCount;
    for (uint32_t i = 0; i < icon->imageCount; ++i) total += icon->images[i].blockSize;
    if (total > 0xFFFFFFFF) return Fail(L"Error Writing ICO File", 20);
    if (!path) return Fail(L"Error Opening File for Writing", 10);
    File file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return Fail(L"Error Opening File for Writing", 10);
    uint8_t head[kIcoHeaderSize];
    PutU16(head, 0);
    PutU16(head + 2, 1);
    PutU16(head + 4, icon->imageCount);
    if (!file.WriteAll(head, kIcoHeaderSize)) return Fail(L"Error Writing ICO File", 20);
    uint32_t offset = kIcoHeaderSize + kIcoEntrySize * icon->imageCount;
    for (uint32_t i = 0; i < icon->imageCount; ++i) {
        uint8_t entry[kIcoEntrySize];
        FillDirectoryEntry(entry, icon->images[i], offset);
        if (!file.WriteAll(entry, kIcoEntrySize)) return false;
        offset += icon->images[i].blockSize;
    }
    for (uint32_t i = 0; i < icon->imageCount; ++i)
        if (!WriteIconBlock(file, icon->images[i])) return false;
    return true;
}

bool HasIconFormat(const IconResource* icon, const IconImage* image) {
    if (!icon || !image) return false;
    for (uint32_t i = 0; i < icon->imageCount; ++i) {
        const IconImage& own = icon->images[i];
        if (own.width == image->width && own.height == image->height && own.colors == image->colors) return true;
    }
    return false;
}

bool AddIconImage(IconResource** handle, const IconImage* image) {
    if (!handle || !image) return Fail(L"Error Get Icon Image", 10);
    IconResource* old = *handle;
    if (old && HasIconFormat(old, image)) return Fail(L"That format already exists - format not added", 20);
    uint32_t count = old ? old->imageCount : 0;
    IconResource* icon = count < 0xFFFFFFFF ? NewRecord(count + 1) : nullptr;
    if (!icon) return Fail(L"Error Allocating Memory", 30);
    IconImage& added = icon->images[count];
    bool linked = false;
    if (!CloneImage(added, *image, linked)) {
        free(icon);
        return Fail(L"Error Allocating Memory", 30);
    }
    if (!linked) {
        DiscardRecord(icon, count + 1);
        return Fail(L"Error Get Icon Image", 10);
    }
    icon->changed = TRUE;
    CopyNames(icon, old);
    if (count) memcpy(icon->images, old->images, count * sizeof(IconImage));
    icon->imageCount = count + 1;
    free(old);
    *handle = icon;
    return true;
}

IconResource* MakeIconResource(const IconImage* image) {
    IconResource* icon = nullptr;
    return AddIconImage(&icon, image) ? icon : nullptr;
}

bool RemoveIconImage(IconResource** handle, int index) {
    IconResource* old = handle ? *handle : nullptr;
    if (!old || index < 0 || uint32_t(index) >= old->imageCount) return Fail(L"Index is Error", 10);
    IconResource* icon = NewRecord(old->imageCount - 1);
    if (!icon) return Fail(L"Error Allocating Memory", 20);
    icon->changed = TRUE;
    CopyNames(icon, old);
    icon->imageCount = old->imageCount - 1;
    memcpy(icon->images, old->images, size_t(index) * sizeof(IconImage));
    memcpy(icon->images + index, old->images + index + 1, size_t(icon->imageCount - index) * sizeof(IconImage));
    free(old->images[index].block);
    free(old);
    *handle = icon;
    return true;
}

// The copy is complete before the handle's old record goes, so copying a
// resource onto the handle that holds it, or running out of memory, loses nothing.
bool CopyIconResource(IconResource** handle, const IconResource* source) {
    if (!handle || !source) return Fail(L"Error Get Icon Resource", 10);
    IconResource* copy = NewRecord(source->imageCount);
    if (!copy) return Fail(L"Error Allocating Memory", 20);
    copy->changed = source->changed;
    CopyNames(copy, source);
    for (uint32_t i = 0; i < source->imageCount; ++i) {
        bool linked = false;
        if (!CloneImage(copy->images[i], source->images[i], linked)) {
            DiscardRecord(copy, i);
            return Fail(L"Error Allocating Memory", 20);
        }
    }
    copy->imageCount = source->imageCount;
    IconResource* old = *handle;
    *handle = copy;
    if (old) FreeIconResource(&old);
    return true;
}

bool FreeIconResource(IconResource** handle) {
    if (!handle || !*handle) return Fail(L"Icon Resource is NULL", 10);
    DiscardRecord(*handle, (*handle)->imageCount);
    *handle = nullptr;
    return true;
}

bool FreeIconImage(IconImage** handle) {
    if (!handle || !*handle) return Fail(L"Icon Image is NULL", 10);
    free((*handle)->block);
    free(*handle);
    *handle = nullptr;
    return true;
}

HICON MakeIconHandle(const IconImage* image) {
    if (!image || !image->block) return nullptr;
    Format format;
    if (ReadPngFormat(image->block, image->blockSize, format))
        return CreateIconFromResourceEx(image->block, image->blockSize, TRUE, 0x30000, int(format.width),
                                        int(format.height), LR_DEFAULTCOLOR);
    if (!ReadBitmapFormat(image->block, image->blockSize, format)) return nullptr;
    const BITMAPINFOHEADER* header = reinterpret_cast<const BITMAPINFOHEADER*>(image->block);
    HICON icon = CreateIconFromResourceEx(image->block, image->blockSize, TRUE, 0x30000, header->biWidth,
                                          header->biHeight / 2, LR_DEFAULTCOLOR);
    if (!icon && header->biBitCount != 16)
        icon = CreateIconFromResource(image->block, image->blockSize, TRUE, 0x30000);
    return icon;
}
