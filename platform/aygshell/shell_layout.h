// Where the shell puts things on the handheld's screen: the title strip at
// the top, the soft-key bar at the bottom, the input panel just above the
// bar, a full-screen dialog between strip and bar. Sizes are the shell's
// at 96 dots per inch, scaled to the screen's.
#pragma once

#include <windows.h>

namespace shell {

const int kTitleHeight = 26;
const int kMenuBarHeight = 26;
const int kInputPanelHeight = 80;

inline int Dpi()
{
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

inline int Scale(int pixels)
{
    return MulDiv(pixels, Dpi(), 96);
}

inline RECT Screen()
{
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

inline RECT TitleArea()
{
    RECT screen = Screen();
    return {0, 0, screen.right, Scale(kTitleHeight)};
}

inline RECT MenuBarArea()
{
    RECT screen = Screen();
    return {0, screen.bottom - Scale(kMenuBarHeight), screen.right, screen.bottom};
}

inline RECT WorkArea()
{
    RECT screen = Screen();
    return {0, Scale(kTitleHeight), screen.right, screen.bottom - Scale(kMenuBarHeight)};
}

inline RECT InputPanelArea()
{
    RECT bar = MenuBarArea();
    return {0, bar.top - Scale(kInputPanelHeight), bar.right, bar.top};
}

// The shell's text, 8 points as the dialogs' own, at the screen's size.
HFONT Font();

// Registers a window class of the stand-in's once; later calls find it.
void RegisterShellClass(LPCWSTR name, WNDPROC procedure, UINT style, HBRUSH background);

}
