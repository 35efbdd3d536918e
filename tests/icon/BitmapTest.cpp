// Bitmap conversion on the real graphics of the test display, .bmp files in a
// temporary folder, and the real clipboard.
#include "icon/Bitmap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Colour as 0xRRGGBB.
using Rgb = uint32_t;

Rgb RgbOf(uint8_t red, uint8_t green, uint8_t blue) { return (Rgb(red) << 16) | (Rgb(green) << 8) | blue; }

Rgb RgbOf(const RGBQUAD& entry) { return RgbOf(entry.rgbRed, entry.rgbGreen, entry.rgbBlue); }

const RGBQUAD* TableOf(const BITMAPINFOHEADER* header) {
    return reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const uint8_t*>(header) + header->biSize);
}

// Pixel (x, y) from the top-left of bottom-up rows with the header's layout.
Rgb PixelAt(const BITMAPINFOHEADER* header, const uint8_t* rows, int imageHeight, int x, int y) {
    const uint8_t* row = rows + size_t(DibRowBytes(header)) * size_t(imageHeight - 1 - y);
    const RGBQUAD* table = TableOf(header);
    switch (header->biBitCount) {
    case 1: return RgbOf(table[(row[x / 8] >> (7 - x % 8)) & 1]);
    case 4: return RgbOf(table[(row[x / 2] >> (x % 2 ? 0 : 4)) & 15]);
    case 8: return RgbOf(table[row[x]]);
    case 24: return RgbOf(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    case 32: return RgbOf(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    default: ADD_FAILURE() << "no pixel reader for " << header->biBitCount << " bits"; return 0;
    }
}

Rgb DibPixel(BITMAPINFOHEADER* dib, int x, int y) { return PixelAt(dib, DibBits(dib), dib->biHeight, x, y); }

Rgb ImagePixel(const IconImage* image, int x, int y) {
    return PixelAt(image->header, image->xorBits, int(image->height), x, y);
}

struct DibDeleter {
    void operator()(BITMAPINFOHEADER* dib) const { FreeDib(&dib); }
};
using DibPtr = std::unique_ptr<BITMAPINFOHEADER, DibDeleter>;

struct ImageDeleter {
    void operator()(IconImage* image) const { FreeIconImage(&image); }
};
using ImagePtr = std::unique_ptr<IconImage, ImageDeleter>;

ImagePtr BlankImage(uint32_t width, uint32_t height, uint32_t colors) {
    auto* image = static_cast<IconImage*>(std::calloc(1, sizeof(IconImage)));
    image->width = width;
    image->height = height;
    image->colors = colors;
    EXPECT_TRUE(InitBlankImage(image));
    return ImagePtr(image);
}

// Distinct bytes in every colour row and mask row, so that any row mix-up shows.
void FillPattern(IconImage* image) {
    uint32_t rows = DibRowBytes(image->header) * image->height;
    for (uint32_t i = 0; i < rows; ++i) image->xorBits[i] = uint8_t(i * 7 + 3);
    uint32_t mask = MaskRowBytes(image->width) * image->height;
    for (uint32_t i = 0; i < mask; ++i) image->andBits[i] = uint8_t(0xA5 ^ i);
}

class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        wchar_t name[MAX_PATH];
        _snwprintf(name, MAX_PATH, L"%sbmptest%lu_%lu", base, GetCurrentProcessId(), GetTickCount());
        path_ = name;
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        for (const std::wstring& file : files_) DeleteFileW(file.c_str());
        RemoveDirectoryW(path_.c_str());
    }
    std::wstring File(const wchar_t* name) {
        files_.insert(path_ + L"\\" + name);
        return path_ + L"\\" + name;
    }

private:
    std::wstring path_;
    std::set<std::wstring> files_;
};

void WriteBytes(const std::wstring& path, const Bytes& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD done = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &done, nullptr);
    CloseHandle(file);
    ASSERT_EQ(bytes.size(), done);
}

Bytes ReadBytes(const std::wstring& path) {
    Bytes bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD done = 0;
    ReadFile(file, bytes.data(), DWORD(bytes.size()), &done, nullptr);
    CloseHandle(file);
    bytes.resize(done);
    return bytes;
}

void PutU16(Bytes& bytes, size_t at, uint32_t value) {
    bytes[at] = uint8_t(value);
    bytes[at + 1] = uint8_t(value >> 8);
}

void PutU32(Bytes& bytes, size_t at, uint32_t value) {
    PutU16(bytes, at, value);
    PutU16(bytes, at + 2, value >> 16);
}

// Offsets of the fields of a .bmp file: file header, then bitmap header.
enum Field : size_t {
    kType = 0, kFileSize = 2, kReserved1 = 6, kRowOffset = 10, kHeaderSize = 14, kWidth = 18, kHeight = 22,
    kPlanes = 26, kBitCount = 28, kCompression = 30, kImageSize = 34, kColorsUsed = 46, kTable = 54
};

// A plain .bmp made field by field: table entries and row bytes are numbered.
Bytes MakeBmp(int width, int height, int bits, uint32_t colorsUsed = 0) {
    uint32_t entries = colorsUsed ? colorsUsed : bits <= 8 ? 1u << bits : 0;
    uint32_t rowBytes = ((uint32_t(width) * bits + 31) >> 3) & ~3u;
    uint32_t offset = kTable + entries * 4;
    Bytes bytes(offset + rowBytes * uint32_t(height));
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutU32(bytes, kFileSize, uint32_t(bytes.size()));
    PutU32(bytes, kRowOffset, offset);
    PutU32(bytes, kHeaderSize, 40);
    PutU32(bytes, kWidth, uint32_t(width));
    PutU32(bytes, kHeight, uint32_t(height));
    PutU16(bytes, kPlanes, 1);
    PutU16(bytes, kBitCount, uint32_t(bits));
    PutU32(bytes, kColorsUsed, colorsUsed);
    for (uint32_t i = 0; i < entries; ++i) {
        bytes[kTable + 4 * i] = uint8_t(i);
        bytes[kTable + 4 * i + 1] = uint8_t(255 - i);
        bytes[kTable + 4 * i + 2] = uint8_t(i * 3);
    }
    for (size_t i = offset; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 13 + 1);
    return bytes;
}

// A 32-bit top-down DIB section whose pixel (x, y) is colour(x, y).
template <typename Colour>
HBITMAP MakeSourceBitmap(int width, int height, Colour colour) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    EXPECT_NE(nullptr, bitmap);
    auto* pixels = static_cast<uint32_t*>(bits);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels[y * width + x] = colour(x, y) & 0xFFFFFF;
    return bitmap;
}

// A memory DC with a source bitmap selected, released on leaving.
class SourceDc {
public:
    explicit SourceDc(HBITMAP bitmap) : bitmap_(bitmap), dc_(CreateCompatibleDC(nullptr)) {
        previous_ = SelectObject(dc_, bitmap_);
    }
    ~SourceDc() {
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
        DeleteObject(bitmap_);
    }
    HDC Get() const { return dc_; }

private:
    HBITMAP bitmap_;
    HDC dc_;
    HGDIOBJ previous_;
};

Rgb Pattern(int x, int y) { return RgbOf(uint8_t(x * 5), uint8_t(y * 5), 0x80); }

std::vector<Rgb> PaletteColours(HPALETTE palette, UINT count) {
    std::vector<PALETTEENTRY> entries(count);
    EXPECT_EQ(count, GetPaletteEntries(palette, 0, count, entries.data()));
    std::vector<Rgb> colours;
    for (const PALETTEENTRY& entry : entries) colours.push_back(RgbOf(entry.peRed, entry.peGreen, entry.peBlue));
    return colours;
}

std::vector<Rgb> DefaultPaletteColours() {
    return PaletteColours(static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), 16);
}

std::vector<Rgb> HalftoneColours() {
    HDC screen = GetDC(nullptr);
    HPALETTE palette = CreateHalftonePalette(screen);
    std::vector<Rgb> colours = PaletteColours(palette, 256);
    DeleteObject(palette);
    ReleaseDC(nullptr, screen);
    return colours;
}

std::vector<Rgb> TableColours(const BITMAPINFOHEADER* header) {
    std::vector<Rgb> colours;
    for (int i = 0; i < DibColorCount(header); ++i) colours.push_back(RgbOf(TableOf(header)[i]));
    return colours;
}

// --- Blank images -----------------------------------------------------------

struct BlankCase {
    uint32_t width, height, colors, blockSize, tableEntries;
};

TEST(BitmapBlankImage, HasTheLayoutOfAnIconBlockAndIsBlackAndOpaque) {
    const BlankCase cases[] = {
        {16, 16, 1, 40 + 8 + 64 + 64, 2},
        {16, 16, 4, 296, 16},
        {16, 16, 8, 40 + 1024 + 256 + 64, 256},
        {16, 16, 24, 40 + 48 * 16 + 64, 0},
        {5, 3, 24, 40 + 16 * 3 + 4 * 3, 0},
        {32, 32, 4, 744, 16},
        {16, 16, 32, 40 + 64 * 16 + 64, 0},
    };
    for (const BlankCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "@" << c.colors);
        ImagePtr image = BlankImage(c.width, c.height, c.colors);
        ASSERT_NE(nullptr, image->header);
        EXPECT_EQ(c.blockSize, image->blockSize);
        const BITMAPINFOHEADER& h = *image->header;
        EXPECT_EQ(40u, h.biSize);
        EXPECT_EQ(LONG(c.width), h.biWidth);
        EXPECT_EQ(LONG(c.height * 2), h.biHeight);
        EXPECT_EQ(1, h.biPlanes);
        EXPECT_EQ(c.colors, h.biBitCount);
        EXPECT_EQ(0u, h.biCompression + h.biSizeImage + h.biClrUsed + h.biClrImportant);
        EXPECT_EQ(0, h.biXPelsPerMeter | h.biYPelsPerMeter);
        EXPECT_EQ(image->block + 40 + 4 * c.tableEntries, image->xorBits);
        uint32_t rowBytes = ((c.width * c.colors + 31) >> 3) & ~3u;
        EXPECT_EQ(image->xorBits + rowBytes * c.height, image->andBits);
        for (uint8_t* p = image->xorBits; p < image->block + image->blockSize; ++p) ASSERT_EQ(0, *p);
        EXPECT_EQ(c.width, image->width);
        EXPECT_EQ(c.height, image->height);
        EXPECT_EQ(c.colors, image->colors);
    }
}

TEST(BitmapBlankImage, TablesComeFromBlackAndWhiteAndThePlatformPalettes) {
    EXPECT_EQ((std::vector<Rgb>{0x000000, 0xFFFFFF}), TableColours(BlankImage(8, 8, 1)->header));
    EXPECT_EQ(DefaultPaletteColours(), TableColours(BlankImage(8, 8, 4)->header));
    EXPECT_EQ(HalftoneColours(), TableColours(BlankImage(8, 8, 8)->header));
}

TEST(BitmapBlankImage, ReplacesAnExistingBlock) {
    ImagePtr image = BlankImage(32, 32, 32);
    image->width = 16;
    image->height = 16;
    image->colors = 4;
    ASSERT_TRUE(InitBlankImage(image.get()));
    EXPECT_EQ(296u, image->blockSize);
    EXPECT_EQ(32, image->header->biHeight);
}

TEST(BitmapBlankImage, RefusesFormatsItCannotLayOut) {
    const uint32_t formats[][3] = {{0, 16, 4}, {16, 0, 4}, {16, 16, 0}, {16, 16, 3}, {0x7FFFFFFF, 0x7FFFFFF, 32}};
    for (const auto& f : formats) {
        IconImage image = {f[0], f[1], f[2], nullptr, 0, nullptr, nullptr, nullptr};
        EXPECT_FALSE(InitBlankImage(&image));
        EXPECT_EQ(nullptr, image.block);
    }
    EXPECT_FALSE(InitBlankImage(nullptr));
}

// --- Colour tables ----------------------------------------------------------

struct HeaderWithTable {
    BITMAPINFOHEADER header;
    RGBQUAD table[256];
};

TEST(BitmapColorTable, CopiesASourceOfTheSameDepthAndNeverReadsPastItsTable) {
    HeaderWithTable source = {};
    source.header = {40, 1, 1, 1, 4, 0, 0, 0, 0, 2, 0};
    source.table[0] = {1, 2, 3, 0};
    source.table[1] = {4, 5, 6, 0};
    source.table[2] = {7, 7, 7, 0};  // beyond the source's two colours used
    HeaderWithTable target = {};
    target.header = {40, 1, 1, 1, 4, 0, 0, 0, 0, 0, 0};
    std::memset(target.table, 0xEE, sizeof target.table);
    ASSERT_TRUE(FillColorTable(&target.header, &source.header));
    EXPECT_EQ(RgbOf(3, 2, 1), RgbOf(target.table[0]));
    EXPECT_EQ(RgbOf(6, 5, 4), RgbOf(target.table[1]));
    for (int i = 2; i < 16; ++i) EXPECT_EQ(0u, RgbOf(target.table[i]));
    EXPECT_EQ(0xEE, target.table[16].rgbBlue);  // a 4-bit table has 16 entries

    source.header.biBitCount = 8;  // another depth: the platform's palette
    ASSERT_TRUE(FillColorTable(&target.header, &source.header));
    EXPECT_FALSE(FillColorTable(nullptr, &source.header));
    EXPECT_EQ(DefaultPaletteColours(), TableColours(&target.header));
}

// --- Capture ----------------------------------------------------------------

struct CopyCase {
    int bits, sx, sy;
};

TEST(BitmapCapture, SameSizeCopiesPixelsUnchangedFromTheSourceOrigin) {
    const CopyCase cases[] = {{32, 0, 0}, {24, 0, 0}, {32, 2, 1}, {24, 3, 4}};
    SourceDc source(MakeSourceBitmap(12, 10, Pattern));
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits from " << c.sx << "," << c.sy);
        DibPtr dib(CaptureDib(7, 5, c.bits, source.Get(), c.sx, c.sy, 7, 5));
        ASSERT_NE(nullptr, dib);
        EXPECT_EQ(40u, dib->biSize);
        EXPECT_EQ(7, dib->biWidth);
        EXPECT_EQ(5, dib->biHeight);
        EXPECT_EQ(c.bits, dib->biBitCount);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) ASSERT_EQ(Pattern(x + c.sx, y + c.sy), DibPixel(dib.get(), x, y)) << x << "," << y;
    }
}

TEST(BitmapCapture, ReducesColoursToTheTableAtPalettedDepths) {
    const std::vector<Rgb> standard = DefaultPaletteColours();
    const std::vector<Rgb> halftone = HalftoneColours();
    struct Case {
        int bits;
        std::function<Rgb(int, int)> colour;
    };
    const Case cases[] = {
        {1, [](int x, int y) { return (x + y) % 3 ? Rgb(0xFFFFFF) : Rgb(0); }},
        {4, [&](int x, int y) { return standard[(x + 3 * y) % 16]; }},
        {8, [&](int x, int y) { return halftone[(x * 37 + y * 11) % 256]; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        SourceDc source(MakeSourceBitmap(16, 16, c.colour));
        DibPtr dib(CaptureDib(16, 16, c.bits, source.Get(), 0, 0, 16, 16));
        ASSERT_NE(nullptr, dib);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) ASSERT_EQ(c.colour(x, y), DibPixel(dib.get(), x, y)) << x << "," << y;
    }
}

TEST(BitmapCapture, StretchDropsWholeRowsAndColumnsWithoutBlending) {
    SourceDc source(MakeSourceBitmap(48, 48, Pattern));
    DibPtr dib(CaptureDib(32, 32, 32, source.Get(), 0, 0, 48, 48));
    ASSERT_NE(nullptr, dib);
    std::vector<int> columns, rows;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            Rgb pixel = DibPixel(dib.get(), x, y);
            int sourceX = int(pixel >> 16) / 5, sourceY = int((pixel >> 8) & 0xFF) / 5;
            ASSERT_EQ(Pattern(sourceX, sourceY), pixel) << "blended at " << x << "," << y;
            if (y == 0) columns.push_back(sourceX);
            if (x == 0) rows.push_back(sourceY);
            ASSERT_EQ(columns[x], sourceX);
            ASSERT_EQ(rows[y], sourceY);
        }
    for (const std::vector<int>* kept : {&columns, &rows}) {
        for (size_t i = 1; i < kept->size(); ++i) {
            int step = (*kept)[i] - (*kept)[i - 1];
            EXPECT_TRUE(step == 1 || step == 2) << "step " << step << " at " << i;
        }
    }
}

TEST(BitmapCapture, IconImageWrapsTheDibWithAnOpaqueMask) {
    HBITMAP bitmap = MakeSourceBitmap(9, 6, Pattern);
    ImagePtr image(BitmapToIconImage(9, 6, 24, bitmap, 0, 0, 9, 6));
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(9u, image->width);
    EXPECT_EQ(6u, image->height);
    EXPECT_EQ(24u, image->colors);
    EXPECT_EQ(12, image->header->biHeight);
    EXPECT_EQ(40u + 28 * 6 + 4 * 6, image->blockSize);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x) ASSERT_EQ(Pattern(x, y), ImagePixel(image.get(), x, y));
    for (uint32_t i = 0; i < 4 * 6; ++i) ASSERT_EQ(0, image->andBits[i]);
    DeleteObject(bitmap);

    SourceDc source(MakeSourceBitmap(48, 48, Pattern));
    ImagePtr stretched(CaptureIconImage(16, 16, 8, source.Get(), 0, 0, 48, 48));
    ASSERT_NE(nullptr, stretched);
    EXPECT_EQ(40u + 1024 + 16 * 16 + 4 * 16, stretched->blockSize);
}

TEST(BitmapCapture, RefusesMissingSourcesAndImpossibleTargets) {
    struct Case {
        int width, height, bits;
        bool withSource;
        int code;
    };
    const Case cases[] = {{16, 16, 32, false, 10}, {0, 16, 32, true, 20}, {16, -1, 32, true, 20},
                          {16, 16, 7, true, 20},   {16, 16, 0, true, 20}, {0x10000, 0x10000, 32, true, 20}};
    SourceDc source(MakeSourceBitmap(4, 4, Pattern));
    for (const Case& c : cases) {
        IconLastError.code = 0;
        EXPECT_EQ(nullptr, CaptureDib(c.width, c.height, c.bits, c.withSource ? source.Get() : nullptr, 0, 0, 4, 4));
        EXPECT_EQ(c.code, IconLastError.code);
        EXPECT_EQ(nullptr, CaptureIconImage(c.width, c.height, c.bits, c.withSource ? source.Get() : nullptr, 0, 0, 4, 4));
    }
    EXPECT_EQ(nullptr, BitmapToDib(4, 4, 32, nullptr, 0, 0, 4, 4));
    EXPECT_EQ(10, IconLastError.code);
    EXPECT_STREQ(L"Error get source Bmp", IconLastError.message);
    EXPECT_EQ(nullptr, BitmapToIconImage(4, 4, 32, nullptr, 0, 0, 4, 4));
    EXPECT_EQ(10, IconLastError.code);
}

TEST(BitmapCapture, ImageFromDibRefusesADibOfAnotherSize) {
    SourceDc source(MakeSourceBitmap(8, 8, Pattern));
    DibPtr dib(CaptureDib(8, 8, 32, source.Get(), 0, 0, 8, 8));
    IconImage image = {8, 9, 32, nullptr, 0, nullptr, nullptr, nullptr};
    EXPECT_FALSE(ImageFromDib(&image, dib.get()));
    image.height = 8;
    image.width = 4;
    EXPECT_FALSE(ImageFromDib(&image, dib.get()));
    EXPECT_EQ(nullptr, image.block);
    image.width = 8;
    ASSERT_TRUE(ImageFromDib(&image, dib.get()));
    EXPECT_EQ(40u + 32 * 8 + 4 * 8, image.blockSize);
    std::free(image.block);
}

// --- Platform icons ---------------------------------------------------------

// Transparent pixels are black in the colour bitmap, as icons store them.
HICON MakeIcon(int size, int transparentX, int transparentY) {
    HBITMAP colour = MakeSourceBitmap(size, size, [&](int x, int y) {
        return x == transparentX && y == transparentY ? Rgb(0) : Pattern(x, y);
    });
    std::vector<uint8_t> maskBits(size_t(size) * 2 * size / 8, 0);  // 16-bit aligned rows of a 1-bit bitmap
    int maskRow = ((size + 15) / 16) * 2;
    maskBits[size_t(transparentY) * maskRow + transparentX / 8] |= uint8_t(0x80 >> (transparentX % 8));
    HBITMAP mask = CreateBitmap(size, size, 1, 1, maskBits.data());
    ICONINFO info = {TRUE, 0, 0, mask, colour};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    DeleteObject(colour);
    return icon;
}

// Drawn onto black, a transparent pixel shows black.
TEST(BitmapIconHandle, DrawsTheIconWithItsMaskPixelForPixel) {
    HICON icon = MakeIcon(16, 3, 2);
    ASSERT_NE(nullptr, icon);
    const int depths[][2] = {{0, 32}, {24, 24}, {32, 32}};
    for (const auto& depth : depths) {
        SCOPED_TRACE(depth[0]);
        ImagePtr image(IconHandleToImage(icon, depth[0]));
        ASSERT_NE(nullptr, image);
        EXPECT_EQ(16u, image->width);
        EXPECT_EQ(16u, image->height);
        EXPECT_EQ(uint32_t(depth[1]), image->colors);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(x == 3 && y == 2 ? 0u : Pattern(x, y), ImagePixel(image.get(), x, y)) << x << "," << y;
        for (uint32_t i = 0; i < MaskRowBytes(16) * 16; ++i) ASSERT_EQ(0, image->andBits[i]);
    }
    DestroyIcon(icon);
}

TEST(BitmapIconHandle, RefusesAMissingIcon) {
    IconLastError.code = 0;
    EXPECT_EQ(nullptr, IconHandleToImage(nullptr, 32));
    EXPECT_EQ(10, IconLastError.code);
    EXPECT_STREQ(L"Error GetIconInfo for Reading", IconLastError.message);
}

// --- .bmp files -------------------------------------------------------------

TEST(BitmapBmpFile, WriteThenReadGivesBackHeaderTableAndRows) {
    TempFolder folder;
    const uint32_t depths[] = {1, 4, 8, 24, 32};
    for (uint32_t bits : depths) {
        SCOPED_TRACE(bits);
        ImagePtr image = BlankImage(5, 3, bits);
        FillPattern(image.get());
        std::wstring path = folder.File(L"round.bmp");
        ASSERT_TRUE(WriteImageBmpFile(path.c_str(), image.get()));
        EXPECT_EQ(6, image->header->biHeight);

        uint32_t tableBytes = DibPaletteSize(image->header), rowBytes = DibRowBytes(image->header) * 3;
        Bytes file = ReadBytes(path);
        ASSERT_EQ(54 + tableBytes + rowBytes, file.size());
        EXPECT_EQ('B', file[0]);
        EXPECT_EQ('M', file[1]);
        EXPECT_EQ(file.size(), file[2] | (file[3] << 8));
        EXPECT_EQ(54 + tableBytes, uint32_t(file[10] | (file[11] << 8)));

        DibPtr dib(ReadBmpFile(path.c_str()));
        ASSERT_NE(nullptr, dib);
        BITMAPINFOHEADER expected = *image->header;
        expected.biHeight = 3;
        EXPECT_EQ(0, std::memcmp(&expected, dib.get(), 40));
        EXPECT_EQ(0, std::memcmp(image->block + 40, TableOf(dib.get()), tableBytes));
        EXPECT_EQ(0, std::memcmp(image->xorBits, DibBits(dib.get()), rowBytes));
    }
}

TEST(BitmapBmpFile, WriteBmpFileLeavesTheBlockAsItWasAlsoWhenItFails) {
    TempFolder folder;
    ImagePtr image = BlankImage(16, 16, 8);
    FillPattern(image.get());
    Bytes before(image->block, image->block + image->blockSize);
    std::wstring unwritable = folder.File(L"missing") + L"\\x.bmp";
    EXPECT_FALSE(WriteBmpFile(unwritable.c_str(), image->header));
    EXPECT_EQ(10, IconLastError.code);
    EXPECT_STREQ(L"Error opening file", IconLastError.message);
    std::wstring path = folder.File(L"block.bmp");
    ASSERT_TRUE(WriteBmpFile(path.c_str(), image->header));
    EXPECT_EQ(before, Bytes(image->block, image->block + image->blockSize));
}

// An image whose block is PNG data has no rows to write or copy.
ImagePtr PngImage() {
    static const uint8_t png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                  0, 0, 1, 0, 0, 0, 1, 0, 8, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    auto* image = static_cast<IconImage*>(std::calloc(1, sizeof(IconImage)));
    image->block = static_cast<uint8_t*>(std::malloc(sizeof png));
    std::memcpy(image->block, png, sizeof png);
    image->blockSize = sizeof png;
    LinkIconImage(image);
    return ImagePtr(image);
}

TEST(BitmapBmpFile, RefusesImagesWithoutBitmapRows) {
    TempFolder folder;
    std::wstring path = folder.File(L"png.bmp");
    ImagePtr png = PngImage();
    ASSERT_EQ(nullptr, png->header);
    IconImage* cases[] = {png.get(), nullptr};
    for (IconImage* image : cases) {
        IconLastError.code = 0;
        EXPECT_FALSE(WriteImageBmpFile(path.c_str(), image));
        EXPECT_EQ(40, IconLastError.code);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));
    }
    EXPECT_FALSE(WriteBmpFile(path.c_str(), nullptr));
    EXPECT_EQ(40, IconLastError.code);

    ImagePtr cut = BlankImage(16, 16, 8);
    cut->blockSize = 40 + 1024 + 16 * 16 - 1;  // claims fewer bytes than its rows need
    EXPECT_FALSE(WriteImageBmpFile(path.c_str(), cut.get()));
    EXPECT_EQ(40, IconLastError.code);
}

struct ReadCase {
    const char* name;
    int code;
    Bytes bytes;
};

Bytes With(Bytes bytes, size_t at, uint32_t value, int width = 4) {
    if (width == 2)
        PutU16(bytes, at, value);
    else
        PutU32(bytes, at, value);
    return bytes;
}

Bytes Cut(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

// An old-style file: a 12-byte core header after the file header.
Bytes CoreHeaderBmp() {
    Bytes bytes(14 + 12 + 6 + 4 * 8, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutU32(bytes, kFileSize, uint32_t(bytes.size()));
    PutU32(bytes, kRowOffset, 14 + 12 + 6);
    PutU32(bytes, kHeaderSize, 12);
    PutU16(bytes, 18, 2);
    PutU16(bytes, 20, 8);
    PutU16(bytes, 22, 1);
    PutU16(bytes, 24, 1);
    return bytes;
}

TEST(BitmapBmpFile, ReadRefusesDamagedAndUnsupportedFilesWithTheirStep) {
    const Bytes good = MakeBmp(3, 2, 8);
    const Bytes rgb = MakeBmp(5, 3, 24);
    const ReadCase cases[] = {
        {"short file header", 20, Cut(good, 10)},
        {"other letters", 30, With(good, kType, 'X' | ('M' << 8), 2)},
        {"reserved field", 30, With(good, kReserved1, 1, 2)},
        {"short bitmap header", 50, Cut(good, 14 + 20)},
        {"header size 12", 60, CoreHeaderBmp()},
        {"header size 124", 60, With(good, kHeaderSize, 124)},
        {"top-down rows", 30, With(good, kHeight, uint32_t(-2))},
        {"zero width", 30, With(good, kWidth, 0)},
        {"run-length rows", 30, With(good, kCompression, BI_RLE8)},
        {"bit fields", 30, With(rgb, kCompression, BI_BITFIELDS)},
        {"two planes", 30, With(good, kPlanes, 2, 2)},
        {"three bits", 30, With(good, kBitCount, 3, 2)},
        {"more colours than the depth has", 30, With(good, kColorsUsed, 257)},
        {"rows beyond 32 bits", 70, With(With(rgb, kWidth, 0x7FFFFFFF), kHeight, 0x7FFFFFFF)},
        {"rows over 2 GiB", 70, With(With(rgb, kWidth, 100000), kHeight, 100000)},
        {"table cut short", 80, Cut(good, kTable + 100)},
        {"row offset past the end", 90, With(good, kRowOffset, uint32_t(good.size() + 1))},
        {"row offset inside the header", 90, With(good, kRowOffset, 20)},
        {"row offset far away", 90, With(good, kRowOffset, 0xFFFFFFF0)},
        {"rows run past the end", 100, With(good, kRowOffset, uint32_t(good.size() - 4))},
        {"rows cut short", 100, Cut(good, good.size() - 1)},
        {"height larger than the file", 100, With(rgb, kHeight, 1000)},
    };
    TempFolder folder;
    std::wstring path = folder.File(L"damaged.bmp");
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path, c.bytes);
        IconLastError.code = 0;
        EXPECT_EQ(nullptr, ReadBmpFile(path.c_str()));
        EXPECT_EQ(c.code, IconLastError.code);
        // The file was closed: it can be opened without sharing again.
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, file);
        CloseHandle(file);
    }
    EXPECT_EQ(nullptr, ReadBmpFile(folder.File(L"absent.bmp").c_str()));
    EXPECT_EQ(10, IconLastError.code);
    EXPECT_STREQ(L"Error opening file", IconLastError.message);
}

TEST(BitmapBmpFile, ReadTakesRowsAfterTheTableWhenTheOffsetIsZero) {
    TempFolder folder;
    std::wstring path = folder.File(L"zero.bmp");
    const Bytes bytes = With(MakeBmp(3, 2, 4, 3), kRowOffset, 0);
    WriteBytes(path, bytes);
    DibPtr dib(ReadBmpFile(path.c_str()));
    ASSERT_NE(nullptr, dib);
    EXPECT_EQ(3, DibColorCount(dib.get()));
    EXPECT_EQ(0, std::memcmp(bytes.data() + 14, dib.get(), 40 + 12 + 8));
}

// --- Files of an independent writer --------------------------------------

Bytes Fixture(const wchar_t* name) {
    HRSRC found = FindResourceW(nullptr, name, L"BMPFIXTURE");
    EXPECT_NE(nullptr, found) << "fixture missing";
    if (!found) return {};
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
    return Bytes(data, data + SizeofResource(nullptr, found));
}

const Rgb kFive[3][5] = {{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF},
                         {0xFF00FF, 0xFFFFFF, 0x000000, 0x808080, 0xFF0000},
                         {0x0000FF, 0x00FF00, 0xFF0000, 0x000000, 0xFFFFFF}};
const char kMono[2][10] = {"010110001", "110010100"};

Rgb FiveColour(int x, int y) { return kFive[y][x]; }
Rgb MonoColour(int x, int y) { return kMono[y][x] == '1' ? 0xFFFFFF : 0; }
Rgb RampColour(int x, int y) {
    int i = y * 20 + x;
    return RgbOf(uint8_t(i * 6), uint8_t(255 - i * 6), uint8_t(i * 3));
}

TEST(BitmapBmpFile, ReadsFilesOfAnIndependentWriter) {
    struct Case {
        const wchar_t* name;
        int width, height, bits;
        Rgb (*colour)(int, int);
    };
    const Case cases[] = {{L"RGB24", 5, 3, 24, FiveColour},
                          {L"PAL4", 5, 3, 4, FiveColour},
                          {L"PAL8", 20, 2, 8, RampColour},
                          {L"MONO", 9, 2, 1, MonoColour}};
    TempFolder folder;
    std::wstring path = folder.File(L"fixture.bmp");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name);
        WriteBytes(path, Fixture(c.name));
        DibPtr dib(ReadBmpFile(path.c_str()));
        ASSERT_NE(nullptr, dib);
        EXPECT_EQ(c.width, dib->biWidth);
        EXPECT_EQ(c.height, dib->biHeight);
        EXPECT_EQ(c.bits, dib->biBitCount);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) EXPECT_EQ(c.colour(x, y), DibPixel(dib.get(), x, y)) << x << "," << y;

        IconImage image = {uint32_t(c.width), uint32_t(c.height), uint32_t(c.bits), nullptr, 0, nullptr, nullptr, nullptr};
        ASSERT_TRUE(ImageFromDib(&image, dib.get()));
        EXPECT_EQ(c.colour(c.width - 1, 0), ImagePixel(&image, c.width - 1, 0));
        std::free(image.block);
    }
    WriteBytes(path, Fixture(L"PAL8RLE"));
    EXPECT_EQ(nullptr, ReadBmpFile(path.c_str()));
    EXPECT_EQ(30, IconLastError.code);
    EXPECT_STREQ(L"Not a recognised BMP format file", IconLastError.message);
}

// Damaged files never crash the reader, and what it accepts lies inside the file.
TEST(BitmapBmpFile, MutatedFilesAreReadSafely) {
    const Bytes bases[] = {MakeBmp(5, 3, 8), MakeBmp(7, 4, 24), MakeBmp(9, 2, 1, 2), MakeBmp(3, 3, 4)};
    const size_t fields[] = {kFileSize, kRowOffset, kHeaderSize, kWidth, kHeight, kCompression, kImageSize, kColorsUsed};
    const uint32_t extremes[] = {0, 1, 2, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFF, 40, 54, 1000};
    std::mt19937 random(20261211);
    TempFolder folder;
    std::wstring path = folder.File(L"mutated.bmp");
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = bases[random() % 4];
        for (int changes = 1 + random() % 3; changes > 0; --changes) {
            switch (random() % 5) {
            case 0: bytes[random() % std::min<size_t>(bytes.size(), 70)] = uint8_t(random()); break;
            case 1: bytes[random() % bytes.size()] ^= uint8_t(1 << random() % 8); break;
            case 2: PutU32(bytes, fields[random() % 8], extremes[random() % 10]); break;
            case 3: PutU16(bytes, random() % 2 ? kPlanes : kBitCount, random() % 40); break;
            default: bytes.resize(random() % (bytes.size() + 1)); break;
            }
            if (bytes.size() < 56) bytes.resize(56, 0);  // keep the fields addressable for further changes
        }
        WriteBytes(path, bytes);
        DibPtr dib(ReadBmpFile(path.c_str()));
        if (!dib) continue;
        ++accepted;
        ASSERT_EQ(40u, dib->biSize);
        ASSERT_GT(dib->biWidth, 0);
        ASSERT_GT(dib->biHeight, 0);
        ASSERT_EQ(uint32_t(BI_RGB), dib->biCompression);
        uint64_t needed = 54 + uint64_t(DibPaletteSize(dib.get())) + uint64_t(DibRowBytes(dib.get())) * dib->biHeight;
        ASSERT_LE(needed, bytes.size()) << "accepted rows the file does not hold, round " << round;
    }
    EXPECT_GT(accepted, 100);
}

// --- Clipboard --------------------------------------------------------------

TEST(BitmapClipboard, HoldsTheColourImageAsDib) {
    const uint32_t depths[] = {4, 32};
    for (uint32_t bits : depths) {
        SCOPED_TRACE(bits);
        ImagePtr image = BlankImage(16, 16, bits);
        FillPattern(image.get());
        ASSERT_TRUE(CopyImageToClipboard(image.get()));
        EXPECT_EQ(32, image->header->biHeight);

        ASSERT_TRUE(OpenClipboard(nullptr));
        HANDLE data = GetClipboardData(CF_DIB);
        ASSERT_NE(nullptr, data);
        auto* dib = static_cast<BITMAPINFOHEADER*>(GlobalLock(data));
        ASSERT_NE(nullptr, dib);
        ASSERT_GE(GlobalSize(data), SIZE_T(40 + DibPaletteSize(image->header) + DibRowBytes(image->header) * 16));
        BITMAPINFOHEADER expected = *image->header;
        expected.biHeight = 16;
        EXPECT_EQ(0, std::memcmp(&expected, dib, 40));
        EXPECT_EQ(0, std::memcmp(image->block + 40, TableOf(dib), DibPaletteSize(image->header)));
        EXPECT_EQ(0, std::memcmp(image->xorBits, DibBits(dib), DibRowBytes(image->header) * 16));
        GlobalUnlock(data);
        CloseClipboard();
    }
}

TEST(BitmapClipboard, RefusesImagesWithoutBitmapRows) {
    ImagePtr png = PngImage();
    EXPECT_FALSE(CopyImageToClipboard(png.get()));
    EXPECT_FALSE(CopyImageToClipboard(nullptr));
}

// --- Mask bits --------------------------------------------------------------

TEST(BitmapMask, BitsCountFromTheTopLeftInBottomUpRows) {
    struct Case {
        int x, y;
        size_t byte;
        uint8_t bit;
    };
    const Case cases[] = {{0, 0, 31 * 4, 0x80}, {9, 0, 31 * 4 + 1, 0x40}, {31, 31, 3, 0x01}, {8, 30, 4 + 1, 0x80}};
    for (const Case& c : cases) {
        uint8_t mask[4 * 32] = {};
        SetMaskBit(mask, 32, 32, c.x, c.y, true);
        for (size_t i = 0; i < sizeof mask; ++i) ASSERT_EQ(i == c.byte ? c.bit : 0, mask[i]) << c.x << "," << c.y;
        std::memset(mask, 0xFF, sizeof mask);
        SetMaskBit(mask, 32, 32, c.x, c.y, false);
        for (size_t i = 0; i < sizeof mask; ++i) ASSERT_EQ(i == c.byte ? uint8_t(~c.bit) : 0xFF, mask[i]);
    }
}

TEST(BitmapMask, IgnoresPixelsOutsideTheImage) {
    const int outside[][2] = {{-1, 0}, {0, -1}, {32, 0}, {0, 32}};
    uint8_t mask[4 * 32] = {};
    for (const auto& p : outside) SetMaskBit(mask, 32, 32, p[0], p[1], true);
    for (uint8_t byte : mask) ASSERT_EQ(0, byte);
}

}  // namespace
