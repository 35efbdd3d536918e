#include "core/ResourceNames.h"

#include <cstdint>
#include <exception>

namespace kx {
namespace Util {
namespace {

// The list being filled while the platform enumerates; empty otherwise.
Map<Str, Str> *listingTarget = nullptr;
// An exception cannot pass through the platform's frames; it waits here.
std::exception_ptr listingFailure;

BOOL CALLBACK AddResourceName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR) {
    if (!listingTarget)
        return FALSE;
    try {
        if (IS_INTRESOURCE(name)) {
            Str key;
            key.Format(L"#%d", int(uint16_t(reinterpret_cast<ULONG_PTR>(name))));
            listingTarget->Add(key, Str(L"#"));
        } else {
            listingTarget->Add(Str(name), Str(L""));
        }
    } catch (...) {
        listingFailure = std::current_exception();
        return FALSE;
    }
    return TRUE;
}

} // namespace

int EnumResourceNames(Map<Str, Str> &list, const wchar_t *type, HMODULE module) {
    listingTarget = &list;
    listingFailure = nullptr;
    EnumResourceNamesW(module, type, AddResourceName, 0);
    listingTarget = nullptr;
    if (listingFailure) {
        std::exception_ptr failure = listingFailure;
        listingFailure = nullptr;
        std::rethrow_exception(failure);
    }
    return list.GetCount();
}

} // namespace Util
} // namespace kx
