// Figures of an owner lock's waiter under Wine (not a test): the CPU a
// thread spends waiting while another holds the lock for a while, beside the
// CPU of a thread that only polls every 1 ms for as long, the floor the
// library's waits are held to. Medians of the rounds.
//
//   win32_lock_wait.exe [hold_ms] [rounds]
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include "runtime/owner_lock.h"
#include "runtime/runtime.h"
#include "win32_timing.h"

namespace {

OwnerLockWord g_word;
DWORD g_hold_ms = 2000;

// The calling thread's CPU, kernel and user, in ms (the system counts it in
// steps of its timer: 10 ms or so under Wine).
double thread_cpu_ms() {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return -1;
    auto ms = [](const FILETIME& t) {
        return static_cast<double>(static_cast<unsigned long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

struct Figures {
    volatile LONG held = 0;
    double waited_ms = 0;
    double cpu_ms = 0;
    bool taken = false;
};

DWORD WINAPI hold(void* p) {
    auto* f = static_cast<Figures*>(p);
    if (!owner_lock_take(&g_word)) return 1;
    InterlockedExchange(&f->held, 1);
    Sleep(g_hold_ms);
    owner_lock_release(&g_word);
    return 0;
}

DWORD WINAPI wait(void* p) {
    auto* f = static_cast<Figures*>(p);
    const double start = now_ms(), cpu = thread_cpu_ms();
    f->taken = owner_lock_take(&g_word);
    f->cpu_ms = thread_cpu_ms() - cpu;
    f->waited_ms = now_ms() - start;
    if (f->taken) owner_lock_release(&g_word);
    return 0;
}

DWORD WINAPI poll(void* p) {
    auto* f = static_cast<Figures*>(p);
    const double start = now_ms(), cpu = thread_cpu_ms();
    while (now_ms() - start < g_hold_ms) Sleep(1);
    f->cpu_ms = thread_cpu_ms() - cpu;
    return 0;
}

void run(LPTHREAD_START_ROUTINE routine, Figures* f) {
    HANDLE t = CreateThread(nullptr, 0, routine, f, 0, nullptr);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
}

}  // namespace

int main(int argc, char** argv) {
    g_hold_ms = argc > 1 ? static_cast<DWORD>(atoi(argv[1])) : 2000;
    const int rounds = argc > 2 ? atoi(argv[2]) : 5;
    if (library_entry(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)), kProcessAttach, 0) != 1) {
        fprintf(stderr, "attach failed\n");
        return 1;
    }
    std::vector<double> waiting, polling;
    for (int i = 0; i < rounds; ++i) {
        Figures holder, waiter, poller;
        HANDLE h = CreateThread(nullptr, 0, hold, &holder, 0, nullptr);
        while (holder.held == 0 && WaitForSingleObject(h, 1) == WAIT_TIMEOUT) {
        }
        run(wait, &waiter);
        WaitForSingleObject(h, INFINITE);
        CloseHandle(h);
        run(poll, &poller);
        printf("round %d: the waiter %s the lock after %.0f ms, with %.0f ms of CPU; polling alone: %.0f ms\n", i + 1,
               waiter.taken ? "took" : "gave up", waiter.waited_ms, waiter.cpu_ms, poller.cpu_ms);
        waiting.push_back(waiter.cpu_ms);
        polling.push_back(poller.cpu_ms);
    }
    printf("median CPU behind a holder of %lu ms: waiter %.0f ms, 1 ms polling %.0f ms\n",
           static_cast<unsigned long>(g_hold_ms), median(waiting), median(polling));
    return 0;
}
