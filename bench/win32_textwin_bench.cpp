// Figures of the text window under Wine (not a test): open latency (call to
// window visible), close latency, cost per printed row, and the CPU that the
// Wine process and wineserver spend while a wait for a key idles. Each
// figure is the median of repeated runs, but the first rows of characters
// the cell font lacks, which search the system's fonts once per process.
//
//   win32_textwin_bench.exe [repeats]
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "runtime/registry.h"
#include "runtime/runtime.h"
#include "strings/dynstr.h"
#include "textwin/textwin.h"
#include "win32_timing.h"

namespace {

const uint32_t kNoLocals[] = {0};
const ProcDescriptor kNoLocalsDescriptor{kNoLocals};

StrHandle make_wide(const std::u16string& s) {
    StrHandle h = str_alloc_wide(static_cast<uint32_t>(s.size()));
    if (h) memcpy(reinterpret_cast<void*>(h), s.data(), s.size() * 2);
    return h;
}

HWND open_window(const std::u16string& caption, int columns, int rows) {
    ProcFrame f;
    frame_init(f, &kNoLocalsDescriptor);
    StrHandle h = make_wide(caption);
    tmp_push_ref(f, h);
    uintptr_t area = open_text_window(f, 0, columns, rows, 50, 50);
    str_free(h);
    return reinterpret_cast<HWND>(area);
}

void print(const std::u16string& s) {
    ProcFrame f;
    frame_init(f, &kNoLocalsDescriptor);
    tmp_push_owned(f, make_wide(s));
    text_print(f, kAnyTextWindow);
}

// Time from the open call until a second thread sees the frame visible.
struct Watch {
    volatile double seen = 0;
    volatile bool stop = false;
};

DWORD WINAPI watch_visible(void* p) {
    Watch* w = static_cast<Watch*>(p);
    while (!w->stop) {
        HWND frame = FindWindowW(L"VORANTEXT", L"Bench");
        if (frame != nullptr && IsWindowVisible(frame)) {
            w->seen = now_ms();
            return 0;
        }
        Sleep(0);
    }
    return 0;
}

// utime + stime of a Linux process, in clock ticks, read through the Z:
// drive; -1 when it cannot be read.
long long cpu_ticks(const char* pid) {
    char path[64];
    snprintf(path, sizeof path, "Z:\\proc\\%s\\stat", pid);
    FILE* f = fopen(path, "rb");
    if (!f) return -1;
    char buf[1024];
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[n] = 0;
    const char* p = strrchr(buf, ')');   // the command may hold spaces
    if (!p) return -1;
    long long fields[16] = {};
    // Fields after the command: state(3) ... utime(14) stime(15).
    int field = 2;
    for (const char* q = p + 2; *q && field < 15; ++field) {
        while (*q == ' ') ++q;
        if (field >= 3) fields[field] = atoll(q);
        while (*q && *q != ' ') ++q;
    }
    return fields[13] + fields[14];
}

// The wineserver's Linux pid: the process whose command line names it.
std::string find_wineserver() {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA("Z:\\proc\\*", &fd);
    if (h == INVALID_HANDLE_VALUE) return "";
    std::string found;
    do {
        if (fd.cFileName[0] < '0' || fd.cFileName[0] > '9') continue;
        std::string path = std::string("Z:\\proc\\") + fd.cFileName + "\\cmdline";
        FILE* f = fopen(path.c_str(), "rb");
        if (!f) continue;
        char buf[512] = {};
        size_t n = fread(buf, 1, sizeof buf - 1, f);
        fclose(f);
        for (size_t i = 0; i < n; ++i) if (buf[i] == 0) buf[i] = ' ';
        if (strstr(buf, "wineserver")) found = fd.cFileName;
    } while (found.empty() && FindNextFileA(h, &fd));
    FindClose(h);
    return found;
}

DWORD WINAPI wait_for_key(void*) {
    ProcFrame f;
    frame_init(f, &kNoLocalsDescriptor);
    text_wait_key(f, kAnyTextWindow);
    tmp_drop(f);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int repeats = argc > 1 ? atoi(argv[1]) : 15;
    if (library_entry(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)), kProcessAttach, 0) != 1) {
        fprintf(stderr, "attach failed\n");
        return 1;
    }
    // A character the cell font lacks makes the first row that holds it
    // search the system's fonts, once per range and cell height; later rows
    // find the font kept. Kanji: the font mapper's pick for the script.
    // A private-use character, which no font has: every family is tried.
    open_window(u"Bench", 40, 10);
    const struct {
        const char* what;
        std::u16string row;
    } firsts[] = {
        {"kanji", u"\u6F22\u5B57\u306E\u30C6\u30B9\u30C8"},
        {"Hebrew", u"\u05D0\u05D1\u05D2"},
        {"private use (no font has it)", u"\uE000\uE001"},
    };
    for (const auto& first : firsts) {
        double f0 = now_ms();
        print(first.row);
        double f1 = now_ms();
        text_newline(kAnyTextWindow);
        double a0 = now_ms();
        print(first.row);
        double a1 = now_ms();
        text_newline(kAnyTextWindow);
        printf("print: first row of %s %.1f ms, the same row again %.1f ms\n", first.what, f1 - f0, a1 - a0);
    }
    text_close(kAnyTextWindow);

    std::vector<double> visible, returned, closing, per_row;
    for (int i = 0; i < repeats; ++i) {
        Watch w;
        HANDLE watcher = CreateThread(nullptr, 0, watch_visible, &w, 0, nullptr);
        double t0 = now_ms();
        HWND area = open_window(u"Bench", 40, 10);
        double t1 = now_ms();
        w.stop = true;
        WaitForSingleObject(watcher, 5000);
        CloseHandle(watcher);
        if (area == nullptr) {
            fprintf(stderr, "open failed\n");
            return 1;
        }
        if (w.seen > 0) visible.push_back(w.seen - t0);
        returned.push_back(t1 - t0);

        // Full rows with a line break each; past the tenth every one scrolls.
        const int kRows = 40;
        std::u16string row(40, u'x');
        double p0 = now_ms();
        for (int r = 0; r < kRows; ++r) {
            print(row);
            text_newline(kAnyTextWindow);
        }
        per_row.push_back((now_ms() - p0) / kRows);

        double c0 = now_ms();
        text_close(kAnyTextWindow);
        closing.push_back(now_ms() - c0);
    }
    printf("open: call -> frame visible   median %.1f ms (%zu runs)\n", median(visible), visible.size());
    printf("open: call -> return (incl. 40 ms pause)  median %.1f ms\n", median(returned));
    printf("close: text_close             median %.2f ms\n", median(closing));
    printf("print: one full row + newline median %.2f ms (scrolling rows included)\n", median(per_row));

    // Idle: a wait for a key that nobody types.
    std::string server = find_wineserver();
    long ticks_per_s = 100;
    std::vector<double> own_pct, server_pct;
    for (int i = 0; i < 3; ++i) {
        open_window(u"Bench", 40, 10);
        HANDLE waiter = CreateThread(nullptr, 0, wait_for_key, nullptr, 0, nullptr);
        Sleep(500);
        long long a0 = cpu_ticks("self");
        long long s0 = server.empty() ? -1 : cpu_ticks(server.c_str());
        double t0 = now_ms();
        Sleep(3000);
        long long a1 = cpu_ticks("self");
        long long s1 = server.empty() ? -1 : cpu_ticks(server.c_str());
        double secs = (now_ms() - t0) / 1000;
        if (a0 >= 0 && a1 >= 0) own_pct.push_back(100.0 * (a1 - a0) / ticks_per_s / secs);
        if (s0 >= 0 && s1 >= 0) server_pct.push_back(100.0 * (s1 - s0) / ticks_per_s / secs);
        text_close(kAnyTextWindow);   // ends the wait with the empty string
        WaitForSingleObject(waiter, 5000);
        CloseHandle(waiter);
    }
    if (!own_pct.empty()) printf("idle wait: Wine process CPU   median %.1f %% of one core\n", median(own_pct));
    if (!server_pct.empty()) printf("idle wait: wineserver CPU     median %.1f %% of one core\n", median(server_pct));
    if (own_pct.empty() || server_pct.empty()) printf("idle wait: /proc not readable (server pid '%s')\n", server.c_str());
    return 0;
}
