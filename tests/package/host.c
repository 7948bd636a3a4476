/*
 * A host of the released DLL, built by the package tests from an unpacked
 * zip: with MinGW through find_package(Orvandel), and with clang's MSVC
 * target and lld-link against Orvandel.lib. It uses no C runtime (the
 * MSVC-style link has none to offer), answers its own box from a second
 * thread the way a user typing 2 would, prints "answer N" and exits with N.
 */
#include <windows.h>
#include <oleauto.h>

#include "orvandel.h"

static const wchar_t kCaption[] = L"Orvandel package host";

/* Posts the key to the box's text area once the box is up; gives up (and
 * ends the process, so a box that never came fails the test instead of
 * hanging it) after about a minute. */
static DWORD WINAPI answer_box(void* unused) {
    (void)unused;
    for (int i = 0; i < 6000; i++) {
        HWND frame = FindWindowW(L"VORANTEXT", kCaption);
        HWND area = frame && IsWindowVisible(frame) ? GetWindow(frame, GW_CHILD) : NULL;
        if (area) {
            PostMessageW(area, WM_CHAR, L'2', 0);
            return 0;
        }
        Sleep(10);
    }
    ExitProcess(98);
}

/* The entry point of both builds (lld-link /entry:main); it never returns,
 * since without a C runtime there is nothing to return to. */
int main(void) {
    BSTR caption = SysAllocString(kCaption);
    BSTR message = SysAllocString(L"Linked from the zip.\r\nAnswered by the host itself.");
    BSTR yes = SysAllocString(L"Yes");
    BSTR no = SysAllocString(L"No");
    HANDLE helper = CreateThread(NULL, 0, answer_box, NULL, 0, NULL);
    if (!helper) ExitProcess(97);

    int answer = Orvandel(&caption, &message, 0, 0, &yes, &no, NULL);

    char line[32];
    int n = wsprintfA(line, "answer %d\r\n", answer);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, (DWORD)n, &written, NULL);
    WaitForSingleObject(helper, 5000);
    SysFreeString(caption);
    SysFreeString(message);
    SysFreeString(yes);
    SysFreeString(no);
    ExitProcess((UINT)answer);
}
