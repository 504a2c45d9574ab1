// USER32's entries that the installer calls, bound from USER32 loaded by its
// full path. USER32 is loaded only by a process that shows something: its
// start-up loads further DLLs by name (GDI32's language pack among them),
// which the launcher never lets happen beside the downloaded program. A call
// that cannot reach USER32 fails as the call itself would: no box is shown.
#include "scrivox.h"

extern "C" {

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    typedef int(WINAPI * Entry)(HWND, LPCSTR, LPCSTR, UINT);
    Entry entry = Bound<Entry>(ENTRY_MESSAGE_BOX);
    return entry != NULL ? entry(owner, text, caption, type) : (Unbound(ENTRY_MESSAGE_BOX), 0);
}

LRESULT WINAPI SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT flags, UINT timeout, PDWORD_PTR result)
{
    typedef LRESULT(WINAPI * Entry)(HWND, UINT, WPARAM, LPARAM, UINT, UINT, PDWORD_PTR);
    Entry entry = Bound<Entry>(ENTRY_SEND_MESSAGE_TIMEOUT);
    return entry != NULL ? entry(window, message, wParam, lParam, flags, timeout, result)
                         : (Unbound(ENTRY_SEND_MESSAGE_TIMEOUT), 0);
}

} // extern "C"
