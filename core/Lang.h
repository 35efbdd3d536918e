// Language texts: looking a text up by key, the user's locale name, and the options
// page's language list and choice. Choosing and loading a language is Config's
// (LoadLang, LoadLangByName, GetLang, GetDefaultLangName in core/Config.h).
#pragma once

#include "core/Platform.h"
#include "core/Str.h"

namespace kx {
namespace Lang {

// Resource type of the built-in language texts.
extern const wchar_t *const ResourceType;
// Settings key of the chosen language, and its value for the built-in default.
extern const wchar_t *const ChoiceKey;
extern const wchar_t *const DefaultChoice;

// The text of a key of the language store. The key may be given with or without its
// "Lang." prefix ("Lang.U_NoSaveTo" or "U_NoSaveTo"); a missing key gives the full key
// followed by "[NOFOUND]".
Str Text(const wchar_t *key);
// The text used as a printf-style wide format with the arguments.
Str Format(const wchar_t *key, ...);

// The user's locale as language code, "-", country code ("ja-JP"); only the language
// code when the country is unavailable; null when even that is.
Str GetUserLocaleName();

// Fills a combo box (its handle) with the built-in languages and/or the language files
// ("<LangName>:<file name>"), selecting the current choice; returns the number of items.
int FillLanguageList(HWND combo, bool withResources, bool withFiles);
// Stores the selected item of the combo box as the language choice: a file item's file
// name, or the whole item. False, and nothing stored, when nothing is selected or the
// result is empty.
bool ApplyLanguageChoice(HWND combo);

} // namespace Lang
} // namespace kx
