#include "dialog_session.h"
#include "handheld.h"
#include "waiting.h"

#include "applet_module.h"
#include "keyboard_dialog.h"
#include "resource.h"

#include <aygshell.h>

#include <atomic>
#include <thread>

namespace {

// The applet's resources are linked into the test program itself, so the
// program's module stands in for the applet's, set as process attach would.
struct TestModuleAsApplet {
    TestModuleAsApplet() { g_hInstance = GetModuleHandleW(nullptr); }
} g_testModuleAsApplet;

// One modal dialog of the opening thread. The helper gives up on it, or
// the dialog is made, in either order; whichever comes second cancels it.
struct Session {
    std::atomic<HWND> dialog{nullptr};
    std::atomic<bool> abandoned{false};
    std::atomic<bool> openReturned{false};
};

thread_local Session* t_session = nullptr;

// A dialog that does not end on Cancel has failed; a few seconds tell.
const int kCancelPatienceMs = 3000;

void Cancel(HWND dialog)
{
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

// Runs on the opening thread as each of its windows is made.
LRESULT CALLBACK WatchDialogCreation(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_CREATEWND && t_session && !t_session->dialog &&
        handheld::IsDialog(window)) {
        t_session->dialog = window;
        if (t_session->abandoned)
            Cancel(window);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

const UINT kRun = WM_APP;

LRESULT CALLBACK RunWork(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kRun)
        return DefWindowProcW(window, message, wParam, lParam);
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 0;
}

}

namespace dialog_session {

OnThisThread::OnThisThread()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = RunWork;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TestOnThisThread";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                              nullptr, windowClass.hInstance, nullptr);
}

OnThisThread::~OnThisThread()
{
    DestroyWindow(window_);
}

void OnThisThread::Run(const std::function<void()>& work) const
{
    SendMessageW(window_, kRun, 0, reinterpret_cast<LPARAM>(&work));
}

LPCDLGTEMPLATEW KeyboardTemplate()
{
    HRSRC found = FindResourceW(g_hInstance, MAKEINTRESOURCEW(IDD_KEYBOARD), RT_DIALOG);
    return static_cast<LPCDLGTEMPLATEW>(LoadResource(g_hInstance, found));
}

INT_PTR WhileShown(const std::function<INT_PTR()>& open,
                   const std::function<void(HWND dialog)>& script)
{
    Session session;
    std::thread user([&] {
        testing::AssertionResult shown = handheld::Eventually("the dialog shows", [&] {
            HWND dialog = session.dialog;
            return (dialog && IsWindowVisible(dialog)) || session.openReturned;
        });
        HWND dialog = session.dialog;
        if (!shown || !dialog || !IsWindowVisible(dialog)) {
            ADD_FAILURE() << (shown ? "the dialog ended before it showed" : shown.message());
            session.abandoned = true;
            if (HWND made = session.dialog)
                Cancel(made);
            return;
        }
        script(dialog);
        if (!IsWindow(dialog))
            return;
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        testing::AssertionResult ended = handheld::Eventually(
            "the dialog left open ends on Cancel", [dialog] { return !IsWindow(dialog); },
            kCancelPatienceMs);
        if (!ended) {
            // Ended all the same, so that the next test meets no window.
            ADD_FAILURE() << ended.message();
            EndDialog(dialog, IDCANCEL);
        }
    });
    t_session = &session;
    HHOOK hook = SetWindowsHookExW(WH_CBT, WatchDialogCreation, nullptr, GetCurrentThreadId());
    INT_PTR result = open();
    session.openReturned = true;
    UnhookWindowsHookEx(hook);
    t_session = nullptr;
    user.join();
    return result;
}

INT_PTR Run(const std::function<void(HWND dialog)>& script)
{
    SHInitExtraControls();
    return WhileShown(
        [] {
            return DialogBoxIndirectParamW(g_hInstance, KeyboardTemplate(), nullptr,
                                           KeyboardDlgProc, 0);
        },
        script);
}

testing::AssertionResult Ends(HWND dialog)
{
    return handheld::Eventually("the dialog ends", [dialog] { return !IsWindow(dialog); });
}

HWND FocusOf(HWND dialog)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    return info.hwndFocus;
}

std::wstring ItemText(HWND dialog, int id)
{
    wchar_t text[512] = L"";
    GetDlgItemTextW(dialog, id, text, 512);
    return text;
}

void Type(HWND dialog, int id, const wchar_t* text)
{
    SetDlgItemTextW(dialog, id, text);
}

void Command(HWND dialog, int id)
{
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

}
