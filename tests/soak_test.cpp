// A long session: thousands of Applies and hundreds of dialogs leave
// handles, windows and GDI objects where the first cycle left them, and
// memory stops growing.
#include "applet_module.h"
#include "keyboard_dialog.h"
#include "resource.h"
#include "support/dialog_session.h"
#include "support/handheld.h"
#include "support/process_measures.h"

#include <aygshell.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

struct Reading {
    int handles;
    int windows;
    int gdiObjects;
    SIZE_T memory;
};

Reading Read()
{
    return {handheld::CountLiveHandles(), measures::Windows(), measures::GdiObjects(),
            measures::PagefileUsage()};
}

// The second half of a run may add no more than this: Wine's heaps and
// caches settle in steps of a page or two.
const SIZE_T kMemorySlack = 64 * 1024;

void ExpectNoLeak(const Reading& first, const Reading& half, const Reading& last)
{
    EXPECT_EQ(first.handles, last.handles) << "handles";
    EXPECT_EQ(first.windows, last.windows) << "windows";
    EXPECT_EQ(first.gdiObjects, last.gdiObjects) << "GDI objects";
    EXPECT_LE(last.memory, half.memory + kMemorySlack)
        << "memory grew by " << (last.memory - half.memory) << " bytes in the second half, "
        << "after " << (half.memory - first.memory) << " in the first";
}

// Makes one of each thing the measures count, checks that its measure
// sees it, and frees it again.
void LeakOneOfEach(const Reading& before, bool check)
{
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (check) {
        EXPECT_EQ(before.handles + 1, handheld::CountLiveHandles());
    }
    CloseHandle(event);

    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  nullptr, nullptr);
    if (check) {
        EXPECT_EQ(before.windows + 1, measures::Windows());
    }
    DestroyWindow(window);

    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    if (check) {
        EXPECT_EQ(before.gdiObjects + 1, measures::GdiObjects());
    }
    DeleteObject(pen);

    const SIZE_T kBlock = 1 << 20;
    void* block = VirtualAlloc(nullptr, kBlock, MEM_COMMIT, PAGE_READWRITE);
    std::memset(block, 1, kBlock);
    if (check) {
        EXPECT_GE(measures::PagefileUsage(), before.memory + kBlock);
    }
    VirtualFree(block, 0, MEM_RELEASE);
}

TEST(Measures, EachSeesADeliberateLeak)
{
    // The first of each kind brings helpers with it (a thread's helper
    // window, handles of the libraries behind it): let them come first.
    HWND anchor = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  nullptr, nullptr);
    LeakOneOfEach(Read(), false);

    Reading before = Read();
    ASSERT_GT(before.gdiObjects, 0) << "no GDI handle table in the PEB";
    LeakOneOfEach(before, true);
    Reading after = Read();
    EXPECT_EQ(before.handles, after.handles);
    EXPECT_EQ(before.windows, after.windows);
    EXPECT_EQ(before.gdiObjects, after.gdiObjects);
    DestroyWindow(anchor);
}

// Runs `cycle` the given number of times and checks that nothing the
// measures count outlives the first cycle, nor memory the first half.
void ExpectCyclesLeakNothing(int cycles, const std::function<void(int)>& cycle)
{
    Reading first, half;
    for (int i = 1; i <= cycles; ++i) {
        cycle(i);
        if (i == 1)
            first = Read();
        if (i == cycles / 2)
            half = Read();
    }
    ExpectNoLeak(first, half, Read());
}

// Both runs drive the dialog from its own thread: a message sent across
// threads costs Wine about 2 ms, twenty times an Apply.
TEST(Soak, TenThousandAppliesLeakNothing)
{
    SHInitExtraControls();
    HWND dialog = CreateDialogIndirectParamW(g_hInstance, dialog_session::KeyboardTemplate(),
                                             nullptr, KeyboardDlgProc, 0);
    ASSERT_TRUE(dialog);
    ExpectCyclesLeakNothing(10000, [dialog](int cycle) {
        SendDlgItemMessageW(dialog, IDC_KEYLIGHT, BM_SETCHECK, cycle % 2, 0);
        dialog_session::Command(dialog, IDM_APPLY);
    });
    DestroyWindow(dialog);

    EXPECT_EQ(0u, handheld::ReadDword(L"KeyLight"));
    handheld::DeleteSettingsKey();
}

// Ends each dialog as soon as it is shown, from within its modal loop.
LRESULT CALLBACK CloseOnActivate(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE)
        PostMessageW(reinterpret_cast<HWND>(wParam), WM_COMMAND, IDOK, 0);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(Soak, FiveHundredDialogsLeakNothing)
{
    SHInitExtraControls();
    HHOOK hook = SetWindowsHookExW(WH_CBT, CloseOnActivate, nullptr, GetCurrentThreadId());
    ExpectCyclesLeakNothing(500, [](int) {
        EXPECT_EQ(0, DialogBoxIndirectParamW(g_hInstance, dialog_session::KeyboardTemplate(),
                                             nullptr, KeyboardDlgProc, 0));
    });
    UnhookWindowsHookEx(hook);
}

}
