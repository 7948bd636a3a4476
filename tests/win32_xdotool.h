// Real key presses for the Win32 tests: xdotool on the X display the tests
// run on, started the way Wine runs a Unix program (start /unix); /wait keeps
// it bounded.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// xdotool's exit code, or -1 when it could not be started or outlasted
// `bound_ms`.
inline int run_xdotool(const std::wstring& args, DWORD bound_ms) {
    std::wstring cmd = L"C:\\windows\\system32\\cmd.exe /c start /wait /unix /usr/bin/xdotool " + args;
    std::vector<wchar_t> buf(cmd.begin(), cmd.end());
    buf.push_back(0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    DWORD waited = WaitForSingleObject(pi.hProcess, bound_ms);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return waited == WAIT_OBJECT_0 ? static_cast<int>(code) : -1;
}
