// Real key presses for the Win32 tests: xdotool on the X display the tests
// run on.
//
// Wine runs a Unix program named by its Z: path directly, without an
// emulated cmd and start in front of it, but hands back no process handle to
// wait on. So xdotool runs inside a shell that writes its exit code into a
// file of ours, and the test polls that file, within a bound.
//
// A key reaches the window that has the focus when it is typed, so keys are
// typed only once the window has the focus in Windows (the box gives it to
// itself) and in X (xdotool puts it there and waits until it is): a busy
// machine then slows the test down instead of sending the keys elsewhere.
#pragma once

#include <windows.h>

#include <stdio.h>

#include <string>

// xdotool's exit code, or -1 when it could not be started or outlasted
// `bound_ms`.
inline int run_xdotool(const std::wstring& args, DWORD bound_ms) {
    // A new empty file of our own: its name is unique, whoever else runs.
    wchar_t ack[MAX_PATH];
    if (GetTempFileNameW(L"Z:\\tmp", L"xdo", 0, ack) == 0) return -1;
    std::wstring unix_ack = L"/tmp/" + std::wstring(ack + 7);   // after "Z:\tmp\"
    std::wstring cmd = L"Z:\\bin\\sh -c \"timeout 20 /usr/bin/xdotool " + args + L" >/dev/null 2>&1; echo $? >" +
                       unix_ack + L".part && mv -f " + unix_ack + L".part " + unix_ack + L"\"";
    std::wstring line(cmd);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    int code = -1;
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        // For a Unix program the process handle is null and the rest of
        // `pi` is not filled in: closing its "thread handle" would close
        // some other handle of ours.
        if (pi.hProcess) {
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
        DWORD start = GetTickCount();
        do {
            // The shell renames the finished file over ours, so what is read
            // is either still empty or complete.
            HANDLE f = CreateFileW(ack, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
            char text[16] = {};
            DWORD got = 0;
            if (f != INVALID_HANDLE_VALUE) {
                ReadFile(f, text, sizeof text - 1, &got, nullptr);
                CloseHandle(f);
            }
            if (got > 0) {
                code = atoi(text);
                break;
            }
            Sleep(5);
        } while (GetTickCount() - start < bound_ms);
    }
    DeleteFileW(ack);
    return code;
}

// The X window behind a top-level window, 0 while it has none.
inline unsigned long x_window_of(HWND frame) {
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(GetPropW(frame, L"__wine_x11_whole_window")));
}

// Whether, within `bound_ms`, `frame` has its text area and its X window,
// is the foreground window, and its thread's keyboard focus is in the text
// area. A box is found by its frame as soon as the frame exists, before
// the rest of it does.
inline bool wait_for_focus(HWND frame, DWORD bound_ms) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND area = GetWindow(frame, GW_CHILD);
        GUITHREADINFO gti{};
        gti.cbSize = sizeof gti;
        if (area != nullptr && x_window_of(frame) != 0 && GetForegroundWindow() == frame &&
            GetGUIThreadInfo(GetWindowThreadProcessId(frame, nullptr), &gti) && gti.hwndFocus == area) {
            return true;
        }
        if (GetTickCount() - start >= bound_ms) return false;
        Sleep(10);
    }
}

// Types `keys` (xdotool's arguments after "key", e.g. L"--delay 20 Return")
// into the text area of the box `frame`, once it has the focus. False when
// the focus could not be had or xdotool failed, within about `bound_ms`.
inline bool type_keys(HWND frame, const std::wstring& keys, DWORD bound_ms = 20000) {
    wchar_t focus[64];
    // The focus is retried, never the keys: each key is typed once.
    for (int attempt = 0; attempt < 3; ++attempt) {
        bool ready = wait_for_focus(frame, bound_ms / 4);
        swprintf(focus, 64, L"windowfocus --sync %lu", x_window_of(frame));
        if (!ready) {
            if (x_window_of(frame) != 0) run_xdotool(focus, bound_ms / 4);
            continue;
        }
        int code = run_xdotool(std::wstring(focus) + L" key " + keys, bound_ms);
        if (code != 0) fprintf(stderr, "type_keys: xdotool ended with %d\n", code);
        return code == 0;
    }
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    GetGUIThreadInfo(GetWindowThreadProcessId(frame, nullptr), &gti);
    fprintf(stderr, "type_keys: no focus: foreground %p, frame %p, its thread's focus %p, X window %lu\n",
            static_cast<void*>(GetForegroundWindow()), static_cast<void*>(frame),
            static_cast<void*>(gti.hwndFocus), x_window_of(frame));
    return false;
}
