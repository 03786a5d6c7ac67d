/*
 * The handheld shell library's calls the applet uses, declared from the
 * platform's documentation: the mingw headers do not have them. Included by
 * C++03 applet code and by the C++17 stand-in alike.
 */
#ifndef AYGSHELL_H
#define AYGSHELL_H

#include <stddef.h>
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SHIDIM_FLAGS 0x0001

#define SHIDIF_DONEBUTTON          0x0001
#define SHIDIF_SIZEDLG             0x0002
#define SHIDIF_SIZEDLGFULLSCREEN   0x0004
#define SHIDIF_SIPDOWN             0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010
#define SHIDIF_EMPTYMENU           0x0020

typedef struct tagSHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
} SHINITDLGINFO, *PSHINITDLGINFO;

#define SHCMBF_EMPTYBAR      0x0001
#define SHCMBF_HIDDEN        0x0002
#define SHCMBF_HIDESIPBUTTON 0x0004
#define SHCMBF_COLORBK       0x0008
#define SHCMBF_HMENU         0x0010

typedef struct tagSHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;
    COLORREF clrBk;
} SHMENUBARINFO, *PSHMENUBARINFO;

/* The ARM image fills these and the shell on the host reads them, in one
 * address space: both compilers must lay them out word by word alike. */
typedef char SHINITDLGINFO_IsThreeWords[
    sizeof(SHINITDLGINFO) == 12 && offsetof(SHINITDLGINFO, dwFlags) == 8 ? 1 : -1];
typedef char SHMENUBARINFO_IsNineWords[
    sizeof(SHMENUBARINFO) == 36 && offsetof(SHMENUBARINFO, hInstRes) == 16 &&
    offsetof(SHMENUBARINFO, hwndMB) == 28 && offsetof(SHMENUBARINFO, clrBk) == 32 ? 1 : -1];

typedef enum {
    SIP_UP = 0,
    SIP_DOWN,
    SIP_FORCEDOWN,
    SIP_UNCHANGED,
    SIP_INPUTDIALOG
} SIPSTATE;

BOOL WINAPI SHInitExtraControls(void);
BOOL WINAPI SHInitDialog(PSHINITDLGINFO pshidi);
BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* pmbi);
BOOL WINAPI SHSipPreference(HWND hwnd, SIPSTATE st);

#ifdef __cplusplus
}
#endif

#endif
