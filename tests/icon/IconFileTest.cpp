#include "icon/IconResource.h"
#include "IconTestData.h"

#include <gtest/gtest.h>

#include <random>

using namespace icontest;

namespace {

struct LayoutCase {
    uint32_t width;
    uint16_t bits;
    uint32_t colorsUsed;
    uint16_t colorCount;
    uint32_t rowBytes;
    uint32_t maskRowBytes;
};

TEST(IconLayout, FunctionsFollowTheHeader) {
    const LayoutCase cases[] = {
        {16, 1, 0, 2, 4, 4},        {16, 4, 0, 16, 8, 4},    {32, 8, 0, 256, 32, 4},   {3, 24, 0, 0, 12, 4},
        {256, 32, 0, 0, 1024, 32},  {33, 1, 0, 2, 8, 8},     {48, 4, 5, 5, 24, 8},     {1, 16, 0, 0, 4, 4},
        {17, 24, 300, 300, 52, 4},
    };
    for (const LayoutCase& c : cases) {
        BITMAPINFOHEADER header = {};
        header.biSize = 40;
        header.biWidth = LONG(c.width);
        header.biHeight = LONG(c.width * 2);
        header.biPlanes = 1;
        header.biBitCount = c.bits;
        header.biClrUsed = c.colorsUsed;
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.bits);
        EXPECT_EQ(c.colorCount, DibColorCount(&header));
        EXPECT_EQ(c.colorCount * 4, DibPaletteSize(&header));
        EXPECT_EQ(c.rowBytes, DibRowBytes(&header));
        EXPECT_EQ(c.maskRowBytes, MaskRowBytes(c.width));
        EXPECT_EQ(reinterpret_cast<uint8_t*>(&header) + 40 + c.colorCount * 4, DibBits(&header));
    }
}

TEST(IconLayout, PlanesMultiplyTheRowAndTheColorDepth) {
    Bytes block = BitmapBlock(16, 16, 8);
    PutU16(block, 12, 2);
    PutU16(block, 14, 4);
    IconImage image = ImageOf(block);
    EXPECT_EQ(16u, DibRowBytes(image.header));
    EXPECT_EQ(8u, image.colors);
}

struct LinkCase {
    const char* what;
    Bytes block;
    uint32_t width, height, colors;
    size_t xorOffset, andOffset;
};

TEST(IconLink, ViewsAndFormatComeFromTheBlock) {
    const LinkCase cases[] = {
        {"1 bit", BitmapBlock(16, 16, 1), 16, 16, 1, 48, 48 + 64},
        {"4 bits", BitmapBlock(32, 32, 4), 32, 32, 4, 104, 104 + 512},
        {"8 bits", BitmapBlock(48, 48, 8), 48, 48, 8, 1064, 1064 + 48 * 48},
        {"24 bits", BitmapBlock(5, 3, 24), 5, 3, 24, 40, 40 + 3 * 16},
        {"32 bits", BitmapBlock(256, 256, 32), 256, 256, 32, 40, 40 + 256 * 1024},
        {"PNG RGBA", PngBlock(256, 256), 256, 256, 32, 0, 0},
        {"PNG RGB", PngBlock(20, 10, 8, 2), 20, 10, 24, 0, 0},
        {"PNG palette", PngBlock(48, 48, 4, 3), 48, 48, 4, 0, 0},
        {"PNG grey 16", PngBlock(2, 3, 16, 0), 2, 3, 16, 0, 0},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes block = c.block;
        IconImage image = {};
        image.block = block.data();
        image.blockSize = uint32_t(block.size());
        ASSERT_TRUE(LinkIconImage(&image));
        EXPECT_EQ(c.width, image.width);
        EXPECT_EQ(c.height, image.height);
        EXPECT_EQ(c.colors, image.colors);
        if (c.xorOffset == 0) {
            EXPECT_EQ(nullptr, image.header);
            EXPECT_EQ(nullptr, image.xorBits);
            EXPECT_EQ(nullptr, image.andBits);
        } else {
            EXPECT_EQ(block.data(), reinterpret_cast<uint8_t*>(image.header));
            EXPECT_EQ(block.data() + c.xorOffset, image.xorBits);
            EXPECT_EQ(block.data() + c.andOffset, image.andBits);
        }
    }
    EXPECT_FALSE(LinkIconImage(nullptr));
}

// A block must hold everything its header implies; anything less is refused
// and leaves no view pointing into or past it.
TEST(IconLink, BlocksThatCannotHoldTheirImageAreRefused) {
    Bytes good = BitmapBlock(32, 32, 4);
    auto with = [&](size_t at, uint32_t value, bool wide) {
        Bytes b = good;
        if (wide) PutU32(b, at, value); else PutU16(b, at, value);
        return b;
    };
    Bytes png = PngBlock(16, 16);
    Bytes badIhdr = png;
    badIhdr[12] = 'X';
    Bytes badDepth = png;
    badDepth[24] = 7;
    const struct {
        const char* what;
        Bytes block;
    } cases[] = {
        {"no bytes", {}},
        {"shorter than a header", Bytes(good.begin(), good.begin() + 39)},
        {"mask cut by one byte", Bytes(good.begin(), good.end() - 1)},
        {"header size 39", with(0, 39, true)},
        {"header size past the block", with(0, uint32_t(good.size()) + 1, true)},
        {"width 0", with(4, 0, true)},
        {"negative width", with(4, 0xFFFFFFF0, true)},
        {"height 1", with(8, 1, true)},
        {"negative height", with(8, 0xFFFFFFC0, true)},
        {"huge width", with(4, 0x7FFFFFFF, true)},
        {"huge height", with(8, 0x7FFFFFFE, true)},
        {"planes 0", with(12, 0, false)},
        {"bit count 3", with(14, 3, false)},
        {"bit count 0xFFFF", with(14, 0xFFFF, false)},
        {"compressed", with(16, 1, true)},
        {"colour table past the block", with(32, 4000, true)},
        {"colours used beyond 16 bits", with(32, 0x10000, true)},
        {"PNG signature only", Bytes(png.begin(), png.begin() + 8)},
        {"PNG cut inside IHDR", Bytes(png.begin(), png.begin() + 30)},
        {"PNG without IHDR first", badIhdr},
        {"PNG with depth 7", badDepth},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        GuardedPages pages(good.size() + 16);
        IconImage image = {};
        image.block = pages.Place(c.block);
        image.blockSize = uint32_t(c.block.size());
        image.header = reinterpret_cast<BITMAPINFOHEADER*>(image.block);
        EXPECT_FALSE(LinkIconImage(&image));
        EXPECT_EQ(nullptr, image.header);
        EXPECT_EQ(nullptr, image.xorBits);
        EXPECT_EQ(nullptr, image.andBits);
        EXPECT_EQ(nullptr, MakeIconHandle(&image));
    }
}

IconResource* ReadBack(const ScratchFolder& folder, const Bytes& file) {
    std::wstring path = folder.Path(L"in.ico");
    EXPECT_TRUE(WriteBytes(path, file));
    return ReadIconFile(path.c_str());
}

TEST(IconWrite, DirectoryIsBuiltFromTheBlocks) {
    Bytes blocks[] = {BitmapBlock(16, 16, 1), BitmapBlock(16, 16, 4), BitmapBlock(32, 32, 4)};
    ASSERT_EQ(176u, blocks[0].size());
    ASSERT_EQ(296u, blocks[1].size());
    ASSERT_EQ(744u, blocks[2].size());
    IconHolder held;
    for (Bytes& block : blocks) {
        IconImage image = ImageOf(block);
        ASSERT_TRUE(AddIconImage(&held.icon, &image));
    }
    ScratchFolder folder;
    std::wstring path = folder.Path(L"three.ico");
    ASSERT_TRUE(WriteIconFile(held.icon, path.c_str()));
    Bytes file = ReadBytes(path);
    ASSERT_EQ(6u + 48 + 176 + 296 + 744, file.size());
    EXPECT_EQ((Bytes{0, 0, 1, 0, 3, 0}), Bytes(file.begin(), file.begin() + 6));
    const uint8_t expected[3][16] = {
        {16, 16, 2, 0, 1, 0, 1, 0, 176, 0, 0, 0, 54, 0, 0, 0},
        {16, 16, 16, 0, 1, 0, 4, 0, 0x28, 1, 0, 0, 230, 0, 0, 0},
        {32, 32, 16, 0, 1, 0, 4, 0, 0xE8, 2, 0, 0, 0x0E, 2, 0, 0},
    };
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Bytes(expected[i], expected[i] + 16), Bytes(file.begin() + 6 + 16 * i, file.begin() + 22 + 16 * i))
            << "entry " << i;
    EXPECT_EQ(blocks[2], Bytes(file.begin() + 526, file.end()));
}

TEST(IconWrite, EntryBytesFollowSizeAndDepth) {
    const struct {
        Bytes block;
        uint8_t width, height, colorCount, bitCount;
    } cases[] = {
        {BitmapBlock(16, 16, 1), 16, 16, 2, 1},      {BitmapBlock(24, 24, 4), 24, 24, 16, 4},
        {BitmapBlock(32, 32, 8), 32, 32, 0, 8},      {BitmapBlock(16, 16, 16), 16, 16, 0, 16},
        {BitmapBlock(48, 48, 24), 48, 48, 0, 24},    {BitmapBlock(256, 256, 32), 0, 0, 0, 32},
        {BitmapBlock(20, 40, 32), 20, 40, 0, 32},    {PngBlock(256, 256), 0, 0, 0, 32},
        {PngBlock(64, 32, 8, 2), 64, 32, 0, 24},
    };
    ScratchFolder folder;
    std::wstring path = folder.Path(L"one.ico");
    for (const auto& c : cases) {
        Bytes block = c.block;
        IconImage image = ImageOf(block);
        IconHolder held(MakeIconResource(&image));
        ASSERT_NE(nullptr, held.icon);
        ASSERT_TRUE(WriteIconFile(held.icon, path.c_str()));
        Bytes file = ReadBytes(path);
        ASSERT_EQ(22 + block.size(), file.size());
        SCOPED_TRACE(testing::Message() << image.width << "x" << image.height << "x" << image.colors);
        EXPECT_EQ(c.width, file[6]);
        EXPECT_EQ(c.height, file[7]);
        EXPECT_EQ(c.colorCount, file[8]);
        EXPECT_EQ(0, file[9]);
        EXPECT_EQ(1, GetU16(file, 10));
        EXPECT_EQ(c.bitCount, GetU16(file, 12));
        EXPECT_EQ(block.size(), GetU32(file, 14));
        EXPECT_EQ(22u, GetU32(file, 18));
    }
}

TEST(IconWrite, ImageSizeIsZeroOnDiskAndKeptInMemory) {
    Bytes bitmap = BitmapBlock(16, 16, 4);
    PutU32(bitmap, 20, 1234);
    Bytes png = PngBlock(256, 256);
    IconImage images[] = {ImageOf(bitmap), ImageOf(png)};
    IconHolder held;
    for (IconImage& image : images) ASSERT_TRUE(AddIconImage(&held.icon, &image));
    ScratchFolder folder;
    std::wstring path = folder.Path(L"sizes.ico");
    ASSERT_TRUE(WriteIconFile(held.icon, path.c_str()));
    Bytes file = ReadBytes(path);
    size_t bitmapAt = 6 + 32, pngAt = bitmapAt + bitmap.size();
    EXPECT_EQ(0u, GetU32(file, bitmapAt + 20));
    Bytes expectedBitmap = bitmap;
    PutU32(expectedBitmap, 20, 0);
    EXPECT_EQ(expectedBitmap, Bytes(file.begin() + bitmapAt, file.begin() + pngAt));
    EXPECT_EQ(png, Bytes(file.begin() + pngAt, file.end()));
    EXPECT_EQ(1234u, held.icon->images[0].header->biSizeImage);
    EXPECT_EQ(0, memcmp(held.icon->images[1].block, png.data(), png.size()));
}

TEST(IconWrite, FailuresAreReported) {
    ScratchFolder folder;
    Bytes block = BitmapBlock(16, 16, 1);
    IconImage image = ImageOf(block);
    IconHolder held(MakeIconResource(&image));
    IconLastError = {L"", 0};
    EXPECT_FALSE(WriteIconFile(held.icon, folder.Path(L"missing\\x.ico").c_str()));
    EXPECT_EQ(10, IconLastError.code);
    EXPECT_STREQ(L"Error Opening File for Writing", IconLastError.message);
    IconLastError = {L"", 0};
    EXPECT_FALSE(WriteIconFile(nullptr, folder.Path(L"none.ico").c_str()));
    EXPECT_EQ(20, IconLastError.code);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.Path(L"none.ico").c_str()));
    // An image that lost its block cannot be written, and nothing reads through it.
    uint8_t* kept = held.icon->images[0].block;
    held.icon->images[0].block = nullptr;
    EXPECT_FALSE(WriteIconFile(held.icon, folder.Path(L"lost.ico").c_str()));
    held.icon->images[0].block = kept;
}

TEST(IconWrite, ReplacesAnExistingFile) {
    ScratchFolder folder;
    std::wstring path = folder.Path(L"old.ico");
    ASSERT_TRUE(WriteBytes(path, Bytes(5000, 0xAB)));
    Bytes block = BitmapBlock(16, 16, 1);
    IconImage image = ImageOf(block);
    IconHolder held(MakeIconResource(&image));
    ASSERT_TRUE(WriteIconFile(held.icon, path.c_str()));
    EXPECT_EQ(22 + block.size(), ReadBytes(path).size());
}

TEST(IconRead, ReadsWhatWasWrittenWithTheSameBlocks) {
    Bytes blocks[] = {BitmapBlock(16, 16, 1, 1), BitmapBlock(32, 32, 8, 2), PngBlock(256, 256), BitmapBlock(48, 48, 32, 3)};
    PutU32(blocks[1], 20, 32 * 32 + 128);
    IconHolder held;
    for (Bytes& block : blocks) {
        IconImage image = ImageOf(block);
        ASSERT_TRUE(AddIconImage(&held.icon, &image));
    }
    ScratchFolder folder;
    std::wstring path = folder.Path(L"round.ico");
    ASSERT_TRUE(WriteIconFile(held.icon, path.c_str()));
    IconHolder read(ReadIconFile(path.c_str()));
    ASSERT_NE(nullptr, read.icon);
    EXPECT_FALSE(read.icon->changed);
    EXPECT_STREQ(path.c_str(), read.icon->sourceFileName);
    EXPECT_STREQ(L"", read.icon->name);
    ASSERT_EQ(4u, read.icon->imageCount);
    for (uint32_t i = 0; i < 4; ++i) {
        const IconImage& a = held.icon->images[i];
        const IconImage& b = read.icon->images[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(a.width, b.width);
        EXPECT_EQ(a.height, b.height);
        EXPECT_EQ(a.colors, b.colors);
        ASSERT_EQ(a.blockSize, b.blockSize);
        Bytes expected(a.block, a.block + a.blockSize);
        if (a.header) PutU32(expected, 20, 0);
        EXPECT_EQ(expected, Bytes(b.block, b.block + b.blockSize));
    }
}

TEST(IconRead, BlockHeaderWinsOverTheDirectory) {
    Bytes file = IcoFile({BitmapBlock(32, 32, 4)});
    file[6] = 48; file[7] = 16; file[8] = 0; PutU16(file, 10, 3); PutU16(file, 12, 8);
    ScratchFolder folder;
    IconHolder read(ReadBack(folder, file));
    ASSERT_NE(nullptr, read.icon);
    EXPECT_EQ(32u, read.icon->images[0].width);
    EXPECT_EQ(32u, read.icon->images[0].height);
    EXPECT_EQ(4u, read.icon->images[0].colors);
}

TEST(IconRead, CountZeroIsAnIconWithoutImages) {
    ScratchFolder folder;
    IconHolder read(ReadBack(folder, IcoFile({})));
    ASSERT_NE(nullptr, read.icon);
    EXPECT_EQ(0u, read.icon->imageCount);
}

TEST(IconRead, DamagedFilesFailWithTheirStep) {
    Bytes good = IcoFile({BitmapBlock(16, 16, 1), BitmapBlock(16, 16, 4)});
    auto patched = [&](size_t at, uint32_t value, int width) {
        Bytes b = good;
        if (width == 1) b[at] = uint8_t(value);
        else if (width == 2) PutU16(b, at, value);
        else PutU32(b, at, value);
        return b;
    };
    auto cut = [&](size_t size) { return Bytes(good.begin(), good.begin() + size); };
    Bytes zeroBlock = IcoFile({BitmapBlock(16, 16, 1), {}});
    const struct {
        const char* what;
        Bytes file;
        int code;
    } cases[] = {
        {"cursor", patched(2, 2, 2), 30},
        {"reserved 1", patched(0, 1, 2), 30},
        {"type 0", patched(2, 0, 2), 30},
        {"empty file", {}, 30},
        {"header of 5 bytes", cut(5), 30},
        {"count beyond the directory, into a block", patched(4, 3, 2), 130},
        {"count beyond the file", patched(4, 40, 2), 70},
        {"count 0xFFFF", patched(4, 0xFFFF, 2), 70},
        {"directory cut", cut(20), 70},
        {"block past the end", cut(good.size() - 1), 130},
        {"offset past the end", patched(6 + 16 + 12, 0x7FFFFFF0, 4), 130},
        {"offset and size wrapping", patched(6 + 8, 0xFFFFFFFF, 4), 130},
        {"size past the end", patched(6 + 8, 100000, 4), 130},
        {"block shorter than its header", patched(6 + 8, 30, 4), 140},
        {"block shorter than its rows", patched(6 + 8, 175, 4), 140},
        {"zero-size block", zeroBlock, 140},
    };
    ScratchFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        IconLastError = {L"", 0};
        IconHolder read(ReadBack(folder, c.file));
        EXPECT_EQ(nullptr, read.icon);
        EXPECT_EQ(c.code, IconLastError.code);
        const wchar_t* message = c.code == 30 ? L"Error Reading File Header"
                               : c.code == 140 ? L"Error Converting to Internal Format" : L"Error Reading File";
        EXPECT_STREQ(message, IconLastError.message);
        // The file was closed: it can be opened without sharing again.
        HANDLE again = CreateFileW(folder.Path(L"in.ico").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, again);
        CloseHandle(again);
    }
}

TEST(IconRead, MissingOrLockedFileFailsToOpen) {
    ScratchFolder folder;
    IconLastError = {L"", 0};
    EXPECT_EQ(nullptr, ReadIconFile(folder.Path(L"absent.ico").c_str()));
    EXPECT_EQ(10, IconLastError.code);
    EXPECT_STREQ(L"Error Opening File for Reading", IconLastError.message);
    std::wstring path = folder.Path(L"locked.ico");
    ASSERT_TRUE(WriteBytes(path, IcoFile({BitmapBlock(16, 16, 1)})));
    HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    IconLastError = {L"", 0};
    EXPECT_EQ(nullptr, ReadIconFile(path.c_str()));
    EXPECT_EQ(10, IconLastError.code);
    CloseHandle(lock);
}

TEST(IconRead, LongPathIsCutToTheField) {
    ScratchFolder folder;
    std::wstring path = L"\\\\?\\" + folder.Path(std::wstring(200, L'n'));
    CreateDirectoryW(path.c_str(), nullptr);
    path += L"\\" + std::wstring(100, L'f') + L".ico";
    ASSERT_TRUE(WriteBytes(path, IcoFile({BitmapBlock(16, 16, 1)})));
    IconHolder read(ReadIconFile(path.c_str()));
    ASSERT_NE(nullptr, read.icon);
    EXPECT_EQ(259u, wcslen(read.icon->sourceFileName));
    EXPECT_EQ(0, wcsncmp(path.c_str(), read.icon->sourceFileName, 259));
    DeleteFileW(path.c_str());
    RemoveDirectoryW(path.substr(0, path.rfind(L'\\')).c_str());
}

TEST(IconEdit, AddAppendsAndRefusesAFormatAlreadyPresent) {
    Bytes b4 = BitmapBlock(32, 32, 4), b8 = BitmapBlock(32, 32, 8), other8 = BitmapBlock(32, 32, 8, 9);
    IconImage i4 = ImageOf(b4), i8 = ImageOf(b8), o8 = ImageOf(other8);
    IconHolder held(MakeIconResource(&i4));
    ASSERT_NE(nullptr, held.icon);
    EXPECT_TRUE(held.icon->changed);
    EXPECT_NE(b4.data(), held.icon->images[0].block);
    EXPECT_FALSE(HasIconFormat(held.icon, &i8));
    ASSERT_TRUE(AddIconImage(&held.icon, &i8));
    EXPECT_TRUE(HasIconFormat(held.icon, &o8));
    EXPECT_EQ(2u, held.icon->imageCount);
    EXPECT_EQ(8u, held.icon->images[1].colors);
    EXPECT_EQ(held.icon->images[1].block + 40 + 1024, held.icon->images[1].xorBits);

    held.icon->changed = FALSE;
    IconResource* before = held.icon;
    IconLastError = {L"", 0};
    EXPECT_FALSE(AddIconImage(&held.icon, &o8));
    EXPECT_EQ(20, IconLastError.code);
    EXPECT_STREQ(L"That format already exists - format not added", IconLastError.message);
    EXPECT_EQ(before, held.icon);
    EXPECT_FALSE(held.icon->changed);
    EXPECT_EQ(2u, held.icon->imageCount);

    IconLastError = {L"", 0};
    EXPECT_FALSE(AddIconImage(&held.icon, nullptr));
    EXPECT_EQ(10, IconLastError.code);
    EXPECT_STREQ(L"Error Get Icon Image", IconLastError.message);
    EXPECT_FALSE(HasIconFormat(nullptr, &i4));
}

TEST(IconEdit, AddKeepsNamesAndRefusesAnUnusableBlock) {
    Bytes block = BitmapBlock(16, 16, 4), other = BitmapBlock(32, 32, 4);
    IconImage image = ImageOf(block), second = ImageOf(other);
    IconHolder held(MakeIconResource(&image));
    wcscpy(held.icon->name, L"shell32(3)");
    wcscpy(held.icon->sourceFileName, L"C:\\a.ico");
    ASSERT_TRUE(AddIconImage(&held.icon, &second));
    EXPECT_STREQ(L"shell32(3)", held.icon->name);
    EXPECT_STREQ(L"C:\\a.ico", held.icon->sourceFileName);
    Bytes broken(block.begin(), block.begin() + 100);
    IconImage bad = {48, 48, 4, broken.data(), uint32_t(broken.size()), nullptr, nullptr, nullptr};
    IconResource* before = held.icon;
    EXPECT_FALSE(AddIconImage(&held.icon, &bad));
    EXPECT_EQ(10, IconLastError.code);
    IconImage noBlock = {48, 48, 4, nullptr, 744, nullptr, nullptr, nullptr};
    EXPECT_FALSE(AddIconImage(&held.icon, &noBlock));
    EXPECT_EQ(before, held.icon);
}

TEST(IconEdit, RemoveTakesOutOneImage) {
    Bytes blocks[] = {BitmapBlock(16, 16, 1), BitmapBlock(16, 16, 4), BitmapBlock(32, 32, 4)};
    IconHolder held;
    for (Bytes& block : blocks) {
        IconImage image = ImageOf(block);
        AddIconImage(&held.icon, &image);
    }
    held.icon->changed = FALSE;
    for (int index : {-1, 3, 100}) {
        IconLastError = {L"", 0};
        EXPECT_FALSE(RemoveIconImage(&held.icon, index));
        EXPECT_EQ(10, IconLastError.code);
        EXPECT_STREQ(L"Index is Error", IconLastError.message);
        EXPECT_FALSE(held.icon->changed);
    }
    ASSERT_TRUE(RemoveIconImage(&held.icon, 1));
    EXPECT_TRUE(held.icon->changed);
    ASSERT_EQ(2u, held.icon->imageCount);
    EXPECT_EQ(1u, held.icon->images[0].colors);
    EXPECT_EQ(32u, held.icon->images[1].width);
    ASSERT_TRUE(RemoveIconImage(&held.icon, 1));
    ASSERT_TRUE(RemoveIconImage(&held.icon, 0));
    EXPECT_EQ(0u, held.icon->imageCount);
    EXPECT_FALSE(RemoveIconImage(&held.icon, 0));
    IconResource* none = nullptr;
    EXPECT_FALSE(RemoveIconImage(&none, 0));
}

TEST(IconEdit, CopySharesNothingWithItsSource) {
    Bytes a = BitmapBlock(16, 16, 4), b = PngBlock(256, 256);
    IconImage ia = ImageOf(a), ib = ImageOf(b);
    IconHolder source(MakeIconResource(&ia));
    AddIconImage(&source.icon, &ib);
    wcscpy(source.icon->name, L"copied");
    IconHolder copy;
    Bytes other = BitmapBlock(48, 48, 8);
    IconImage io = ImageOf(other);
    copy.icon = MakeIconResource(&io);
    ASSERT_TRUE(CopyIconResource(&copy.icon, source.icon));
    ASSERT_EQ(2u, copy.icon->imageCount);
    EXPECT_STREQ(L"copied", copy.icon->name);
    EXPECT_EQ(source.icon->changed, copy.icon->changed);
    for (uint32_t i = 0; i < 2; ++i) {
        const IconImage& s = source.icon->images[i];
        const IconImage& c = copy.icon->images[i];
        EXPECT_NE(s.block, c.block);
        EXPECT_EQ(0, memcmp(s.block, c.block, s.blockSize));
        EXPECT_EQ(s.colors, c.colors);
    }
    EXPECT_EQ(copy.icon->images[0].block + 40 + 64, copy.icon->images[0].xorBits);
    ASSERT_TRUE(FreeIconResource(&copy.icon));
    EXPECT_EQ(nullptr, copy.icon);
    EXPECT_EQ(0, memcmp(source.icon->images[0].block, a.data(), a.size()));

    // Copying onto the very record the handle holds must not lose it.
    IconResource* same = source.icon;
    ASSERT_TRUE(CopyIconResource(&source.icon, same));
    EXPECT_EQ(2u, source.icon->imageCount);
    EXPECT_EQ(0, memcmp(source.icon->images[1].block, b.data(), b.size()));

    IconLastError = {L"", 0};
    EXPECT_FALSE(CopyIconResource(&copy.icon, nullptr));
    EXPECT_EQ(10, IconLastError.code);
    EXPECT_STREQ(L"Error Get Icon Resource", IconLastError.message);
}

TEST(IconEdit, FreeingEmptiesTheHandle) {
    IconResource* icon = nullptr;
    IconLastError = {L"", 0};
    EXPECT_FALSE(FreeIconResource(&icon));
    EXPECT_EQ(10, IconLastError.code);
    EXPECT_STREQ(L"Icon Resource is NULL", IconLastError.message);
    IconImage* image = nullptr;
    EXPECT_FALSE(FreeIconImage(&image));
    EXPECT_STREQ(L"Icon Image is NULL", IconLastError.message);
    Bytes block = BitmapBlock(16, 16, 1);
    image = static_cast<IconImage*>(malloc(sizeof(IconImage)));
    *image = {};
    image->block = static_cast<uint8_t*>(malloc(block.size()));
    memcpy(image->block, block.data(), block.size());
    image->blockSize = uint32_t(block.size());
    ASSERT_TRUE(LinkIconImage(image));
    IconLastError = {L"kept", 77};
    EXPECT_TRUE(FreeIconImage(&image));
    EXPECT_EQ(nullptr, image);
    EXPECT_EQ(77, IconLastError.code);
}

TEST(IconHandle, ShowsBitmapAndPngImages) {
    const Bytes blocks[] = {BitmapBlock(16, 16, 1), BitmapBlock(32, 32, 4), BitmapBlock(48, 48, 8),
                            BitmapBlock(24, 24, 24), BitmapBlock(32, 32, 32), PngBlock(256, 256), PngBlock(48, 48)};
    for (const Bytes& original : blocks) {
        Bytes block = original;
        IconImage image = ImageOf(block);
        SCOPED_TRACE(testing::Message() << image.width << "x" << image.colors);
        HICON icon = MakeIconHandle(&image);
        ASSERT_NE(nullptr, icon);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP mask = {};
        GetObjectW(info.hbmMask, sizeof mask, &mask);
        EXPECT_EQ(LONG(image.width), mask.bmWidth);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
    EXPECT_EQ(nullptr, MakeIconHandle(nullptr));
    IconImage empty = {};
    EXPECT_EQ(nullptr, MakeIconHandle(&empty));
}

// Damaged files, a few thousand of them from a fixed seed, are read without
// fault; what reads is checked to stay inside its blocks and is used as the
// rest of the system would use it.
TEST(IconMutation, DamagedFilesNeverReachOutsideTheirBlocks) {
    const Bytes blocks[] = {BitmapBlock(16, 16, 1), BitmapBlock(16, 16, 8), PngBlock(32, 32)};
    const Bytes original = IcoFile({blocks[0], blocks[1], blocks[2]});
    const size_t hot = 6 + 48 + 48;
    std::mt19937 random(20261211);
    ScratchFolder folder;
    std::wstring in = folder.Path(L"in.ico"), out = folder.Path(L"out.ico");
    GuardedPages pages(original.size() + 4096);
    int read = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes file = original;
        int changes = 1 + random() % 6;
        for (int k = 0; k < changes; ++k) {
            size_t at = random() % 2 ? random() % hot : random() % file.size();
            file[at] = random() % 4 == 0 ? uint8_t(random() % 3 == 0 ? 0 : 0xFF) : uint8_t(random());
        }
        if (random() % 8 == 0) file.resize(random() % file.size());
        ASSERT_TRUE(WriteBytes(in, file));
        IconHolder icon(ReadIconFile(in.c_str()));
        if (!icon.icon) continue;
        ++read;
        for (uint32_t i = 0; i < icon.icon->imageCount; ++i) {
            IconImage image = icon.icon->images[i];
            image.block = pages.Place(image.block, image.blockSize);
            ASSERT_TRUE(LinkIconImage(&image));
            if (image.header) {
                volatile uint8_t sum = 0;
                size_t end = (image.andBits - image.block) + size_t(MaskRowBytes(image.width)) * image.height;
                ASSERT_LE(end, image.blockSize);
                for (size_t k = 0; k < end; ++k) sum = sum + image.block[k];
            }
            HICON handle = MakeIconHandle(&image);
            if (handle) DestroyIcon(handle);
        }
        ASSERT_TRUE(WriteIconFile(icon.icon, out.c_str()));
    }
    EXPECT_GT(read, 100);
}

} // namespace
