// Icon groups held as resources of executable modules, turned into icons.
#pragma once

#include "icon/IconResource.h"

// groupName is a text name or "#" and the decimal id; the caller keeps the
// module open across groups and closes it.
IconResource* LoadIconGroup(HMODULE module, const wchar_t* groupName);
