// The in-memory multi-image icon, the .ico file reader and writer, and the
// bitmap-layout helpers every icon routine relies on.
// Records, blocks and stand-alone images are malloc allocations released with
// free: whoever fills a block or builds an image allocates it that way.
#pragma once

#include "core/Platform.h"

#include <cstdint>

// One image: its block holds header, colour table, colour rows and mask rows
// (or PNG data, in which case the three views are null).
struct IconImage {
    uint32_t width;
    uint32_t height;
    uint32_t colors;
    uint8_t* block;
    uint32_t blockSize;
    BITMAPINFOHEADER* header;
    uint8_t* xorBits;
    uint8_t* andBits;
};

// One allocation sized for exactly imageCount inline image records.
struct IconResource {
    BOOL changed;
    wchar_t sourceFileName[260];
    wchar_t name[128];
    uint32_t imageCount;
    IconImage images[1];
};

struct IconError {
    const wchar_t* message;
    int code;
};

extern IconError IconLastError;

IconResource* ReadIconFile(const wchar_t* path);
bool WriteIconFile(IconResource* icon, const wchar_t* path);
bool AddIconImage(IconResource** handle, const IconImage* image);
IconResource* MakeIconResource(const IconImage* image);
bool RemoveIconImage(IconResource** handle, int index);
bool HasIconFormat(const IconResource* icon, const IconImage* image);
bool CopyIconResource(IconResource** handle, const IconResource* source);
bool FreeIconResource(IconResource** handle);
bool FreeIconImage(IconImage** handle);
bool LinkIconImage(IconImage* image);
HICON MakeIconHandle(const IconImage* image);

uint16_t DibColorCount(const BITMAPINFOHEADER* header);
uint16_t DibPaletteSize(const BITMAPINFOHEADER* header);
uint32_t DibRowBytes(const BITMAPINFOHEADER* header);
uint8_t* DibBits(BITMAPINFOHEADER* header);
uint32_t MaskRowBytes(uint32_t width);
