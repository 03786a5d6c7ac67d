#include "scanner.h"

#include "keypad_model.h"

#include <chrono>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

const UINT kKeyDown = WM_APP + 1;
const UINT kKeyUp = WM_APP + 2;

std::mutex g_lock;
bool g_started = false;
DWORD g_thread = 0;
Clock::time_point g_start;
KeypadModel g_model;
KeypadActivity g_activity = {};
DWORD g_heldKey = 0;
WORD g_heldScan = 0;
bool g_heldExtended = false;
DWORD g_pressedAt = 0;
DWORD g_releasedAt = 0;
DWORD g_holdRepeats = 0;
bool g_lit = false;

// The driver's tick count: ms since scanning began, wrapping as a tick
// count does.
DWORD Now()
{
    return static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - g_start).count());
}

void Inject(DWORD key, WORD scan, bool extended, bool up)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = static_cast<WORD>(key);
    input.ki.wScan = scan;
    input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
    SendInput(1, &input, sizeof input);
}

// The lamp is the shell's to show: every top-level window hears of it when
// it changes, and of a lit lamp at every press, so that a window made while
// it was lit (a dialog the last key opened) shows it too.
void ShowKeylight(bool lit, DWORD now, bool pressed)
{
    if (lit == g_lit && !(lit && pressed))
        return;
    if (!lit)
        g_activity.keylightOutMs = now - g_releasedAt;
    g_lit = lit;
    g_activity.keylightOn = lit;
    static const UINT keylight = RegisterWindowMessageW(KEYPAD_KEYLIGHT_MESSAGE);
    PostMessageW(HWND_BROADCAST, keylight, lit, 0);
}

void KeyDown(DWORD key, WORD scan, bool extended)
{
    // The X server's autorepeat: the key is already held.
    if (key == g_heldKey)
        return;
    DWORD now = Now();
    g_model.Press(now);
    g_heldKey = key;
    g_heldScan = scan;
    g_heldExtended = extended;
    g_pressedAt = now;
    g_holdRepeats = 0;
    ++g_activity.presses;
    Inject(key, scan, extended, false);
    ShowKeylight(g_model.KeylightOn(now), now, true);
}

void KeyUp(DWORD key, WORD scan, bool extended)
{
    if (key == g_heldKey) {
        DWORD now = Now();
        g_model.Release(now);
        g_heldKey = 0;
        g_releasedAt = now;
        if (g_holdRepeats)
            g_activity.heldMs = now - g_pressedAt;
    }
    Inject(key, scan, extended, true);
}

// Sends the repeats that are due and puts the keylight out when its time
// has come; returns the ms until the next of either, or INFINITE.
DWORD Tick()
{
    DWORD now = Now();
    while (g_heldKey && g_model.Repeats(now) > g_holdRepeats) {
        if (g_holdRepeats == 0) {
            g_activity.repeats = 0;
            g_activity.heldMs = 0;
        }
        if (g_holdRepeats < kKeypadMaxRepeats)
            g_activity.repeatAtMs[g_holdRepeats] = now - g_pressedAt;
        g_activity.repeats = ++g_holdRepeats;
        Inject(g_heldKey, g_heldScan, g_heldExtended, false);
    }
    ShowKeylight(g_model.KeylightOn(now), now, false);
    return g_model.NextChangeIn(now);
}

// Every key from the X server stops here; the scanner hands it on.
// Injected keys (the scanner's own, and other programs') pass.
LRESULT CALLBACK KeyboardHook(int code, WPARAM message, LPARAM lParam)
{
    auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    if (code != HC_ACTION || (key->flags & LLKHF_INJECTED))
        return CallNextHookEx(nullptr, code, message, lParam);
    PostThreadMessageW(GetCurrentThreadId(), (key->flags & LLKHF_UP) ? kKeyUp : kKeyDown,
                       key->vkCode,
                       MAKELPARAM(key->scanCode, (key->flags & LLKHF_EXTENDED) ? 1 : 0));
    return 1;
}

DWORD WINAPI Scan(LPVOID started)
{
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHook, GetModuleHandleW(nullptr), 0);
    SetEvent(started);
    DWORD wait = INFINITE;
    for (;;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            std::lock_guard<std::mutex> hold(g_lock);
            if (message.message == kKeyDown)
                KeyDown(message.wParam, LOWORD(message.lParam), HIWORD(message.lParam));
            else if (message.message == kKeyUp)
                KeyUp(message.wParam, LOWORD(message.lParam), HIWORD(message.lParam));
            else
                DispatchMessageW(&message);
        }
        std::lock_guard<std::mutex> hold(g_lock);
        wait = Tick();
    }
}

}

namespace keypad_scanner {

void Start(const KeypadState& settings)
{
    Configure(settings);
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_started)
        return;
    g_started = true;
    g_start = Clock::now();
    g_activity.keylightOutMs = ~0u;
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, Scan, started, 0, &g_thread);
    WaitForSingleObject(started, 5000);
    CloseHandle(started);
    CloseHandle(thread);
}

void Configure(const KeypadState& settings)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_model.Configure(settings);
    if (g_thread)
        PostThreadMessageW(g_thread, WM_NULL, 0, 0);
}

KeypadActivity Activity()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_activity;
}

}
