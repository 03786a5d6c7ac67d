// Window and dialog calls where the handheld differs from Win32.
#include "journal.h"

#include <string>

using namespace journal;

namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

bool IsDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

// The handheld's rule for a number in a dialog field: optional blanks, a
// minus sign in the signed form only, ASCII digits, optional blanks, and
// nothing else; the value must fit the form's range.
bool ParseDialogInt(const wchar_t* text, bool isSigned, UINT* value)
{
    while (IsBlank(*text))
        ++text;
    bool negative = isSigned && *text == L'-';
    if (negative)
        ++text;
    if (!IsDigit(*text))
        return false;
    unsigned long long magnitude = 0;
    for (; IsDigit(*text); ++text) {
        magnitude = magnitude * 10 + (*text - L'0');
        if (magnitude > 0xFFFFFFFFull)
            return false;
    }
    while (IsBlank(*text))
        ++text;
    if (*text)
        return false;
    unsigned long long limit = !isSigned ? 0xFFFFFFFFull : negative ? 0x80000000ull : 0x7FFFFFFFull;
    if (magnitude > limit)
        return false;
    *value = negative ? 0u - static_cast<UINT>(magnitude) : static_cast<UINT>(magnitude);
    return true;
}

std::wstring WindowText(HWND window)
{
    std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
    text.resize(GetWindowTextW(window, &text[0], static_cast<int>(text.size())));
    return text;
}

}

extern "C" {

UINT WINAPI CeGetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned)
{
    UINT value = 0;
    bool ok = false;
    if (DWORD error = Enter("GetDlgItemInt",
                            {Window(dialog), Dec(id), Pointer(translated), Dec(isSigned)})) {
        SetLastError(error);
    } else {
        HWND item = GetDlgItem(dialog, id);
        ok = item && ParseDialogInt(WindowText(item).c_str(), isSigned, &value);
    }
    if (translated)
        *translated = ok;
    return ok ? value : 0;
}

BOOL WINAPI CeDestroyWindow(HWND window)
{
    if (DWORD error = Enter("DestroyWindow", {Window(window)})) {
        SetLastError(error);
        return FALSE;
    }
    return DestroyWindow(window);
}

// The handheld's dialog class is "Dialog"; Win32's is "#32770".
HWND WINAPI CeFindWindowW(LPCWSTR className, LPCWSTR title)
{
    if (DWORD error = Enter("FindWindowW", {Text(className), Text(title)})) {
        SetLastError(error);
        return nullptr;
    }
    if (className && !IS_INTRESOURCE(className) && lstrcmpW(className, L"Dialog") == 0)
        className = WC_DIALOG;
    return FindWindowW(className, title);
}

}
