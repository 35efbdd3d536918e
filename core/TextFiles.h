// Reading text files and program resources into kx::Str whatever their byte-order
// mark, writing texts back to files, and one-value lookups in .ini text.
#pragma once

#include "core/Str.h"

namespace kx {

// Code page of UTF-16 big-endian text, as a byte-order mark reports it.
const int UnicodeBigEndianCodePage = 1201;
const int Utf8CodePage = 65001;

// Fills output with the file's text in output's code page. A mark (FF FE, FE FF,
// EF BB BF) decides the text's code page, otherwise codePage does. At most maxBytes
// bytes are read (all when maxBytes <= 0). Returns the bytes read without the mark,
// -1 when the file is missing or cannot be read.
int ReadTextFile(Str &output, const wchar_t *path, int codePage, int maxBytes = 0);

// Writes the text's units, preceded by the mark of its code page when the file is
// empty. Replacing goes through a file beside the target, so a failed write leaves
// the previous file in place. True when everything was written.
bool WriteTextFile(const Str &text, const wchar_t *path, bool append = false);

// The value of key in [section] read straight from the file's text; null when the
// file cannot be read or the section or the key is missing.
Str ReadIniValue(const wchar_t *section, const wchar_t *key, const wchar_t *path, int codePage,
                 bool forceWide = true);

namespace Util {
// Fills output with a resource of the program module as ReadTextFile does with a
// file; -1 (and a WARN line) when the resource is missing.
int readRes(Str &output, const wchar_t *name, const wchar_t *type, int codePage);
} // namespace Util

} // namespace kx
