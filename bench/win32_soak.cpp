// What many boxes leave behind in the host (not a test): the real
// Orvandel.dll, loaded by path, every box answered by a key posted to its
// text area.
//
//   win32_soak.exe [soak [BOXES [EVERY]]] [--dll PATH]
//       BOXES boxes in a row (default 10000) on one thread; GDI objects,
//       USER windows, threads, handles and private bytes before the first
//       box, after it (the font and class the process keeps), and every
//       EVERY boxes (default 1000).
//   win32_soak.exe race [THREADS [CALLS]] [--dll PATH]
//       THREADS threads (default 4) each making CALLS calls (default 25) at
//       once: what the calls returned, the most boxes seen on screen at one
//       time, and the boxes and threads left once every call has returned.
//
// PATH defaults to the Orvandel.dll beside this program. Under Wine:
//   scripts/wine-run build/win32-bench/win32_soak.exe soak 10000
#include <windows.h>
#include <oleauto.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "../tests/win32_process_counts.h"

namespace {

using OrvandelFn = int(__stdcall*)(BSTR*, BSTR*, int, int, BSTR*, BSTR*, BSTR*);

OrvandelFn g_box = nullptr;
volatile LONG g_stop = 0;

double now_s() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// --- what the process holds -------------------------------------------------------

struct WindowCount {
    int all;     // top-level windows of this process and their children
    int boxes;   // top-level VORANTEXT windows
};

BOOL CALLBACK count_child(HWND, LPARAM lp) {
    ++reinterpret_cast<WindowCount*>(lp)->all;
    return TRUE;
}

BOOL CALLBACK count_window(HWND hwnd, LPARAM lp) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId()) return TRUE;
    auto* c = reinterpret_cast<WindowCount*>(lp);
    ++c->all;
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    c->boxes += wcscmp(cls, L"VORANTEXT") == 0;
    EnumChildWindows(hwnd, count_child, lp);
    return TRUE;
}

WindowCount windows() {
    WindowCount c{0, 0};
    EnumWindows(count_window, reinterpret_cast<LPARAM>(&c));
    return c;
}

// Committed private memory, summed over the address space: Wine reports no
// private usage through the process memory counters.
size_t private_bytes() {
    size_t total = 0;
    MEMORY_BASIC_INFORMATION mbi;
    for (const char* p = nullptr; VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi;) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE) total += mbi.RegionSize;
        const char* next = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize;
        if (next <= p) break;
        p = next;
    }
    return total;
}

// --- answering ----------------------------------------------------------------------

// Posts `key` once to the text area of every box that appears, until stopped.
struct Answerer {
    wchar_t key;
    std::vector<HWND> answered;   // most recent first; a handle may come back later
};

void answer_box(Answerer* a, HWND frame) {
    if (!IsWindowVisible(frame)) return;
    for (HWND h : a->answered) {
        if (h == frame) return;
    }
    HWND area = GetWindow(frame, GW_CHILD);
    if (area == nullptr) return;
    PostMessageW(area, WM_CHAR, a->key, 0);
    a->answered.insert(a->answered.begin(), frame);
    if (a->answered.size() > 64) a->answered.pop_back();
}

DWORD WINAPI answer_boxes(void* p) {
    auto* a = static_cast<Answerer*>(p);
    while (!g_stop) {
        for (HWND f = nullptr; (f = tw::next_box(f)) != nullptr;) answer_box(a, f);
        Sleep(2);
    }
    return 0;
}

BSTR bstr(const std::wstring& s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

// --- soak ---------------------------------------------------------------------------------

void soak_row(int boxes, int base_threads, double start) {
    // A window thread ends shortly after its call returns.
    for (int i = 0; i < 2000 && tw::process_threads() > base_threads; ++i) Sleep(1);
    WindowCount w = windows();
    printf("%7d %8d %8d %8d %8lu %12.1f %9.1f\n", boxes, tw::live_gdi_objects(), w.all, tw::process_threads(),
           static_cast<unsigned long>(tw::process_handles()),
           private_bytes() / 1024.0, now_s() - start);
    fflush(stdout);
}

int soak(int boxes, int every) {
    Answerer a{L'\r', {}};
    HANDLE answerer = CreateThread(nullptr, 0, answer_boxes, &a, 0, nullptr);
    BSTR caption = bstr(L"Soak"), message = bstr(L"Line one of the soak\r\nand line two");
    // The answerer's thread is there before the first row.
    const int base_threads = tw::process_threads();
    printf("%7s %8s %8s %8s %8s %12s %9s\n", "boxes", "gdi", "windows", "threads", "handles", "private KB",
           "elapsed s");
    const double start = now_s();
    soak_row(0, base_threads, start);
    int zero = 0;
    for (int i = 1; i <= boxes; ++i) {
        zero += g_box(&caption, &message, 0, 0, nullptr, nullptr, nullptr) == 0;
        if (i == 1 || i % every == 0 || i == boxes) soak_row(i, base_threads, start);
    }
    g_stop = 1;
    WaitForSingleObject(answerer, 5000);
    CloseHandle(answerer);
    printf("%d of %d calls answered with Enter (0)\n", zero, boxes);
    SysFreeString(caption);
    SysFreeString(message);
    return 0;
}

// --- race -----------------------------------------------------------------------------------

struct Caller {
    int index;
    int calls;
    HANDLE go;
    int results[4];   // 0, 1, 2, anything else
};

DWORD WINAPI call_boxes(void* p) {
    auto* c = static_cast<Caller*>(p);
    WaitForSingleObject(c->go, INFINITE);
    for (int i = 0; i < c->calls; ++i) {
        BSTR caption = bstr(L"race " + std::to_wstring(c->index) + L" " + std::to_wstring(i));
        BSTR message = bstr(L"Which one?"), yes = bstr(L"Yes"), no = bstr(L"No");
        int r = g_box(&caption, &message, 0, 0, &yes, &no, nullptr);
        ++c->results[r >= 0 && r <= 2 ? r : 3];
        SysFreeString(caption);
        SysFreeString(message);
        SysFreeString(yes);
        SysFreeString(no);
    }
    return 0;
}

volatile LONG g_most_boxes = 0;

DWORD WINAPI watch_boxes(void*) {
    while (!g_stop) {
        const LONG n = tw::process_boxes();
        if (n > g_most_boxes) g_most_boxes = n;
        Sleep(1);
    }
    return 0;
}

int race(int thread_count, int calls) {
    // One box first: the class and the font exist before the counting.
    Answerer warm{L'\r', {}};
    HANDLE warm_answerer = CreateThread(nullptr, 0, answer_boxes, &warm, 0, nullptr);
    BSTR caption = bstr(L"race warm-up"), message = bstr(L"warm");
    g_box(&caption, &message, 0, 0, nullptr, nullptr, nullptr);
    SysFreeString(caption);
    SysFreeString(message);
    g_stop = 1;
    WaitForSingleObject(warm_answerer, 5000);
    CloseHandle(warm_answerer);
    g_stop = 0;
    Sleep(500);
    const int base_threads = tw::process_threads();

    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<Caller> callers(thread_count);
    std::vector<HANDLE> handles_of(thread_count);
    for (int t = 0; t < thread_count; ++t) {
        callers[t] = Caller{t, calls, go, {0, 0, 0, 0}};
        handles_of[t] = CreateThread(nullptr, 0, call_boxes, &callers[t], 0, nullptr);
    }
    Answerer a{L'1', {}};
    HANDLE answerer = CreateThread(nullptr, 0, answer_boxes, &a, 0, nullptr);
    HANDLE watcher = CreateThread(nullptr, 0, watch_boxes, nullptr, 0, nullptr);
    const double start = now_s();
    SetEvent(go);
    DWORD waited = WaitForMultipleObjects(thread_count, handles_of.data(), TRUE, 30 * 60 * 1000);
    const double took = now_s() - start;
    g_stop = 1;
    WaitForSingleObject(answerer, 5000);
    WaitForSingleObject(watcher, 5000);
    int totals[4] = {0, 0, 0, 0};
    for (const Caller& c : callers) {
        for (int k = 0; k < 4; ++k) totals[k] += c.results[k];
    }
    // Window threads of closed boxes end on their own; give them time.
    Sleep(2000);
    printf("threads x calls      %d x %d\n", thread_count, calls);
    printf("all calls returned   %s (%.1f s)\n", waited == WAIT_TIMEOUT ? "no" : "yes", took);
    printf("results 0 / 1 / 2 / other   %d / %d / %d / %d\n", totals[0], totals[1], totals[2], totals[3]);
    printf("most boxes at once   %ld\n", g_most_boxes);
    printf("boxes left           %d\n", windows().boxes);
    printf("threads left         %d\n", tw::process_threads() - base_threads);
    fflush(stdout);
    // Boxes left behind keep window threads polling forever.
    ExitProcess(0);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::wstring dll;
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "--dll") {
            dll.assign(args[i + 1].begin(), args[i + 1].end());
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
            break;
        }
    }
    if (dll.empty()) {
        wchar_t self[MAX_PATH];
        DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
        dll.assign(self, n);
        dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"Orvandel.dll";
    }
    HMODULE module = LoadLibraryW(dll.c_str());
    g_box = module ? reinterpret_cast<OrvandelFn>(GetProcAddress(module, "Orvandel")) : nullptr;
    if (g_box == nullptr) {
        fprintf(stderr, "cannot load %ls\n", dll.c_str());
        return 1;
    }
    std::string mode = args.empty() ? "soak" : args[0];
    auto number = [&](size_t i, int fallback) { return args.size() > i ? atoi(args[i].c_str()) : fallback; };
    if (mode == "race") return race(number(1, 4), number(2, 25));
    if (mode == "soak") return soak(number(1, 10000), number(2, 1000));
    fprintf(stderr, "usage: win32_soak.exe [soak [BOXES [EVERY]] | race [THREADS [CALLS]]] [--dll PATH]\n");
    return 2;
}
