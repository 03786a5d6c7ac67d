// Where the shell puts things on the handheld's screen: the title strip at
// the top, the soft-key bar at the bottom, a full-screen dialog between.
#pragma once

#include <windows.h>

namespace shell {

const int kTitleHeight = 26;
const int kMenuBarHeight = 26;

inline RECT Screen()
{
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

inline RECT TitleArea()
{
    RECT screen = Screen();
    return {0, 0, screen.right, kTitleHeight};
}

inline RECT MenuBarArea()
{
    RECT screen = Screen();
    return {0, screen.bottom - kMenuBarHeight, screen.right, screen.bottom};
}

inline RECT WorkArea()
{
    RECT screen = Screen();
    return {0, kTitleHeight, screen.right, screen.bottom - kMenuBarHeight};
}

// Raises or lowers the input panel.
void SetInputPanelUp(bool up);

// Registers a window class of the stand-in's once; later calls find it.
void RegisterShellClass(LPCWSTR name, WNDPROC procedure, UINT style, HBRUSH background);

}
