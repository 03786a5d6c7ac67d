// Window and dialog calls, journaled, and where the handheld differs from
// Win32 (GetDlgItemInt, FindWindowW), with the handheld's behaviour.
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

INT_PTR WINAPI CeDialogBoxIndirectParamW(HINSTANCE module, LPCDLGTEMPLATEW dialogTemplate,
                                         HWND owner, DLGPROC procedure, LPARAM parameter)
{
    Call call(JOURNAL_CALLER, "DialogBoxIndirectParamW",
              {Module(module, JOURNAL_CALLER), Pointer(dialogTemplate), Window(owner),
               Pointer(reinterpret_cast<const void*>(procedure)), Signed(parameter)});
    return call.Serves(INT_PTR(-1), [&] {
        return DialogBoxIndirectParamW(module, dialogTemplate, owner, procedure, parameter);
    }, Signed);
}

BOOL WINAPI CeEndDialog(HWND dialog, INT_PTR result)
{
    Call call(JOURNAL_CALLER, "EndDialog", {Window(dialog), Signed(result)});
    return call.Serves(FALSE, [&] { return EndDialog(dialog, result); }, Dec);
}

LRESULT WINAPI CeSendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam,
                                     LPARAM lParam)
{
    Call call(JOURNAL_CALLER, "SendDlgItemMessageW",
              {Window(dialog), Signed(id), Hex(message), Dec(wParam), Hex(lParam)});
    return call.Serves(
        LRESULT(0),
        [&] { return SendDlgItemMessageW(dialog, id, message, wParam, lParam); },
        Signed);
}

BOOL WINAPI CeSetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned)
{
    Call call(JOURNAL_CALLER, "SetDlgItemInt",
              {Window(dialog), Signed(id), Dec(value), Dec(isSigned)});
    return call.Serves(FALSE, [&] { return SetDlgItemInt(dialog, id, value, isSigned); }, Dec);
}

UINT WINAPI CeGetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned)
{
    Call call(JOURNAL_CALLER, "GetDlgItemInt",
              {Window(dialog), Signed(id), Pointer(translated), Dec(isSigned)});
    UINT value = 0;
    bool ok = false;
    if (call.Injected()) {
        SetLastError(call.Injected());
    } else {
        HWND item = GetDlgItem(dialog, id);
        ok = item && ParseDialogInt(WindowText(item).c_str(), isSigned, &value);
    }
    if (translated)
        *translated = ok;
    return call.Returns(ok ? value : 0u, Dec(ok ? value : 0));
}

BOOL WINAPI CeSetWindowTextW(HWND window, LPCWSTR text)
{
    Call call(JOURNAL_CALLER, "SetWindowTextW", {Window(window), Text(text)});
    return call.Serves(FALSE, [&] { return SetWindowTextW(window, text); }, Dec);
}

BOOL WINAPI CeDestroyWindow(HWND window)
{
    Call call(JOURNAL_CALLER, "DestroyWindow", {Window(window)});
    return call.Serves(FALSE, [&] { return DestroyWindow(window); }, Dec);
}

// The handheld's dialog class is "Dialog"; Win32's is "#32770".
HWND WINAPI CeFindWindowW(LPCWSTR className, LPCWSTR title)
{
    Call call(JOURNAL_CALLER, "FindWindowW", {Text(className), Text(title)});
    if (call.Injected())
        return call.Fails(HWND(nullptr), "NULL");
    if (className && !IS_INTRESOURCE(className) && lstrcmpW(className, L"Dialog") == 0)
        className = WC_DIALOG;
    HWND found = FindWindowW(className, title);
    return call.Returns(found, Window(found));
}

BOOL WINAPI CeSetForegroundWindow(HWND window)
{
    Call call(JOURNAL_CALLER, "SetForegroundWindow", {Window(window)});
    return call.Serves(FALSE, [&] { return SetForegroundWindow(window); }, Dec);
}

}
