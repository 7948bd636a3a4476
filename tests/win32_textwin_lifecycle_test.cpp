// Many text windows in a row leave the process as they found it: GDI
// objects, windows, threads, handles and the registry. Its own executable,
// since 500 windows take a while under Wine.
#include "win32_textwin_support.h"

namespace tw {
namespace {

constexpr int kCycles = 500;

TEST_F(TextWindowTest, ManyOpenPrintCloseCyclesLeaveNothingBehind) {
    // The first window makes the font handle, which the font list keeps.
    HWND warm = open_window(u"Warm-up", 10, 2, 20, 20);
    ASSERT_NE(warm, nullptr);
    HANDLE warm_thread =
        OpenThread(SYNCHRONIZE, FALSE, GetWindowThreadProcessId(warm, nullptr));
    ASSERT_NE(warm_thread, nullptr);
    print(u"warm");
    text_close(kAnyTextWindow);
    ASSERT_EQ(WaitForSingleObject(warm_thread, kBound), WAIT_OBJECT_0);
    CloseHandle(warm_thread);
    FontRecord* font = find_font_record(2);
    const uintptr_t font_handle = font->font_handle;
    ASSERT_NE(font_handle, 0u);
    const int32_t font_users = font->use_count;

    const int gdi = live_gdi_objects();
    const int windows = process_windows();
    const int base_threads = process_threads();
    const DWORD handles = process_handles();

    for (int i = 0; i < kCycles; ++i) {
        HWND area = open_window(u"Cycle", 12, 3, 20 + i % 50, 20);
        ASSERT_NE(area, nullptr) << "cycle " << i;
        print(u"cycle");
        text_newline(kAnyTextWindow);
        print(u"0123456789abcdef");   // wraps and scrolls
        text_close(kAnyTextWindow);
        ASSERT_EQ(current(), nullptr);
        ASSERT_EQ(registry_size(), 0) << "cycle " << i;
        ASSERT_EQ(font->font_handle, font_handle) << "the font handle is made once";
    }
    // Window threads end on their own after the close; give the last one time.
    EXPECT_TRUE(eventually([&] { return process_threads() == base_threads; }))
        << process_threads() << " threads, " << base_threads << " before";
    EXPECT_EQ(process_windows(), windows);
    EXPECT_EQ(process_handles(), handles) << "window thread handles left open";
    EXPECT_EQ(font->use_count, font_users);
    EXPECT_EQ(registry_size(), 0);
    if (gdi < 0) GTEST_SKIP() << kGdiNotCounted;
    EXPECT_EQ(live_gdi_objects(), gdi);
}

}  // namespace
}  // namespace tw
