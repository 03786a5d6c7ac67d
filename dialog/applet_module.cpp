#include "applet_module.h"

#include "resource.h"

HINSTANCE g_hInstance;

BOOL LoadKeyboardTitle(KeyboardTitle* title)
{
    const int length = sizeof title->text / sizeof title->text[0];
    return LoadStringW(g_hInstance, IDS_KEYBOARD_TITLE, title->text, length) != 0;
}
