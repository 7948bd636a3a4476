// Loads and unloads the real Orvandel.dll in a Win32 process: the entry point
// runs for every reason (process and thread attach and detach) the way the
// system calls it, with the system's own TLS and heap behind it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

// The DLL built beside this executable, never one found on the search path.
std::wstring dll_path() {
    wchar_t buf[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring path(buf, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"Orvandel.dll";
}

bool dll_is_loaded() { return GetModuleHandleW(L"Orvandel.dll") != nullptr; }

DWORD WINAPI do_nothing(LPVOID) { return 7; }

DWORD WINAPI wait_for_event(LPVOID event) {
    return WaitForSingleObject(static_cast<HANDLE>(event), 10000) == WAIT_OBJECT_0 ? 7 : 1;
}

DWORD WINAPI free_library(LPVOID module) {
    return FreeLibrary(static_cast<HMODULE>(module)) ? 7 : 1;
}

// Waits at most 10 s for a thread, so a hang in the thread's attach or
// detach fails the test instead of stalling the run.
void run_thread_to_end(HANDLE thread) {
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    CloseHandle(thread);
}

TEST(Win32Load, LoadsAndUnloads) {
    ASSERT_FALSE(dll_is_loaded());
    HMODULE h = LoadLibraryW(dll_path().c_str());
    ASSERT_NE(h, nullptr) << "LoadLibrary failed, error " << GetLastError();
    EXPECT_TRUE(dll_is_loaded());
    EXPECT_TRUE(FreeLibrary(h));
    EXPECT_FALSE(dll_is_loaded());
}

TEST(Win32Load, SecondLoadSharesTheModuleAndUnloadsOnTheLastFree) {
    HMODULE a = LoadLibraryW(dll_path().c_str());
    ASSERT_NE(a, nullptr);
    HMODULE b = LoadLibraryW(dll_path().c_str());
    EXPECT_EQ(a, b);
    EXPECT_TRUE(FreeLibrary(b));
    EXPECT_TRUE(dll_is_loaded());
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_FALSE(dll_is_loaded());
}

// Process detach must give back the TLS slot and leave nothing behind that a
// second process attach would trip over.
TEST(Win32Load, ReloadsAfterUnload) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        HMODULE h = LoadLibraryW(dll_path().c_str());
        ASSERT_NE(h, nullptr);
        EXPECT_TRUE(FreeLibrary(h));
        EXPECT_FALSE(dll_is_loaded());
    }
}

// A thread that starts and ends while the library is loaded gets thread attach
// and thread detach without ever having made a context.
TEST(Win32Load, ThreadAttachAndDetachWhileLoaded) {
    HMODULE h = LoadLibraryW(dll_path().c_str());
    ASSERT_NE(h, nullptr);
    for (int i = 0; i < 3; ++i) {
        run_thread_to_end(CreateThread(nullptr, 0, do_nothing, nullptr, 0, nullptr));
    }
    EXPECT_TRUE(dll_is_loaded());
    EXPECT_TRUE(FreeLibrary(h));
}

// A thread that existed before the load never got thread attach, yet gets
// thread detach when it ends while the library is loaded.
TEST(Win32Load, ThreadStartedBeforeLoadEndsWhileLoaded) {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(go, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, wait_for_event, go, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    HMODULE h = LoadLibraryW(dll_path().c_str());
    EXPECT_NE(h, nullptr);
    SetEvent(go);
    run_thread_to_end(thread);
    CloseHandle(go);
    if (h) EXPECT_TRUE(FreeLibrary(h));
}

// Unloading on a thread other than the one that loaded the library: process
// detach then runs on a thread whose context, if any, is not the first one.
TEST(Win32Load, UnloadsOnAnotherThread) {
    HMODULE h = LoadLibraryW(dll_path().c_str());
    ASSERT_NE(h, nullptr);
    run_thread_to_end(CreateThread(nullptr, 0, free_library, h, 0, nullptr));
    EXPECT_FALSE(dll_is_loaded());
}

}  // namespace

using OrvandelFn = int(__stdcall*)(BSTR*, BSTR*, int, int, BSTR*, BSTR*, BSTR*);

// Answers the next box with Enter, posted straight to its text area; gives
// up after about 20 s so a box that never shows fails the call's test.
DWORD WINAPI answer_with_enter(LPVOID) {
    for (int i = 0; i < 2000; ++i) {
        HWND frame = FindWindowW(L"VORANTEXT", L"Reload");
        HWND area = frame ? GetWindow(frame, GW_CHILD) : nullptr;
        if (area) {
            PostMessageW(area, WM_CHAR, L'\r', 0);
            return 7;
        }
        Sleep(10);
    }
    return 1;
}

// The library's window class must not outlive the image it points into: a
// host that unloads and loads the library again still gets its box.
TEST(Win32Load, BoxWorksAgainAfterReload) {
    BSTR caption = SysAllocString(L"Reload");
    BSTR message = SysAllocString(L"Loaded again");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        HMODULE h = LoadLibraryW(dll_path().c_str());
        ASSERT_NE(h, nullptr);
        auto box = reinterpret_cast<OrvandelFn>(GetProcAddress(h, "Orvandel"));
        ASSERT_NE(box, nullptr);
        HANDLE answerer = CreateThread(nullptr, 0, answer_with_enter, nullptr, 0, nullptr);
        EXPECT_EQ(box(&caption, &message, 0, 0, nullptr, nullptr, nullptr), 0);
        run_thread_to_end(answerer);
        EXPECT_TRUE(FreeLibrary(h));
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        EXPECT_FALSE(GetClassInfoExW(h, L"VORANTEXT", &wc)) << "class left behind by the unload";
    }
    SysFreeString(caption);
    SysFreeString(message);
}
