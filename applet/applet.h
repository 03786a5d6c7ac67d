#ifndef APPLET_H
#define APPLET_H

#include <windows.h>

/* The module's instance handle, set at process attach; every resource of
 * the applet is loaded from it. */
extern HINSTANCE g_hInstance;

#endif
