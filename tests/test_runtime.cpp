#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "runtime/errors.h"
#include "runtime/registry.h"
#include "test_support.h"

namespace {

// Runs fn on a new thread and waits for it; the runtime sees a thread with
// no context of its own.
template <class Fn>
void on_new_thread(Fn fn) {
    std::thread t(fn);
    t.join();
}

TEST(LibraryCallback, AcceptsExactlyTheFourReasons) {
    const struct {
        uint32_t reason;
        uint32_t expect;
    } rows[] = {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 0}, {0xFFFFFFFFu, 0}, {0x80000000u, 0}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.reason);
        EXPECT_EQ(library_callback(0, r.reason, 0), r.expect);
    }
}

TEST(Attach, RefusedOffTheNtFamilyWithNothingSetUp) {
    int32_t globals = platform_counters().live_globals;
    platform_override_platform_id(1);
    EXPECT_EQ(library_entry(0x10000, kProcessAttach, 0), 0u);
    platform_override_platform_id(0);
    EXPECT_EQ(g_runtime.first_context, nullptr);
    EXPECT_EQ(platform_counters().live_globals, globals);
    // A loader may still send the detach: it finds nothing to free.
    library_entry(0x10000, kProcessDetach, 0);
    EXPECT_EQ(platform_counters().live_globals, globals);
}

TEST(Attach, RefusedWhenTheFirstContextCannotBeMade) {
    int32_t globals = platform_counters().live_globals;
    platform_fail_allocations_after(0);
    EXPECT_EQ(library_entry(0x10000, kProcessAttach, 0), 0u);
    platform_fail_allocations_after(-1);
    EXPECT_EQ(platform_counters().live_globals, globals);
    library_entry(0x10000, kProcessDetach, 0);
    EXPECT_EQ(platform_counters().live_globals, globals);
    // The slot went back: a later attach works.
    ASSERT_EQ(library_entry(0x10000, kProcessAttach, 0), 1u);
    library_entry(0x10000, kProcessDetach, 0);
}

class Lifecycle : public RuntimeTest {};

TEST_F(Lifecycle, AttachLeavesAContextAndClearedState) {
    ASSERT_NE(g_runtime.first_context, nullptr);
    EXPECT_EQ(get_thread_context(), g_runtime.first_context);
    EXPECT_EQ(g_runtime.first_context->code_page, 0u);
    EXPECT_EQ(get_thread_user_pointer(), g_runtime.first_context);
    EXPECT_EQ(g_runtime.shared.registry.head, nullptr);
    EXPECT_EQ(g_runtime.shared.registry.lock, 0);
    EXPECT_EQ(g_runtime.shared.text.current_text_window, nullptr);
    EXPECT_EQ(g_runtime.module_handle, 0x10000u);
    EXPECT_EQ(g_runtime.platform_version.size, 148u);
    // 64-bit precision, round to nearest, all exceptions masked; bit 6 reads
    // back set on some processors.
    EXPECT_EQ(read_fpu_control() & 0x1F3F, 0x133F);
}

TEST_F(Lifecycle, ThreadAttachCreatesNoContextAndDetachFreesOne) {
    int32_t globals = platform_counters().live_globals;
    void* seen = reinterpret_cast<void*>(1);
    on_new_thread([&] {
        EXPECT_EQ(library_entry(0x10000, kThreadAttach, 0), 1u);
        seen = tls_get(g_runtime.tls_slot);
        EXPECT_EQ(library_entry(0x10000, kThreadDetach, 0), 1u);
    });
    EXPECT_EQ(seen, nullptr);
    EXPECT_EQ(platform_counters().live_globals, globals);

    on_new_thread([&] {
        library_entry(0x10000, kThreadAttach, 0);
        ASSERT_NE(get_thread_context(), nullptr);
        EXPECT_EQ(platform_counters().live_globals, globals + 1);
        library_entry(0x10000, kThreadDetach, 0);
        EXPECT_EQ(tls_get(g_runtime.tls_slot), nullptr);
        EXPECT_EQ(get_thread_user_pointer(), nullptr);
    });
    EXPECT_EQ(platform_counters().live_globals, globals);
}

TEST_F(Lifecycle, SecondThreadInheritsCodePageAfterAttachingThreadEnded) {
    // Re-attach on a thread that then ends, as a host's loader thread may.
    library_entry(0x10000, kProcessDetach, 0);
    on_new_thread([] {
        ASSERT_EQ(library_entry(0x10000, kProcessAttach, 0), 1u);
        library_entry(0x10000, kThreadDetach, 0);
    });
    EXPECT_EQ(g_runtime.first_context, nullptr);
    on_new_thread([] {
        StrHandle a = make_ansi("7");
        StrHandle w = ansi_to_wide(a, 0);   // first use makes the context
        ThreadContext* ctx = static_cast<ThreadContext*>(tls_get(g_runtime.tls_slot));
        ASSERT_NE(ctx, nullptr);
        EXPECT_EQ(ctx->code_page, 0u);
        EXPECT_EQ(wide_of(w), u"7");
        str_free(a);
        str_free(w);
        library_entry(0x10000, kThreadDetach, 0);
    });
}

TEST_F(Lifecycle, ContextAllocationFailureIsRetried) {
    on_new_thread([] {
        platform_fail_allocations_after(0);
        EXPECT_EQ(get_thread_context(), nullptr);
        EXPECT_EQ(tls_get(g_runtime.tls_slot), nullptr);
        platform_fail_allocations_after(-1);
        EXPECT_NE(get_thread_context(), nullptr);
        library_entry(0x10000, kThreadDetach, 0);
    });
}

TEST_F(Lifecycle, ProcessDetachReleasesTheDetachingThreadsContext) {
    int32_t globals = platform_counters().live_globals;
    library_entry(0x10000, kProcessDetach, 0);
    EXPECT_EQ(platform_counters().live_globals, globals - 1);
    ASSERT_EQ(library_entry(0x10000, kProcessAttach, 0), 1u);   // for TearDown
}

// Runs fn on this thread under a 10 s watchdog. A call still running then
// is spinning on a lock nobody will free and cannot be stopped, so the
// watchdog ends the whole test program, failed, rather than let it hang.
template <class Fn>
void must_return(const char* what, Fn fn) {
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 1000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done) return;
        fprintf(stderr, "FAILED: %s did not return within 10 s\n", what);
        fflush(stderr);
        _Exit(1);
    });
    fn();
    done = true;
    watchdog.join();
}

std::atomic<int> g_detach_hook_calls{0};
uintptr_t g_detach_hook_module = 0;
void count_detach_hook(uintptr_t module) {
    g_detach_hook_module = module;
    ++g_detach_hook_calls;
}

// At unload (reserved 0) process detach gives back what the library made, so
// it can be loaded again, and lets the layer above give back its own through
// the detach hook. At process end (reserved set) the system has already
// ended every other thread, possibly one inside a lock, and reclaims
// everything itself: the detach then takes no lock, frees nothing and calls
// no hook, so a lock word left at -1 cannot keep the host from ending.
TEST_F(Lifecycle, ProcessDetachTearsDownOnlyAtUnload) {
    const struct {
        const char* name;
        uintptr_t reserved;
        OwnerLockWord* held;      // lock word a vanished thread left taken
        bool tears_down;
    } rows[] = {
        {"unload", 0, nullptr, true},
        {"process end", 1, nullptr, false},
        {"process end, font list lock held", 1, &g_runtime.shared.fonts.lock, false},
        {"process end, registry lock held", 1, &g_runtime.shared.registry.lock, false},
        {"process end, text lock held", 1, &g_runtime.shared.text.text_lock, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const PlatformCounters before = platform_counters();
        FontRecord* const fonts = g_runtime.shared.fonts.head;
        ASSERT_NE(fonts, nullptr);
        ASSERT_NE(get_thread_context(), nullptr);
        if (row.held) *row.held = ~uint64_t{0};
        g_runtime.shared.detach_hook = count_detach_hook;
        g_detach_hook_calls = 0;
        must_return(row.name, [&] {
            EXPECT_EQ(library_entry(0x10000, kProcessDetach, row.reserved), 1u);
        });
        EXPECT_EQ(g_detach_hook_calls, row.tears_down ? 1 : 0) << "the detach hook";
        const PlatformCounters after = platform_counters();
        if (row.tears_down) {
            EXPECT_EQ(g_detach_hook_module, 0x10000u);
            EXPECT_EQ(g_runtime.shared.fonts.head, nullptr);
            EXPECT_EQ(after.live_strings, before.live_strings - 3) << "the three font records";
            EXPECT_EQ(after.live_globals, before.live_globals - 1) << "the thread's context";
            EXPECT_EQ(g_runtime.tls_slot, kTlsOutOfIndexes);
        } else {
            EXPECT_EQ(g_runtime.shared.fonts.head, fonts);
            EXPECT_EQ(after.live_strings, before.live_strings);
            EXPECT_EQ(after.live_globals, before.live_globals);
            EXPECT_NE(g_runtime.tls_slot, kTlsOutOfIndexes);
            // What a real process end leaves to the system, given back here
            // so the next row starts clean.
            if (row.held) *row.held = 0;
            library_entry(0x10000, kProcessDetach, 0);
        }
        ASSERT_EQ(library_entry(0x10000, kProcessAttach, 0), 1u);
    }
}

TEST_F(Lifecycle, GlobalFreeFailureWhileReleasingIsIgnored) {
    on_new_thread([] {
        ThreadContext* ctx = get_thread_context();
        ASSERT_NE(ctx, nullptr);
        platform_fail_global_free(true);
        library_entry(0x10000, kThreadDetach, 0);
        platform_fail_global_free(false);
        EXPECT_EQ(tls_get(g_runtime.tls_slot), nullptr);
        global_free(ctx);   // the refused free kept the block
    });
}

class Errors : public RuntimeTest {};

TEST_F(Errors, RaiseErrorRecordsTheNumberOrFive) {
    const struct {
        int32_t raised;
        uint8_t recorded;
    } rows[] = {{0, 5}, {-1, 5}, {256, 5}, {1, 1}, {7, 7}, {240, 240}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.raised);
        ProcFrame f;
        frame_init(f, nullptr);
        raise_error(&f, r.raised);
        EXPECT_EQ(f.error_slot, r.recorded);
    }
}

TEST_F(Errors, InternalRaiseOfZeroRecordsFiftyOne) {
    const struct {
        uint32_t raised;
        uint8_t recorded;
    } rows[] = {{0, 51}, {0x100, 51}, {0x107, 7}, {9, 9}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.raised);
        ProcFrame f;
        frame_init(f, nullptr);
        raise_internal(&f, r.raised);
        EXPECT_EQ(f.error_slot, r.recorded);
    }
}

TEST_F(Errors, RaisingGivesTheThreadAContext) {
    on_new_thread([] {
        ProcFrame f;
        frame_init(f, nullptr);
        raise_error(&f, 9);
        EXPECT_NE(tls_get(g_runtime.tls_slot), nullptr);
        library_entry(0x10000, kThreadDetach, 0);
    });
}

TEST_F(Errors, KnownNumbersHaveDescriptions) {
    for (uint32_t n : {5u, 7u, 9u, 51u, 241u}) EXPECT_NE(error_description(n), nullptr) << n;
    EXPECT_EQ(error_description(6), nullptr);
}

// Fatal numbers end the process with 255; each runs in a child process.
TEST(FatalErrors, EndTheProcessWithExitCode255) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int32_t n : {241, 255}) {
        SCOPED_TRACE(n);
        EXPECT_EXIT(
            {
                library_entry(0x10000, kProcessAttach, 0);
                ProcFrame f;
                frame_init(f, nullptr);
                raise_error(&f, n);
                exit_process(0);   // not reached when the raise is fatal
            },
            ::testing::ExitedWithCode(255), "");
    }
}

}  // namespace
