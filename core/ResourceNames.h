// Listing the names of one resource type of a module, in the module's own order.
#pragma once

#include "core/Platform.h"
#include "core/Containers.h"
#include "core/Str.h"

namespace kx {
namespace Util {

// Appends every name of the type in the module to list: a text name as key with an
// empty value, a numeric id as key "#<id>" with the value "#". Returns the list's
// count afterwards. One listing at a time: the platform's callback has no context.
int EnumResourceNames(Map<Str, Str> &list, const wchar_t *type, HMODULE module);

} // namespace Util
} // namespace kx
