// Orvandel beside the system's MessageBoxW, same caption and message, in one
// run, and the floor the 1 ms polling allows. Figures only; never pass/fail.
//
//   scripts/bench-msgbox.sh [--arch 32|64] [ROUNDS] [--xdotool] [--idle-ms N]
//
// runs this program (orvandel_bench_msgbox.exe, beside the DLL) on a display
// of its own and hands it the Wine server's pid. Each round measures, for
// both boxes:
//   open     call -> frame visible
//   drawn    call -> last element drawn, read back from the window's pixels
//            (polled every 1 ms): for Orvandel the prompt row, the text
//            area's last row of cells; for MessageBoxW every visible child
//            control. An element counts as drawn when its pixels hold both
//            a light one (its background) and a dark one (text or frame), so
//            neither an erased nor an uninitialised surface passes.
//   answer   key -> return: Enter as WM_KEYDOWN/WM_KEYUP posted to the
//            window that has the box thread's focus, or (--xdotool) typed
//            by xdotool into the X window once the box has the focus; the
//            same way for both boxes. xdotool's own start is in the figure.
//   idle     CPU of this process and of the Wine server while the box waits
//            (after a 250 ms settle), in % of one core
// and once per round the floor: two bare threads that only PeekMessageW and
// Sleep(1), the polling the library's two waiting threads are held to.
// CPU comes from /proc/<pid>/task/*/schedstat (nanoseconds), read through Z:.
// The Wine server's pid comes from ORVANDEL_WINESERVER_PID.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/acceptance/box_driver.h"
#include "../tests/win32_pixels.h"
#include "../tests/win32_xdotool.h"
#include "win32_timing.h"

namespace {

// --- CPU of a Unix process, all its threads --------------------------------------

std::string read_small_file(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    char buf[1024] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    return std::string(buf, n);
}

// This process's Unix pid. Wine's process ids are its own, and Z:\proc\self
// is the Wine server's (it opens the files): the one process whose command
// line names this program is this one.
std::string self_pid() {
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const char* base = exe + n;
    while (base > exe && base[-1] != '\\' && base[-1] != '/') base--;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA("Z:\\proc\\*", &fd);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string found;
    do {
        if (fd.cFileName[0] < '0' || fd.cFileName[0] > '9') continue;
        std::string cmd = read_small_file(std::string("Z:\\proc\\") + fd.cFileName + "\\cmdline");
        if (cmd.find(base) != std::string::npos && cmd.find("wine-run") == std::string::npos) {
            found = fd.cFileName;
            break;
        }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return found;
}

// Milliseconds on a CPU, summed over the process's threads; -1 when unknown.
double cpu_ms(const std::string& pid) {
    if (pid.empty()) return -1;
    std::string dir = "Z:\\proc\\" + pid + "\\task\\";
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return -1;
    double ns = 0;
    int tasks = 0;
    do {
        if (fd.cFileName[0] == '.') continue;
        std::string s = read_small_file(dir + fd.cFileName + "\\schedstat");
        if (s.empty()) continue;
        ns += std::strtod(s.c_str(), nullptr);
        tasks++;
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return tasks ? ns / 1e6 : -1;
}

struct Cpu {
    std::string self = self_pid();
    std::string server = [] {
        const char* p = std::getenv("ORVANDEL_WINESERVER_PID");
        return std::string(p ? p : "");
    }();
};

struct Idle {
    double process_pct = -1, server_pct = -1;
    double total() const { return process_pct + (server_pct > 0 ? server_pct : 0); }
};

Idle measure_idle(const Cpu& cpu, DWORD ms) {
    double c0 = cpu_ms(cpu.self), s0 = cpu_ms(cpu.server), t0 = now_ms();
    Sleep(ms);
    double wall = now_ms() - t0;
    double c1 = cpu_ms(cpu.self), s1 = cpu_ms(cpu.server);
    Idle r;
    if (c0 >= 0 && c1 >= 0) r.process_pct = 100.0 * (c1 - c0) / wall;
    if (s0 >= 0 && s1 >= 0) r.server_pct = 100.0 * (s1 - s0) / wall;
    return r;
}

// --- the floor: two bare pollers --------------------------------------------------

volatile LONG g_stop_pollers = 0;

DWORD WINAPI poller(void*) {
    MSG m;
    while (!g_stop_pollers) {
        if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) Sleep(1);
    }
    return 0;
}

Idle measure_floor(const Cpu& cpu, DWORD ms) {
    g_stop_pollers = 0;
    HANDLE t[2] = {CreateThread(nullptr, 0, poller, nullptr, 0, nullptr),
                   CreateThread(nullptr, 0, poller, nullptr, 0, nullptr)};
    Sleep(250);
    Idle r = measure_idle(cpu, ms);
    InterlockedExchange(&g_stop_pollers, 1);
    WaitForMultipleObjects(2, t, TRUE, 5000);
    CloseHandle(t[0]);
    CloseHandle(t[1]);
    return r;
}

// --- pixels --------------------------------------------------------------------

// Whether rows [y, y + h) of `w`'s client area hold a light pixel and a dark
// one, read from the window's own DC.
bool drawn_band(HWND w, int y, int h) {
    RECT rc;
    if (!GetClientRect(w, &rc) || rc.right <= 0 || h <= 0) return false;
    HDC src = GetDC(w);
    const tw::Image img = tw::read_dc(src, rc.right, h, y);
    ReleaseDC(w, src);
    bool light = false, dark = false;
    for (size_t i = 0; i < img.px.size() && !(light && dark); i++) {
        const uint32_t r = (img.px[i] >> 16) & 0xFF, g = (img.px[i] >> 8) & 0xFF, b = img.px[i] & 0xFF;
        if (r >= 0xC0 && g >= 0xC0 && b >= 0xC0) light = true;
        if (r < 0x80 && g < 0x80 && b < 0x80) dark = true;
    }
    return light && dark;
}

BOOL CALLBACK child_drawn(HWND child, LPARAM lp) {
    if (!IsWindowVisible(child)) return TRUE;
    RECT rc;
    GetClientRect(child, &rc);
    if (!drawn_band(child, 0, rc.bottom)) {
        *reinterpret_cast<bool*>(lp) = false;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK count_child(HWND, LPARAM n) {
    ++*reinterpret_cast<int*>(n);
    return TRUE;
}

// kind 0: Orvandel's prompt row; 1: every control of MessageBoxW's dialog.
bool box_drawn(int kind, HWND frame, int line_height) {
    if (kind == 0) {
        HWND area = GetWindow(frame, GW_CHILD);
        RECT rc;
        if (!area || !GetClientRect(area, &rc) || rc.bottom < line_height) return false;
        return drawn_band(area, rc.bottom - line_height, line_height);
    }
    bool all = true;
    int children = 0;
    EnumChildWindows(frame, count_child, reinterpret_cast<LPARAM>(&children));
    if (children == 0) return false;
    EnumChildWindows(frame, child_drawn, reinterpret_cast<LPARAM>(&all));
    return all;
}

// --- keys -------------------------------------------------------------------------

// The window that has the keyboard focus on the box's thread, once the box
// is the foreground window and the focus is inside it; null after `ms`.
HWND wait_box_focus(HWND frame, DWORD ms) {
    double t0 = now_ms();
    while (now_ms() - t0 < ms) {
        GUITHREADINFO gti{};
        gti.cbSize = sizeof gti;
        if (GetForegroundWindow() == frame &&
            GetGUIThreadInfo(GetWindowThreadProcessId(frame, nullptr), &gti) && gti.hwndFocus &&
            (gti.hwndFocus == frame || IsChild(frame, gti.hwndFocus)) && x_window_of(frame) != 0) {
            return gti.hwndFocus;
        }
        Sleep(1);
    }
    return nullptr;
}

// Enter into the box; the time from the key to the call's return, or -1.
double answer(HWND frame, HANDLE thread, bool xdotool) {
    HWND focus = wait_box_focus(frame, 20000);
    if (!focus) return -1;
    double t0 = now_ms();
    if (xdotool) {
        wchar_t args[96];
        swprintf(args, 96, L"windowfocus --sync %lu key Return", x_window_of(frame));
        if (run_xdotool(args, 20000) != 0) return -1;
    } else {
        const LPARAM scan = MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_VSC) << 16;
        PostMessageW(focus, WM_KEYDOWN, VK_RETURN, scan | 1);
        PostMessageW(focus, WM_KEYUP, VK_RETURN, scan | 1 | 0xC0000000);
    }
    if (WaitForSingleObject(thread, 20000) != WAIT_OBJECT_0) return -1;
    return now_ms() - t0;
}

// --- one box --------------------------------------------------------------------

struct Figures {
    double open_ms = -1, drawn_ms = -1, answer_ms = -1;
    Idle idle;
};

struct SysBox {
    const wchar_t* caption;
    const wchar_t* message;
    static DWORD WINAPI run(void* p) {
        auto* s = static_cast<SysBox*>(p);
        MessageBoxW(nullptr, s->message, s->caption, MB_OK);
        return 0;
    }
};

const wchar_t kMessage[] = L"The quick brown fox\r\njumps over the lazy dog.";

// kind 0: Orvandel; 1: MessageBoxW.
Figures measure(int kind, int round, const Cpu& cpu, bool xdotool, DWORD idle_ms, int line_height) {
    Figures fig;
    std::wstring cap = (kind ? L"bench sys " : L"bench orv ") + std::to_wstring(round);
    box::Call call;
    SysBox sys{cap.c_str(), kMessage};
    HANDLE thread;
    const double t0 = now_ms();
    if (kind == 0) {
        call.caption = box::Arg(cap);
        call.message = box::Arg(kMessage);
        call.start();
        thread = call.thread;
    } else {
        thread = CreateThread(nullptr, 0, SysBox::run, &sys, 0, nullptr);
    }
    const wchar_t* cls = kind == 0 ? L"VORANTEXT" : L"#32770";
    HWND frame = nullptr;
    while (now_ms() - t0 < 20000) {
        if (!frame) frame = FindWindowW(cls, cap.c_str());
        if (frame && fig.open_ms < 0 && IsWindowVisible(frame)) fig.open_ms = now_ms() - t0;
        if (fig.open_ms >= 0 && box_drawn(kind, frame, line_height)) {
            fig.drawn_ms = now_ms() - t0;
            break;
        }
        Sleep(1);
    }
    if (frame) {
        Sleep(250);
        fig.idle = measure_idle(cpu, idle_ms);
        fig.answer_ms = answer(frame, thread, xdotool);
    }
    if (WaitForSingleObject(thread, 20000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "round %d: the %s box did not return\n", round, kind ? "MessageBoxW" : "Orvandel");
        PostMessageW(frame, WM_CLOSE, 0, 0);
    }
    if (kind == 1) CloseHandle(thread);
    return fig;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    bool xdotool = false;
    DWORD idle_ms = 3000;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--xdotool")) {
            xdotool = true;
        } else if (!std::strcmp(argv[i], "--idle-ms") && i + 1 < argc) {
            idle_ms = static_cast<DWORD>(std::atoi(argv[++i]));
        } else {
            rounds = std::atoi(argv[i]);
        }
    }
    Cpu cpu;
    const int line_height = box::cell_size().line_height;
    std::printf("%d-bit, keys %s, idle over %lu ms, process pid %s, server pid %s\n",
                static_cast<int>(sizeof(void*) * 8), xdotool ? "typed by xdotool" : "posted",
                static_cast<unsigned long>(idle_ms), cpu.self.empty() ? "unknown" : cpu.self.c_str(),
                cpu.server.empty() ? "unknown (set ORVANDEL_WINESERVER_PID)" : cpu.server.c_str());
    std::printf("%-12s %5s %9s %9s %10s %9s %9s %9s\n", "box", "round", "open ms", "drawn ms", "answer ms",
                "cpu %", "server %", "total %");
    std::vector<double> col[3][6];
    auto keep = [&](int k, const Figures& f) {
        const double v[6] = {f.open_ms, f.drawn_ms, f.answer_ms, f.idle.process_pct, f.idle.server_pct,
                             f.idle.total()};
        for (int i = 0; i < 6; i++)
            if (v[i] >= 0) col[k][i].push_back(v[i]);
    };
    const char* names[3] = {"Orvandel", "MessageBoxW", "2 pollers"};
    for (int r = 0; r < rounds; r++) {
        for (int kind = 0; kind < 2; kind++) {
            Figures f = measure(kind, r, cpu, xdotool, idle_ms, line_height);
            keep(kind, f);
            std::printf("%-12s %5d %9.1f %9.1f %10.1f %9.2f %9.2f %9.2f\n", names[kind], r, f.open_ms, f.drawn_ms,
                        f.answer_ms, f.idle.process_pct, f.idle.server_pct, f.idle.total());
        }
        Figures floor;
        floor.idle = measure_floor(cpu, idle_ms);
        keep(2, floor);
        std::printf("%-12s %5d %9s %9s %10s %9.2f %9.2f %9.2f\n", names[2], r, "", "", "", floor.idle.process_pct,
                    floor.idle.server_pct, floor.idle.total());
        std::fflush(stdout);
    }
    std::printf("\nmedians of %d rounds\n", rounds);
    std::printf("%-12s %9s %9s %10s %9s %9s %9s\n", "box", "open ms", "drawn ms", "answer ms", "cpu %", "server %",
                "total %");
    double m[3][6];
    for (int k = 0; k < 3; k++) {
        for (int i = 0; i < 6; i++) m[k][i] = median(col[k][i]);
        if (k < 2) {
            std::printf("%-12s %9.1f %9.1f %10.1f %9.2f %9.2f %9.2f\n", names[k], m[k][0], m[k][1], m[k][2], m[k][3],
                        m[k][4], m[k][5]);
        } else {
            std::printf("%-12s %9s %9s %10s %9.2f %9.2f %9.2f\n", names[k], "", "", "", m[k][3], m[k][4], m[k][5]);
        }
    }
    // The 60 ms are the pauses the box is held to: 20 ms between showing
    // the frame and focusing it, 40 ms after the open.
    std::printf("\nOrvandel drawn - 60 ms: %.1f ms beside MessageBoxW's %.1f ms (%.2fx)\n", m[0][1] - 60, m[1][1],
                (m[0][1] - 60) / m[1][1]);
    std::printf("Orvandel idle: %.2f %% of a core beside the floor's %.2f %% (%.2fx)\n", m[0][5], m[2][5],
                m[0][5] / m[2][5]);
    std::printf("Orvandel answer: %.1f ms beside MessageBoxW's %.1f ms (%.2fx)\n", m[0][2], m[1][2],
                m[0][2] / m[1][2]);
    return 0;
}
