// Pictures to icon images and back: blank images, copies of drawing surfaces,
// bitmaps and platform icons, .bmp files, and the clipboard.
// A DIB here is one malloc allocation (header, colour table, bottom-up rows, no
// mask) owned by whoever receives it and released with FreeDib.
#pragma once

#include "icon/IconResource.h"

#include <cstdint>

// Fills the table after target by target's bit count: black and white at 1 bit,
// the source's own table when it has target's depth (4 or 8 bits), otherwise
// the platform's default (4) or halftone (8) palette. Other depths: untouched.
bool FillColorTable(BITMAPINFOHEADER* target, const BITMAPINFOHEADER* source);

// Gives an image whose width, height and colors are set an all-black, fully
// opaque block of its own.
bool InitBlankImage(IconImage* image);

// Replaces the image's block by the DIB's header, table and rows with an all
// opaque mask. The DIB must have the image's width and height.
bool ImageFromDib(IconImage* image, const BITMAPINFOHEADER* dib);

// Copies (sw, sh equal to width, height) or stretches, dropping whole rows and
// columns, the rectangle (sx, sy, sw, sh) of source into a new DIB of
// width x height at bits per pixel.
BITMAPINFOHEADER* CaptureDib(int width, int height, int bits, HDC source, int sx, int sy, int sw, int sh);
IconImage* CaptureIconImage(int width, int height, int bits, HDC source, int sx, int sy, int sw, int sh);
BITMAPINFOHEADER* BitmapToDib(int width, int height, int bits, HBITMAP source, int sx, int sy, int sw, int sh);
IconImage* BitmapToIconImage(int width, int height, int bits, HBITMAP source, int sx, int sy, int sw, int sh);

// The icon drawn with its mask onto black, as an opaque image; bits 0 keeps
// the icon's own depth.
IconImage* IconHandleToImage(HICON icon, int bits);

// Reads an uncompressed bottom-up .bmp with a 40-byte header into a new DIB.
BITMAPINFOHEADER* ReadBmpFile(const wchar_t* path);

// Writes the colour image of an icon image block (header height twice the
// image height) as a .bmp file; the block is unchanged afterwards.
bool WriteBmpFile(const wchar_t* path, BITMAPINFOHEADER* blockHeader);
bool WriteImageBmpFile(const wchar_t* path, IconImage* image);

// Puts the image's colour picture on the clipboard as CF_DIB.
bool CopyImageToClipboard(const IconImage* image);

// Sets or clears the mask bit of pixel (x, y), counted from the top-left.
void SetMaskBit(uint8_t* mask, int width, int height, int x, int y, bool set);

// Releases a DIB returned by this library and empties the handle.
bool FreeDib(BITMAPINFOHEADER** handle);
