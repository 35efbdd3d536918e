// Registration of common-control window classes on first need, once per thread.
#include "core/Util.h"

#include <commctrl.h>

namespace kx {
namespace Util {

namespace {

struct FlagClasses {
    int flag;
    DWORD classes;
};

// The standard set (0x10) covers every flag of kStandardFlags.
const FlagClasses kFlagClasses[] = {
    {DeferStandard, 0xFF},
    {0x40, ICC_UPDOWN_CLASS},
    {0x80, ICC_TREEVIEW_CLASSES},
    {0x100, ICC_TAB_CLASSES},
    {0x200, ICC_PROGRESS_CLASS},
    {0x400, ICC_LISTVIEW_CLASSES},
    {0x800, ICC_HOTKEY_CLASS},
    {0x1000, ICC_BAR_CLASSES},
    {0x2000, ICC_ANIMATE_CLASS},
    {0x4000, ICC_INTERNET_CLASSES},
    {0x8000, ICC_COOL_CLASSES},
    {0x10000, ICC_USEREX_CLASSES},
    {0x20000, ICC_DATE_CLASSES},
    {0x40000, ICC_LINK_CLASS},
};

thread_local DeferRegisterState tState;

typedef BOOL(WINAPI *InitExProc)(const INITCOMMONCONTROLSEX *);
typedef void(WINAPI *InitProc)();

bool AskPlatform(InitExProc initEx, DWORD classes) {
    INITCOMMONCONTROLSEX icc;
    icc.dwSize = 8;
    icc.dwICC = classes;
    ++tState.platformRequests;
    return initEx(&icc) != FALSE;
}

int RegisterWithEx(InitExProc initEx, int flags) {
    int worked = 0;
    if (flags & DeferStandard) {
        if (AskPlatform(initEx, 0xFF))
            worked |= DeferStandard | kStandardFlags;
        flags &= ~(DeferStandard | kStandardFlags);
    }
    for (const FlagClasses &entry : kFlagClasses) {
        if (entry.flag != DeferStandard && (flags & entry.flag) && AskPlatform(initEx, entry.classes))
            worked |= entry.flag;
    }
    return worked;
}

int RegisterWithOlder(InitProc init, int flags) {
    if ((flags & (DeferStandard | kStandardFlags)) == 0 || init == nullptr)
        return 0;
    ++tState.platformRequests;
    init();
    return DeferStandard | kStandardFlags;
}

} // namespace

const DeferRegisterState &GetDeferRegisterState() {
    return tState;
}

bool KX_DeferRegisterClass(int flags) {
    // A flag that failed once on this thread keeps failing without being asked again.
    bool failedBefore = (flags & tState.failedFlags) != 0;
    int remaining = flags & ~tState.handledFlags;
    if (remaining == 0)
        return !failedBefore;
    if (tState.commonControls == nullptr) {
        tState.commonControls = LoadLibraryW(L"COMCTL32.DLL");
        if (tState.commonControls == nullptr)
            return false;
    }
    FARPROC initEx = GetProcAddress(tState.commonControls, "InitCommonControlsEx");
    int worked;
    if (initEx != nullptr) {
        worked = RegisterWithEx(reinterpret_cast<InitExProc>(reinterpret_cast<void *>(initEx)), remaining);
    } else {
        FARPROC init = GetProcAddress(tState.commonControls, "InitCommonControls");
        worked = RegisterWithOlder(reinterpret_cast<InitProc>(reinterpret_cast<void *>(init)), remaining);
    }
    tState.handledFlags |= worked;
    if ((tState.handledFlags & kStandardFlags) == kStandardFlags)
        tState.handledFlags |= DeferStandard;
    tState.failedFlags |= remaining & ~worked & ~tState.handledFlags;
    tState.handledFlags |= remaining;
    return !failedBefore && (remaining & ~worked) == 0;
}

} // namespace Util
} // namespace kx
