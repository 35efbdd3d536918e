// Screen and window helpers: keeping a rectangle on screen, foreground, menu window, dotted lines.
#include "core/Util.h"

#include <cmath>

namespace kx {
namespace Util {

namespace {

// Complements between these greys would vanish on a mid-grey surface.
const COLORREF kGreyLow = RGB(110, 110, 110);   // 7,237,230
const COLORREF kGreyHigh = RGB(140, 140, 140);  // 9,211,020
const long kMaxDotVisits = 1L << 24;

COLORREF VisibleComplement(COLORREF under) {
    COLORREF complement = RGB(255 - GetRValue(under), 255 - GetGValue(under), 255 - GetBValue(under));
    if (complement > kGreyLow && complement < kGreyHigh)
        return RGB(255, 255, 255);
    return complement;
}

} // namespace

void ClampToScreen(int &x, int &y, int &width, int &height, int minWidth, int minHeight) {
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (width > screenWidth)
        width = screenWidth;
    if (height > screenHeight)
        height = screenHeight;
    if (width < minWidth)
        width = minWidth;
    if (height < minHeight)
        height = minHeight;
    if (x < 0)
        x = 0;
    else if (x >= screenWidth)
        x = screenWidth - 20;
    if (y < 0)
        y = 0;
    else if (y >= screenHeight)
        y = screenHeight - 10;
}

void BringToFront(HWND window) {
    if (window == nullptr || !IsWindow(window))
        return;
    DWORD ownThread = GetCurrentThreadId();
    HWND foreground = GetForegroundWindow();
    DWORD foregroundThread = foreground != nullptr ? GetWindowThreadProcessId(foreground, nullptr) : 0;
    bool attached = foregroundThread != 0 && foregroundThread != ownThread &&
                    AttachThreadInput(ownThread, foregroundThread, TRUE) != FALSE;
    SetForegroundWindow(window);
    if (attached)
        AttachThreadInput(ownThread, foregroundThread, FALSE);
    BringWindowToTop(window);
}

HWND FindPopupMenuWindow() {
    return FindWindowW(L"#32768", nullptr);
}

void DrawDotLine(HDC surface, int x, int y, int xEnd, int yEnd, double xStep, double yStep,
                 COLORREF colour, bool invert) {
    if (surface == nullptr)
        return;
    // Without a forward step the line would never end: it is a single dot. Steps too small
    // to move on are bounded by a fixed number of visits.
    bool single = !(xStep > 0) && !(yStep > 0);
    double fx = x;
    double fy = y;
    bool drawn = false;
    int lastX = 0;
    int lastY = 0;
    for (long visits = 0; fx <= xEnd && fy <= yEnd && visits < kMaxDotVisits; ++visits) {
        int px = static_cast<int>(std::floor(fx));
        int py = static_cast<int>(std::floor(fy));
        if (!drawn || px != lastX || py != lastY) {
            COLORREF pixel = colour;
            if (invert) {
                COLORREF under = GetPixel(surface, px, py);
                pixel = under == CLR_INVALID ? CLR_INVALID : VisibleComplement(under);
            }
            if (pixel != CLR_INVALID)
                SetPixel(surface, px, py, pixel);
            drawn = true;
            lastX = px;
            lastY = py;
        }
        if (single)
            break;
        fx += xStep;
        fy += yStep;
    }
}

} // namespace Util
} // namespace kx
