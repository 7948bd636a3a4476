// Loads and unloads the real Orvandel.dll in a Win32 process: the entry point
// runs for every reason (process and thread attach and detach) the way the
// system calls it, with the system's own TLS and heap behind it.
#include <gtest/gtest.h>

#include <windows.h>

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "orvandel_version.h"
#include "runtime/registry.h"
#include "runtime/runtime.h"
#include "win32_process_counts.h"

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

namespace {

// The window thread of the box answer_with_enter last answered.
HANDLE g_window_thread = nullptr;

// Answers the next box with Enter, posted straight to its text area; gives
// up after about 20 s so a box that never shows fails the call's test.
DWORD WINAPI answer_with_enter(LPVOID) {
    for (int i = 0; i < 2000; ++i) {
        HWND frame = FindWindowW(L"VORANTEXT", L"Reload");
        HWND area = frame ? GetWindow(frame, GW_CHILD) : nullptr;
        if (area) {
            g_window_thread = OpenThread(SYNCHRONIZE | THREAD_SUSPEND_RESUME | THREAD_QUERY_INFORMATION, FALSE,
                                         GetWindowThreadProcessId(frame, nullptr));
            PostMessageW(area, WM_CHAR, L'\r', 0);
            return 7;
        }
        Sleep(10);
    }
    return 1;
}

// One box on this thread, answered with Enter; its result. With `module`,
// the library is freed the moment the call returns while the box's window
// thread, which may still be on its way out of the library's code, is held
// still; it runs on only once the free is done.
int box_answered_with_enter(OrvandelFn box, HMODULE module = nullptr) {
    BSTR caption = SysAllocString(L"Reload");
    BSTR message = SysAllocString(L"Loaded again");
    HANDLE answerer = CreateThread(nullptr, 0, answer_with_enter, nullptr, 0, nullptr);
    int r = box(&caption, &message, 0, 0, nullptr, nullptr, nullptr);
    if (module) {
        bool held = g_window_thread && SuspendThread(g_window_thread) != static_cast<DWORD>(-1);
        // On a thread of its own: the held thread may be inside the loader.
        HANDLE freer = CreateThread(nullptr, 0, free_library, module, 0, nullptr);
        WaitForSingleObject(freer, 1000);
        if (held) ResumeThread(g_window_thread);
        run_thread_to_end(freer);
    }
    run_thread_to_end(answerer);
    EXPECT_EQ(WaitForSingleObject(g_window_thread, 10000), WAIT_OBJECT_0) << "the window thread did not end";
    DWORD code = 1;
    GetExitCodeThread(g_window_thread, &code);
    EXPECT_EQ(code, 0u) << "the window thread did not end well";
    CloseHandle(g_window_thread);
    g_window_thread = nullptr;
    SysFreeString(caption);
    SysFreeString(message);
    return r;
}

// A crash on a window thread ends the process at once with this code,
// rather than waiting on a debugger.
LONG WINAPI end_on_crash(EXCEPTION_POINTERS* e) {
    fprintf(stderr, "crash: exception %08lx at %p\n", e->ExceptionRecord->ExceptionCode,
            e->ExceptionRecord->ExceptionAddress);
    ExitProcess(3);
}

// The library leaves the process once the last window thread, which holds
// it, has ended.
bool unloaded_within(DWORD ms) {
    DWORD start = GetTickCount();
    while (dll_is_loaded()) {
        if (GetTickCount() - start > ms) return false;
        Sleep(1);
    }
    return true;
}

// A host may free the library the moment a call returns, while the box's
// window thread is still on its way out; loading it again then gives a
// working box, and the window class does not outlive the image.
TEST(Win32Load, BoxWorksAgainAfterReload) {
    SetUnhandledExceptionFilter(end_on_crash);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        HMODULE h = LoadLibraryW(dll_path().c_str());
        ASSERT_NE(h, nullptr);
        auto box = reinterpret_cast<OrvandelFn>(GetProcAddress(h, "Orvandel"));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box_answered_with_enter(box, h), 0);
        ASSERT_TRUE(unloaded_within(10000)) << "a window thread kept the library";
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        EXPECT_FALSE(GetClassInfoExW(h, L"VORANTEXT", &wc)) << "class left behind by the unload";
    }
}

// --- many threads at once -----------------------------------------------------------

volatile LONG g_stop_answering = 0;
volatile LONG g_most_boxes = 0;

// Posts '1' to every box on screen, over and over, and notes the most boxes
// (shown or not) that existed at one time.
DWORD WINAPI answer_every_box(LPVOID) {
    while (!g_stop_answering) {
        LONG n = 0;
        for (HWND f = nullptr; (f = tw::next_box(f)) != nullptr; ++n) {
            if (HWND area = GetWindow(f, GW_CHILD)) PostMessageW(area, WM_CHAR, L'1', 0);
        }
        if (n > g_most_boxes) g_most_boxes = n;
        Sleep(2);
    }
    return 7;
}

struct Caller {
    OrvandelFn box;
    HANDLE go;
    int calls;
    int other_results = 0;   // anything but 0 (replaced) or 1 (answered)
    int answered = 0;
};

DWORD WINAPI call_boxes(LPVOID p) {
    auto* c = static_cast<Caller*>(p);
    WaitForSingleObject(c->go, 10000);
    BSTR caption = SysAllocString(L"At once"), message = SysAllocString(L"Which?");
    BSTR yes = SysAllocString(L"Yes"), no = SysAllocString(L"No");
    for (int i = 0; i < c->calls; ++i) {
        int r = c->box(&caption, &message, 0, 0, &yes, &no, nullptr);
        c->other_results += r != 0 && r != 1;
        c->answered += r == 1;
    }
    for (BSTR b : {caption, message, yes, no}) SysFreeString(b);
    return 7;
}

// Calls that really overlap, the first of them racing the class
// registration of a freshly loaded library: one box at a time, each closed
// by its call or by the call that replaced it, and nothing left once the
// library is gone.
TEST(Win32Load, ManyThreadsCallingAtOnceLeaveNoBoxBehind) {
    constexpr int kThreads = 4;
    constexpr int kCalls = 50;
    // A first box, so what the process keeps for good (the system icon and
    // cursor of the class) exists before the counting.
    HMODULE warm = LoadLibraryW(dll_path().c_str());
    ASSERT_NE(warm, nullptr);
    EXPECT_EQ(box_answered_with_enter(reinterpret_cast<OrvandelFn>(GetProcAddress(warm, "Orvandel"))), 0);
    FreeLibrary(warm);
    ASSERT_TRUE(unloaded_within(10000));
    const int gdi = tw::live_gdi_objects();
    const int threads = tw::process_threads();
    const int windows = tw::process_windows();

    HMODULE h = LoadLibraryW(dll_path().c_str());
    ASSERT_NE(h, nullptr);
    auto box = reinterpret_cast<OrvandelFn>(GetProcAddress(h, "Orvandel"));
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Caller callers[kThreads];
    HANDLE handles[kThreads];
    for (int t = 0; t < kThreads; ++t) {
        callers[t].box = box;
        callers[t].go = go;
        callers[t].calls = kCalls;
        handles[t] = CreateThread(nullptr, 0, call_boxes, &callers[t], 0, nullptr);
        ASSERT_NE(handles[t], nullptr);
    }
    g_stop_answering = 0;
    g_most_boxes = 0;
    HANDLE answerer = CreateThread(nullptr, 0, answer_every_box, nullptr, 0, nullptr);
    SetEvent(go);
    EXPECT_EQ(WaitForMultipleObjects(kThreads, handles, TRUE, 900000), WAIT_OBJECT_0) << "calls did not return";
    EXPECT_EQ(tw::next_box(nullptr), nullptr) << "a box outlived every call";
    g_stop_answering = 1;
    run_thread_to_end(answerer);
    EXPECT_EQ(g_most_boxes, 1) << "boxes on screen at one time";
    // The last box of all is replaced by no one: calls that all returned 0
    // without a box would answer none.
    int answered = 0;
    for (const Caller& c : callers) answered += c.answered;
    EXPECT_GT(answered, 0) << "no call was answered by its box";
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(callers[t].other_results, 0) << "thread " << t;
        CloseHandle(handles[t]);
    }
    CloseHandle(go);

    EXPECT_TRUE(FreeLibrary(h));
    ASSERT_TRUE(unloaded_within(10000));
    DWORD start = GetTickCount();
    while (tw::process_threads() > threads && GetTickCount() - start < 10000) Sleep(1);
    EXPECT_EQ(tw::process_threads(), threads);
    EXPECT_EQ(tw::process_windows(), windows);
    if (gdi < 0) GTEST_SKIP() << tw::kGdiNotCounted;
    EXPECT_EQ(tw::live_gdi_objects(), gdi);
}

}  // namespace

// --- a host that ends while a box is up ---------------------------------------
//
// ExitProcess ends every other thread first, wherever it is, and then calls
// the library's entry point for process detach on the exiting thread. Each
// case runs in a child: this program started again as
// `win32_load_test.exe --exit-child MODE [DELAY_MS]`, which ends with exit
// code 3 when the host's exit went through, or with one of the codes below
// when the case could not be set up.

namespace {

constexpr UINT kHostExitCode = 3;
constexpr UINT kChildNoDll = 10;
constexpr UINT kChildBoxNeverWaited = 11;
constexpr UINT kChildBoxReturned = 12;
constexpr UINT kChildNoFontList = 13;
constexpr DWORD kChildBound = 60000;   // a Wine start under emulation takes seconds at worst

OrvandelFn g_child_box = nullptr;
volatile LONG g_box_called = 0;
volatile LONG g_box_waiting = 0;

LRESULT CALLBACK probe_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APP) {
        InterlockedExchange(&g_box_waiting, 1);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// The host's thread that shows the box. A message posted to a window of its
// own before the call is dispatched only once the box pumps this thread's
// messages, which it does while it waits for a key.
DWORD WINAPI child_box_thread(LPVOID) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = probe_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ExitChildProbe";
    RegisterClassW(&wc);
    HWND probe = CreateWindowExW(0, wc.lpszClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
    if (probe) PostMessageW(probe, WM_APP, 0, 0);
    BSTR caption = SysAllocString(L"Exit child");
    BSTR message = SysAllocString(L"The host ends\r\nwhile this box is up");
    BSTR yes = SysAllocString(L"Yes"), no = SysAllocString(L"No");
    InterlockedExchange(&g_box_called, 1);
    g_child_box(&caption, &message, 0, 0, &yes, &no, nullptr);
    // No key is ever typed: the call must not come back.
    ExitProcess(kChildBoxReturned);
}

bool readable(const void* p, size_t n) {
    MEMORY_BASIC_INFORMATION mbi;
    if (p == nullptr || VirtualQuery(p, &mbi, sizeof mbi) != sizeof mbi) return false;
    const DWORD ok = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                     PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return mbi.State == MEM_COMMIT && (mbi.Protect & ok) != 0 && (mbi.Protect & PAGE_GUARD) == 0 &&
           static_cast<const char*>(p) + n <= static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize;
}

bool is_font(const FontRecord* f, int32_t number) {
    return readable(f, sizeof *f) && f->number == number && f->use_count >= 1;
}

// The DLL's font-list lock word, found as a debugger would find it: the list
// head is the word in the image's writable sections that points at fonts 1,
// 2 and 3 in a row, and the lock sits beside it.
OwnerLockWord* find_font_list_lock(HMODULE dll) {
    auto* base = reinterpret_cast<char*>(dll);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if ((section->Characteristics & IMAGE_SCN_MEM_WRITE) == 0) continue;
        auto* words = reinterpret_cast<FontRecord**>(base + section->VirtualAddress);
        size_t count = section->Misc.VirtualSize / sizeof(FontRecord*);
        for (size_t w = 0; w + 1 < count; ++w) {
            FontRecord* f = words[w];
            if (is_font(f, 1) && is_font(f->next, 2) && is_font(f->next->next, 3)) {
                auto* fonts = reinterpret_cast<ResettableState::Fonts*>(&words[w]);
                static_assert(offsetof(ResettableState::Fonts, head) == 0, "head first");
                return &fonts->lock;
            }
        }
    }
    return nullptr;
}

// Modes:
//   waiting         the host ends while its box waits for a key
//   opening DELAY   the host ends DELAY ms after its call started, while the
//                   window thread is still making the window
//   font-lock-held  the host ends with the font list's lock left taken, as a
//                   window thread ended inside it would leave it
int run_exit_child(const char* mode, int delay_ms) {
    HMODULE dll = LoadLibraryW(dll_path().c_str());
    if (!dll) return kChildNoDll;
    g_child_box = reinterpret_cast<OrvandelFn>(GetProcAddress(dll, "Orvandel"));
    if (!g_child_box) return kChildNoDll;
    if (strcmp(mode, "font-lock-held") == 0) {
        OwnerLockWord* lock = find_font_list_lock(dll);
        if (!lock) return kChildNoFontList;
        *lock = ~uint64_t{0};
        ExitProcess(kHostExitCode);
    }
    HANDLE box = CreateThread(nullptr, 0, child_box_thread, nullptr, 0, nullptr);
    if (!box) return kChildBoxNeverWaited;
    volatile LONG* ready = strcmp(mode, "waiting") == 0 ? &g_box_waiting : &g_box_called;
    const DWORD start = GetTickCount();
    while (!*ready && GetTickCount() - start < 20000) {
        // Spinning for the call's start, so the delay counts from it.
        if (ready == &g_box_called) {
            SwitchToThread();
        } else {
            Sleep(1);
        }
    }
    if (!*ready) return kChildBoxNeverWaited;
    if (ready == &g_box_called && delay_ms > 0) Sleep(delay_ms);
    ExitProcess(kHostExitCode);
}

// A child started, or a null process when it could not be.
struct Child {
    HANDLE process;
    std::string args;
};

Child start_child(const std::string& args) {
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(self, n) + L"\" --exit-child " +
                       std::wstring(args.begin(), args.end());
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    // Wine x64 has once refused a start here with ERROR_INTERNAL_ERROR,
    // where six runs after it started every child. What is tested is the
    // child's box, not the start: a start refused so is tried again, and
    // one refused for good still fails the test.
    DWORD error = 0;
    for (int attempt = 0; attempt < 3; attempt++) {
        if (CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) break;
        error = GetLastError();
        pi.hProcess = nullptr;
        if (error != ERROR_INTERNAL_ERROR) break;
        Sleep(200);
    }
    if (pi.hProcess == nullptr) {
        ADD_FAILURE() << "CreateProcess failed, error " << error;
        return Child{nullptr, args};
    }
    CloseHandle(pi.hThread);
    return Child{pi.hProcess, args};
}

// Its exit code, or kChildHung when it is still running after kChildBound
// (it is ended then).
constexpr DWORD kChildHung = 0xFFFF;
DWORD finish_child(const Child& c) {
    if (!c.process) return 0;
    DWORD code = kChildHung;
    if (WaitForSingleObject(c.process, kChildBound) == WAIT_OBJECT_0) {
        GetExitCodeProcess(c.process, &code);
    } else {
        TerminateProcess(c.process, kChildHung);
        WaitForSingleObject(c.process, kChildBound);
    }
    CloseHandle(c.process);
    return code;
}

// Every child ends with the host's exit code, none hangs in the library's
// process detach. The opening children end 0 to 600 ms after their call
// starts, spread evenly, which under emulation falls across the window
// thread's steps from its start to the window's first paint. Each child costs
// a Wine process start (seconds under emulation), so the suite runs 12 of
// each and two at a time; ORVANDEL_EXIT_CHILDREN=N runs N of each.
TEST(Win32Exit, HostEndsWhileItsBoxIsUp) {
    const char* env = getenv("ORVANDEL_EXIT_CHILDREN");
    const int children = env && atoi(env) > 0 ? atoi(env) : 12;
    const struct {
        const char* mode;
        int children;
        bool delayed;
    } rows[] = {
        {"waiting", children, false},
        {"opening", children, true},
        {"font-lock-held", 1, false},
    };
    const int parallel = 2;
    for (const auto& row : rows) {
        int failures = 0;
        for (int i = 0; i < row.children && failures == 0; i += parallel) {
            Child batch[parallel];
            int k = 0;
            for (; k < parallel && i + k < row.children; ++k) {
                std::string args = row.mode;
                if (row.delayed) args += " " + std::to_string((i + k) * 600 / row.children);
                batch[k] = start_child(args);
            }
            for (int j = 0; j < k; ++j) {
                DWORD code = finish_child(batch[j]);
                EXPECT_EQ(code, kHostExitCode) << "--exit-child " << batch[j].args
                                               << (code == kChildHung ? " hung" : "");
                if (code != kHostExitCode) ++failures;
            }
        }
    }
}

std::wstring widen(const char* s) { return std::wstring(s, s + strlen(s)); }

// What Windows' file properties and the tools that take stock of DLLs read
// from the version resource, read back from the built DLL the same way.
TEST(Win32Load, TheVersionResourceNamesTheProductFileVersionsAndCopyright) {
    const std::wstring path = dll_path();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_NE(size, 0u) << "no version resource, error " << GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    const struct {
        const wchar_t* name;
        std::wstring want;
    } rows[] = {
        {L"ProductName", L"Orvandel"},
        {L"OriginalFilename", L"Orvandel.dll"},
        {L"InternalName", L"Orvandel"},
        {L"FileDescription", L"Text-drawn message box"},
        {L"FileVersion", widen(ORVANDEL_VERSION_STRING)},
        {L"ProductVersion", widen(ORVANDEL_VERSION_STRING)},
        {L"LegalCopyright", widen(ORVANDEL_COPYRIGHT)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.name, row.name + wcslen(row.name)));
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + row.name;
        void* value = nullptr;
        UINT units = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), key.c_str(), &value, &units) && value != nullptr) << "missing";
        EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), row.want);
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size));
    ASSERT_GE(fixed_size, sizeof *fixed);
    const DWORD ms = MAKELONG(ORVANDEL_VERSION_MINOR, ORVANDEL_VERSION_MAJOR);
    const DWORD ls = MAKELONG(0, ORVANDEL_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, ms);
    EXPECT_EQ(fixed->dwFileVersionLS, ls);
    EXPECT_EQ(fixed->dwProductVersionMS, ms);
    EXPECT_EQ(fixed->dwProductVersionLS, ls);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && strcmp(argv[1], "--exit-child") == 0) {
        return run_exit_child(argv[2], argc >= 4 ? atoi(argv[3]) : 0);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
