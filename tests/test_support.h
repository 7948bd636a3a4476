// Shared fixtures: a runtime attached for the length of one test, and small
// helpers to make strings from literals in test tables.
#pragma once

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "platform/platform.h"
#include "runtime/runtime.h"
#include "strings/dynstr.h"

class RuntimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform_fail_allocations_after(-1);
        platform_fail_global_free(false);
        platform_override_platform_id(0);
        ASSERT_EQ(library_entry(0x10000, kProcessAttach, 0), 1u);
        baseline_ = platform_counters();
    }
    void TearDown() override {
        platform_fail_allocations_after(-1);
        platform_fail_global_free(false);
        PlatformCounters now = platform_counters();
        EXPECT_EQ(now.live_strings, baseline_.live_strings) << "string blocks leaked or freed twice";
        library_entry(0x10000, kProcessDetach, 0);
    }
    PlatformCounters baseline_{};
};

// A wide dynamic string owned by the test.
inline StrHandle make_wide(const std::u16string& s) {
    StrHandle h = str_alloc_wide(static_cast<uint32_t>(s.size()));
    if (h) memcpy(reinterpret_cast<void*>(h), s.data(), s.size() * 2);
    return h;
}

inline StrHandle make_ansi(const std::string& s) {
    StrHandle h = str_alloc_ansi(static_cast<uint32_t>(s.size()));
    if (h) memcpy(reinterpret_cast<void*>(h), s.data(), s.size());
    return h;
}

// A block with an arbitrary stored byte length, as a caller may hand one in.
inline StrHandle make_bytes(const void* data, uint32_t bytes) {
    StrHandle h = str_alloc_ansi(bytes);
    if (h && bytes) memcpy(reinterpret_cast<void*>(h), data, bytes);
    return h;
}

inline std::u16string wide_of(StrHandle h) {
    const char16_t* d;
    uint32_t n = str_len_wide(h, &d);
    return std::u16string(d, n);
}

inline std::string ansi_of(StrHandle h) {
    const char* d;
    uint32_t n = str_len_ansi(h, &d);
    return std::string(d, n);
}

// For traces: UTF-16 test text shown as bytes, other units as \uXXXX.
inline std::string narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}
