// Display names of shortcut key codes (virtual key in the low byte, modifier bits above).
#include "core/Util.h"

#include <cstdio>
#include <cwchar>

namespace kx {
namespace Util {

namespace {

enum KeyFamily { Ins = 1, Del = 2, Bksp = 4, Digit = 8, Letter = 16, Function = 32 };

struct ModifierRow {
    int bits;
    const wchar_t *prefix;
    int families;
};

const ModifierRow kModifierRows[] = {
    {0, L"", Ins | Del | Function},
    {ShortcutCtrl, L"Ctrl+", Ins | Del | Digit | Letter | Function},
    {ShortcutAlt, L"Alt+", Bksp | Digit | Function},
    {ShortcutShift, L"Shift+", Ins | Del | Function},
    {ShortcutCtrl | ShortcutShift, L"Ctrl+Shift+", Digit | Letter | Function},
};

// Writes the key's own name into out (at least 4 units) and returns its family, or 0.
int KeyName(int key, wchar_t *out) {
    if (key == VK_INSERT) {
        wcscpy(out, L"Ins");
        return Ins;
    }
    if (key == VK_DELETE) {
        wcscpy(out, L"Del");
        return Del;
    }
    if (key == VK_BACK) {
        wcscpy(out, L"Bksp");
        return Bksp;
    }
    if (key >= '0' && key <= '9') {
        out[0] = static_cast<wchar_t>(key);
        out[1] = 0;
        return Digit;
    }
    if (key >= 'A' && key <= 'Z') {
        out[0] = static_cast<wchar_t>(key);
        out[1] = 0;
        return Letter;
    }
    if (key >= VK_F1 && key <= VK_F12) {
        _snwprintf(out, 4, L"F%d", key - VK_F1 + 1);
        out[3] = 0;
        return Function;
    }
    return 0;
}

} // namespace

Str GetShortcutName(int code) {
    if (code < 0 || (code & ~(0xFF | ShortcutCtrl | ShortcutAlt | ShortcutShift)) != 0)
        return Str();
    int modifiers = code & (ShortcutCtrl | ShortcutAlt | ShortcutShift);
    wchar_t key[8];
    int family = KeyName(code & 0xFF, key);
    if (family == 0)
        return Str();
    for (const ModifierRow &row : kModifierRows) {
        if (row.bits != modifiers)
            continue;
        if ((row.families & family) == 0)
            return Str();
        Str name(row.prefix);
        name.Append(key);
        return name;
    }
    return Str();
}

} // namespace Util
} // namespace kx
