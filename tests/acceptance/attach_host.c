/* A host DLL that calls Orvandel from its own entry point, as a plug-in
 * might: on process attach, or on the first thread attach, as the
 * environment variable ORVANDEL_ATTACH_CALL says ("process" or "thread";
 * the entry point can ask nothing else). The tests read what the call
 * returned from the two exported words. */
#include <windows.h>
#include <oleauto.h>

#include "orvandel.h"

__declspec(dllexport) volatile LONG attach_calls = 0;
__declspec(dllexport) volatile LONG attach_result = -1;

static void call_box(void) {
    BSTR caption = SysAllocString(L"orv from an entry point");
    BSTR message = SysAllocString(L"called under the loader lock");
    LONG r = Orvandel(&caption, &message, 0, 0, NULL, NULL, NULL);
    SysFreeString(caption);
    SysFreeString(message);
    InterlockedExchange(&attach_result, r);
    InterlockedIncrement(&attach_calls);
}

static int mode_is(const wchar_t* wanted) {
    wchar_t mode[16] = {0};
    DWORD n = GetEnvironmentVariableW(L"ORVANDEL_ATTACH_CALL", mode, 16);
    return n > 0 && n < 16 && lstrcmpW(mode, wanted) == 0;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    static volatile LONG thread_call_taken = 0;
    (void)module;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH && mode_is(L"process")) call_box();
    if (reason == DLL_THREAD_ATTACH && mode_is(L"thread") &&
        InterlockedExchange(&thread_call_taken, 1) == 0) {
        call_box();
    }
    return TRUE;
}
