// The settings dialog on one of the handheld's screens, as the shell lays
// it out there: run once per screen, on a virtual desktop of its size.
//   screens_test.exe NAME WIDTH HEIGHT DPI SIZES-FILE
// The portrait run writes each control's size to SIZES-FILE; the others
// expect those sizes scaled with their dots per inch. The dialog is the
// image's the handheld runs (KBD_IMAGE), opened as the host opens it; and
// on every screen the x86 twin and the ARM image show the same pixels.
#include "cpl_module.h"
#include "resource.h"
#include "support/dialog_session.h"
#include "support/handheld.h"
#include "support/pe_image.h"
#include "support/selected_tests.h"
#include "support/waiting.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

struct Screen {
    std::string name;
    int width, height, dpi;
    std::string sizesFile;
} g_screen;

int Scale(int pixels)
{
    return MulDiv(pixels, g_screen.dpi, 96);
}

struct Piece {
    std::string what;
    RECT rect;
};

std::string Describe(const RECT& r)
{
    return "{" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " +
           std::to_string(r.right) + ", " + std::to_string(r.bottom) + "}";
}

bool Inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

RECT RectOf(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

HWND ShellWindow(const wchar_t* className)
{
    return handheld::VisibleTopLevel(GetCurrentProcessId(), className);
}

// Keyboard from `image`, opened as the host opens it, with `script` as its
// user.
void WithKeyboard(const AppletImage& image, const std::function<void(HWND dialog)>& script)
{
    CplModule applet;
    std::wstring error;
    ASSERT_TRUE(applet.Load(image.signedPath, &error)) << image.name;
    dialog_session::WhileShown([&] { return applet.Open(0); }, script);
}

// The visible controls, each field with its spin control as one piece: an
// up-down control aligned to its buddy sits on the buddy's edge by design.
std::vector<Piece> VisibleControls(HWND dialog)
{
    std::vector<Piece> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[32] = L"";
        GetClassNameW(child, className, 32);
        if (!IsWindowVisible(child) || lstrcmpiW(className, UPDOWN_CLASSW) == 0)
            continue;
        // Labels share the id -1; their texts tell them apart.
        wchar_t text[64] = L"";
        if (GetDlgCtrlID(child) == 0xFFFF)
            GetWindowTextW(child, text, 64);
        std::wstring label = text;
        Piece piece = {"control " + std::to_string(GetDlgCtrlID(child)) + " " +
                           std::string(label.begin(), label.end()),
                       RectOf(child)};
        for (HWND spin = GetWindow(dialog, GW_CHILD); spin; spin = GetWindow(spin, GW_HWNDNEXT)) {
            GetClassNameW(spin, className, 32);
            if (lstrcmpiW(className, UPDOWN_CLASSW) == 0 &&
                reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)) == child) {
                RECT spinRect = RectOf(spin);
                UnionRect(&piece.rect, &piece.rect, &spinRect);
                piece.what += " with its spin";
            }
        }
        controls.push_back(piece);
    }
    return controls;
}

TEST(Screen, StripDialogAndSoftKeysShareTheScreenWithoutOverlapping)
{
    WithKeyboard(AppletUnderTest(), [](HWND dialog) {
        ASSERT_EQ(g_screen.width, GetSystemMetrics(SM_CXSCREEN));
        ASSERT_EQ(g_screen.height, GetSystemMetrics(SM_CYSCREEN));
        const RECT screen = {0, 0, g_screen.width, g_screen.height};
        const RECT strip = {0, 0, g_screen.width, Scale(26)};
        const RECT bar = {0, g_screen.height - Scale(26), g_screen.width, g_screen.height};
        const RECT work = {0, strip.bottom, g_screen.width, bar.top};

        HWND stripWindow = ShellWindow(L"ShellTitleStrip");
        ASSERT_TRUE(stripWindow);
        EXPECT_EQ(Describe(strip), Describe(RectOf(stripWindow)));
        HWND barWindow = ShellWindow(L"ShellMenuBar");
        ASSERT_TRUE(barWindow);
        EXPECT_EQ(Describe(bar), Describe(RectOf(barWindow))) << "the bar spans the width";
        EXPECT_EQ(Describe(work), Describe(RectOf(dialog))) << "the dialog fills the rest";

        std::vector<Piece> pieces = VisibleControls(dialog);
        for (const Piece& control : pieces)
            EXPECT_TRUE(Inside(control.rect, work)) << control.what << Describe(control.rect);
        HWND ok = FindWindowExW(stripWindow, nullptr, L"BUTTON", L"ok");
        ASSERT_TRUE(ok);
        EXPECT_TRUE(Inside(RectOf(ok), strip));
        pieces.push_back({"ok", RectOf(ok)});

        HWND left = FindWindowExW(barWindow, nullptr, L"BUTTON", L"Apply");
        HWND right = FindWindowExW(barWindow, nullptr, L"BUTTON", L"Reset");
        ASSERT_TRUE(left && right);
        RECT l = RectOf(left), r = RectOf(right);
        EXPECT_TRUE(Inside(l, bar) && Inside(r, bar));
        EXPECT_NEAR(l.right - l.left, r.right - r.left, 1) << "equal soft keys";
        EXPECT_LE(l.left, 1);
        EXPECT_GE(r.right, g_screen.width - 1) << "together they span the width";
        pieces.push_back({"left soft key", l});
        pieces.push_back({"right soft key", r});

        for (const Piece& piece : pieces)
            EXPECT_TRUE(Inside(piece.rect, screen)) << piece.what;
        for (size_t i = 0; i < pieces.size(); ++i) {
            for (size_t j = i + 1; j < pieces.size(); ++j) {
                RECT overlap;
                EXPECT_FALSE(IntersectRect(&overlap, &pieces[i].rect, &pieces[j].rect))
                    << pieces[i].what << " overlaps " << pieces[j].what;
            }
        }
    });
}

// Each visible control's size here against its size on the portrait
// screen, scaled by this screen's dots per inch (the portrait run records).
// A field and its spin count as one: Wine's up-down control keeps a width
// of 16 pixels at any dots per inch and gives the rest to its buddy.
TEST(Screen, ControlsScaleWithTheDotsPerInch)
{
    std::map<std::string, SIZE> sizes;
    WithKeyboard(AppletUnderTest(), [&](HWND dialog) {
        for (const Piece& piece : VisibleControls(dialog))
            sizes[piece.what] = {piece.rect.right - piece.rect.left,
                                 piece.rect.bottom - piece.rect.top};
    });
    ASSERT_FALSE(sizes.empty());
    if (g_screen.name == "portrait") {
        std::ofstream out(g_screen.sizesFile);
        for (const auto& [what, size] : sizes)
            out << size.cx << " " << size.cy << " " << what << "\n";
        return;
    }
    std::ifstream in(g_screen.sizesFile);
    ASSERT_TRUE(in) << "no sizes from the portrait screen in " << g_screen.sizesFile;
    int cx, cy;
    std::string what;
    int compared = 0;
    while (in >> cx >> cy && std::getline(in >> std::ws, what)) {
        ASSERT_TRUE(sizes.count(what)) << what;
        EXPECT_NEAR(Scale(cx), sizes[what].cx, 2) << "width of " << what;
        EXPECT_NEAR(Scale(cy), sizes[what].cy, 2) << "height of " << what;
        ++compared;
    }
    EXPECT_EQ(static_cast<int>(sizes.size()), compared);
}

TEST(Screen, BothImagesShowTheSamePixels)
{
    std::vector<std::vector<DWORD>> shots;
    for (const AppletImage& image : AppletImages())
        WithKeyboard(image, [&](HWND) {
            EXPECT_TRUE(handheld::ScreenHoldsStill());
            shots.push_back(handheld::ScreenPixels());
        });
    ASSERT_EQ(2u, shots.size());
    const std::vector<DWORD>& x86 = shots[0];
    const std::vector<DWORD>& arm = shots[1];
    size_t differ = 0, first = 0;
    for (size_t i = 0; i < x86.size(); ++i) {
        if (x86[i] != arm[i] && !differ++)
            first = i;
    }
    EXPECT_EQ(0u, differ) << "pixels that differ; the first at (" << first % g_screen.width
                          << ", " << first / g_screen.width << ")";
}

}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc != 6) {
        std::fprintf(stderr, "usage: screens_test NAME WIDTH HEIGHT DPI SIZES-FILE\n");
        return 2;
    }
    g_screen = {argv[1], std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), argv[5]};
    return RunSelectedTests();
}
