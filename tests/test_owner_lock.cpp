// The owner lock (text, registry and font-list locks): a holder that has
// ended is taken over, by one waiter only, and a holder that runs, or that
// the system will not answer for, never is: the wait for it ends at a bound. The identities are made through
// the platform seam, natively and under Wine alike: a holder whose id a new
// thread now has is an identity with that thread's id and another stamp.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "runtime/owner_lock.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kBound = std::chrono::seconds(20);

// A thread that runs until told to stop, and its identity.
struct RunningThread {
    std::mutex m;
    std::condition_variable cv;
    bool stop = false;
    std::atomic<uint64_t> identity{0};
    std::thread t;
    RunningThread() {
        t = std::thread([this] {
            identity = thread_identity();
            std::unique_lock<std::mutex> hold(m);
            cv.wait(hold, [this] { return stop; });
        });
        while (identity == 0) std::this_thread::yield();
    }
    ~RunningThread() {
        {
            std::lock_guard<std::mutex> hold(m);
            stop = true;
        }
        cv.notify_all();
        t.join();
    }
};

// The identity of a holder that has ended and whose id `now` has now: the
// same id, another creation stamp.
uint64_t ended_holder_with_the_id_of(uint64_t now) { return now ^ (uint64_t{2} << 32); }

// Takes `word` as `identity` would, on this thread, and leaves it taken.
void take_as(OwnerLockWord* word, uint64_t identity) {
    platform_override_thread_identity(identity);
    owner_lock_take(word);
    platform_override_thread_identity(0);
}

bool until(const std::function<bool()>& done, Clock::duration bound = kBound) {
    for (auto end = Clock::now() + bound; !done();) {
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct Waiters {
    std::atomic<int> inside{0};
    std::atomic<int> most_inside{0};
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    // Each takes the lock, stays a moment with it, and lets go.
    void start(OwnerLockWord* word, int n) {
        for (int i = 0; i < n; ++i) {
            threads.emplace_back([this, word] {
                owner_lock_take(word);
                const int now = ++inside;
                for (int seen = most_inside; now > seen && !most_inside.compare_exchange_weak(seen, now);) {
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                --inside;
                owner_lock_release(word);
                ++done;
            });
        }
    }
    // Joins the threads once they are done; one stuck for good (a failed
    // case) is left behind with the process.
    void finish(int n) {
        if (until([&] { return done == n; })) {
            for (auto& t : threads) t.join();
        } else {
            for (auto& t : threads) t.detach();
        }
    }
};

TEST(OwnerLock, ATakeoverNeedsAnEndedHolderAndGoesToOneWaiter) {
    const struct {
        const char* name;
        bool refused;        // the system will not look at the holder
        uint32_t look_ms;    // how long a look takes: long, so racing waiters look at once
        int waiters;
        int rounds;
    } rows[] = {
        {"a holder whose id a new thread has", false, 0, 1, 1},
        {"waiters racing to take over", false, 30, 4, 10},
        {"a look-up the system refuses", true, 0, 1, 1},
    };
    RunningThread reuser;   // the new thread of the ended holder's id
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (int round = 0; round < row.rounds; ++round) {
            static OwnerLockWord word = 0;
            word = 0;
            take_as(&word, ended_holder_with_the_id_of(reuser.identity));
            platform_refuse_thread_lookups(row.refused);
            platform_slow_thread_lookups(row.look_ms);
            Waiters w;
            w.start(&word, row.waiters);
            if (row.refused) {
                // Long enough for many looks at the holder.
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                EXPECT_EQ(w.done, 0) << "a holder that could not be looked at lost its lock";
                platform_refuse_thread_lookups(false);
            }
            w.finish(row.waiters);
            EXPECT_EQ(w.done, row.waiters) << "a waiter spun past its holder's end";
            EXPECT_LE(w.most_inside, 1) << "two holders at once";
            platform_slow_thread_lookups(0);
            if (w.done != row.waiters || w.most_inside > 1) break;
        }
    }
    platform_refuse_thread_lookups(false);
}

TEST(OwnerLock, AHolderThatRunsKeepsItsLock) {
    RunningThread holder;
    OwnerLockWord word = 0;
    take_as(&word, holder.identity);
    Waiters w;
    w.start(&word, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(w.done, 0) << "a running holder's lock was taken";
    owner_lock_release(&word);   // as the holder would
    w.finish(2);
    EXPECT_EQ(w.done, 2);
    EXPECT_LE(w.most_inside, 1);
}

// A holder that cannot be shown to have ended keeps its lock, and the wait
// for it ends at the bound (shortened here) without taking it: neither a
// look-up the system refuses nor an identity it cannot tell from the
// running thread of that id proves the holder gone.
TEST(OwnerLock, AWaitWithoutProofEndsAtTheBoundWithoutTheLock) {
    const struct {
        const char* name;
        bool refused;
        bool runs;   // the holder's identity is the running thread's own
    } rows[] = {
        {"a look-up the system refuses", true, false},
        {"an identity the system cannot tell from a running thread", false, true},
    };
    RunningThread reuser;
    platform_lock_bound_ms(300);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        static OwnerLockWord word = 0;
        const uint64_t holder = row.runs ? reuser.identity.load() : ended_holder_with_the_id_of(reuser.identity);
        word = 0;
        take_as(&word, holder);
        platform_refuse_thread_lookups(row.refused);
        std::atomic<int> taken{-1};
        std::thread waiter([&] { taken = owner_lock_take(&word) ? 1 : 0; });
        if (until([&] { return taken >= 0; })) {
            waiter.join();
        } else {
            waiter.detach();   // a wait without its bound: the failure below
        }
        EXPECT_EQ(taken, 0) << "a lock that may still be held was taken, or the wait had no end";
        EXPECT_EQ(word, holder) << "the holder's word changed";
        platform_refuse_thread_lookups(false);
    }
    platform_lock_bound_ms(0);
}

}  // namespace
