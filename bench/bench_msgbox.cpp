// Orvandel beside the system's MessageBoxW, same caption and message, in one
// run: call -> box fully drawn, key -> return, and the CPU the process and
// wineserver burn while the box waits. Figures only; never pass/fail.
//
//   tests/acceptance/run-with-keys.sh scripts/wine-run [--arch 64] --
//       orvandel_bench_msgbox.exe [ROUNDS]
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../tests/acceptance/box_driver.h"

namespace {

double now_ms() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * c.QuadPart / f.QuadPart;
}

// CPU seconds of this process (from Windows) and of wineserver (from
// /proc, read through the Z: drive).
double process_cpu_ms() {
    FILETIME a, b, k, u;
    GetProcessTimes(GetCurrentProcess(), &a, &b, &k, &u);
    auto ms = [](FILETIME t) { return (double(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e4; };
    return ms(k) + ms(u);
}

double wineserver_cpu_ms() {
    const char* pid = std::getenv("ORVANDEL_WINESERVER_PID");
    if (!pid) return -1;
    std::string path = std::string("Z:\\proc\\") + pid + "\\stat";
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return -1;
    char buf[1024] = {};
    std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    const char* p = std::strrchr(buf, ')');
    unsigned long utime = 0, stime = 0;
    if (!p || std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return -1;
    return (utime + stime) * 10.0;   // USER_HZ 100
}

struct Figures {
    double open_ms = 0, answer_ms = 0, idle_cpu_pct = 0, server_cpu_pct = 0;
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

// kind 0: Orvandel; 1: MessageBoxW.
Figures measure(int kind, int round) {
    Figures fig;
    std::wstring cap = (kind ? L"bench sys " : L"bench orv ") + std::to_wstring(round);
    const wchar_t* msg = L"The quick brown fox\r\njumps over the lazy dog.";
    box::Call call;
    SysBox sys{cap.c_str(), msg};
    HANDLE thread;
    double t0 = now_ms();
    if (kind == 0) {
        call.caption = box::Arg(cap);
        call.message = box::Arg(msg);
        call.start();
        thread = call.thread;
    } else {
        thread = CreateThread(nullptr, 0, SysBox::run, &sys, 0, nullptr);
    }
    // Drawn: the window exists, is visible and has nothing left to paint.
    HWND w = nullptr;
    while (now_ms() - t0 < 15000) {
        w = kind == 0 ? FindWindowW(L"VORANTEXT", cap.c_str()) : FindWindowW(L"#32770", cap.c_str());
        if (w && IsWindowVisible(w) && !GetUpdateRect(w, nullptr, FALSE)) break;
        Sleep(1);
    }
    fig.open_ms = now_ms() - t0;
    double c0 = process_cpu_ms(), s0 = wineserver_cpu_ms(), i0 = now_ms();
    Sleep(2000);
    double wall = now_ms() - i0;
    fig.idle_cpu_pct = 100.0 * (process_cpu_ms() - c0) / wall;
    fig.server_cpu_pct = s0 >= 0 ? 100.0 * (wineserver_cpu_ms() - s0) / wall : -1;
    double t1 = now_ms();
    box::press(w, {"Return"});
    WaitForSingleObject(thread, 15000);
    fig.answer_ms = now_ms() - t1;
    if (kind == 1) CloseHandle(thread);
    return fig;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    std::printf("%-12s %5s %12s %12s %10s %12s\n", "box", "round", "drawn ms", "key->ret ms", "idle cpu%",
                "server cpu%");
    for (int r = 0; r < rounds; r++)
        for (int kind = 0; kind < 2; kind++) {
            Figures f = measure(kind, r);
            std::printf("%-12s %5d %12.1f %12.1f %10.1f %12.1f\n", kind ? "MessageBoxW" : "Orvandel", r,
                        f.open_ms, f.answer_ms, f.idle_cpu_pct, f.server_cpu_pct);
        }
    return 0;
}
