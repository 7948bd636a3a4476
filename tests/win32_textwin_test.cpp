// The text window under Wine: geometry, output, keys and closing. Windows
// are found by class and caption from a second thread; keys are real key
// presses on the X display (xdotool). Every wait is bounded.
#include "win32_textwin_support.h"

namespace tw {
namespace {

// --- geometry -----------------------------------------------------------------------

TEST_F(TextWindowTest, FrameSitsWhereAskedAndItsClientIsExactlyTheCells) {
    const struct {
        const char16_t* caption;
        int columns, rows, top, left;
        LONG style;
    } rows[] = {
        {u"Geometry one", 20, 5, 40, 60, static_cast<LONG>(0x80C20000)},
        {u"G", 7, 3, 200, 300, static_cast<LONG>(0x80C20000)},
        {u"", 33, 2, 10, 500, static_cast<LONG>(0x80820000)},
    };
    for (const auto& row : rows) {
        std::u16string caption = row.caption;
        SCOPED_TRACE(std::string(caption.begin(), caption.end()));
        HWND area = open_window(caption, row.columns, row.rows, row.top, row.left);
        ASSERT_NE(area, nullptr);
        WindowRecord* r = current();
        ASSERT_NE(r, nullptr);
        ASSERT_GT(r->char_width, 0);
        const int line = r->char_height + r->ext_leading;
        EXPECT_EQ(r->cur_x, 0);
        EXPECT_EQ(r->cur_y, 0);

        on_second_thread([&] {
            HWND frame = find_frame(reinterpret_cast<const wchar_t*>(caption.c_str()));
            ASSERT_NE(frame, nullptr);
            EXPECT_EQ(GetParent(area), frame);
            RECT outer, client, area_rect;
            GetWindowRect(frame, &outer);
            GetClientRect(frame, &client);
            GetWindowRect(area, &area_rect);
            EXPECT_EQ(outer.left, row.left);
            EXPECT_EQ(outer.top, row.top);
            EXPECT_EQ(client.right, row.columns * r->char_width);
            EXPECT_EQ(client.bottom, row.rows * line);
            EXPECT_EQ(area_rect.right - area_rect.left, client.right);
            EXPECT_EQ(area_rect.bottom - area_rect.top, client.bottom);
            POINT origin{0, 0};
            ClientToScreen(frame, &origin);
            EXPECT_EQ(area_rect.left, origin.x);
            EXPECT_EQ(area_rect.top, origin.y);

            LONG style = GetWindowLongW(frame, GWL_STYLE);
            // The system adds WS_CLIPSIBLINGS to every top-level window.
            EXPECT_EQ(style & ~(WS_VISIBLE | WS_CLIPSIBLINGS), row.style);
            EXPECT_TRUE(style & WS_VISIBLE);
            EXPECT_FALSE(style & WS_SYSMENU) << "no system menu, so no close box";
            EXPECT_EQ(GetWindowLongW(frame, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
            EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(area, GWL_STYLE)), 0x5000050Du);

            GUITHREADINFO gui{};
            gui.cbSize = sizeof gui;
            ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(area, nullptr), &gui));
            EXPECT_EQ(gui.hwndFocus, area);

            // Button face everywhere, on screen and in the back buffer.
            uint32_t face = rgb_of(GetSysColor(COLOR_BTNFACE));
            for (const Image& img : {capture(area), read_dc(reinterpret_cast<HDC>(r->mem_dc), r->width, r->height)}) {
                ASSERT_EQ(img.width, client.right);
                ASSERT_EQ(img.height, client.bottom);
                int other = 0;
                for (uint32_t p : img.px) other += p != face;
                EXPECT_EQ(other, 0) << "pixels that are not the button face colour";
            }
        });
        text_close(kAnyTextWindow);
    }
}

// --- output ---------------------------------------------------------------------------

struct OutputCase {
    const char* name;
    int columns, rows;
    std::vector<std::u16string> prints;   // u"\n" stands for text_newline
    std::vector<Run> expect;
    int cursor_column, cursor_row;
};

TEST_F(TextWindowTest, TextLandsInItsCells) {
    const OutputCase cases[] = {
        {"two rows", 10, 3, {u"Hello", u"\n", u"World"}, {{0, 0, u"Hello"}, {0, 1, u"World"}}, 5, 1},
        {"a print goes on where the last ended", 12, 2, {u"abc", u"def"}, {{0, 0, u"abc"}, {3, 0, u"def"}}, 6, 0},
        {"exactly a row fills it and the next print starts a new row", 6, 3, {u"ABCDEF", u"gh"},
         {{0, 0, u"ABCDEF"}, {0, 1, u"gh"}}, 2, 1},
        {"a long string wraps at the right edge", 4, 3, {u"abcdefghij"},
         {{0, 0, u"abcd"}, {0, 1, u"efgh"}, {0, 2, u"ij"}}, 2, 2},
        {"a run from mid-row is limited to the cells left", 5, 3, {u"abc", u"defgh"},
         {{0, 0, u"abc"}, {3, 0, u"de"}, {0, 1, u"fgh"}}, 3, 1},
        {"a line break on the last row scrolls every row up and clears the last", 8, 3,
         {u"r0", u"\n", u"r1", u"\n", u"r2", u"\n"}, {{0, 0, u"r1"}, {0, 1, u"r2"}}, 0, 2},
        {"scrolling then printing fills the cleared row", 8, 2, {u"one", u"\n", u"two", u"\n", u"three"},
         {{0, 0, u"two"}, {0, 1, u"three"}}, 5, 1},
        {"wrapping on the last row scrolls", 3, 2, {u"abcdefghi"}, {{0, 0, u"def"}, {0, 1, u"ghi"}}, 3, 1},
        {"CR and LF print as glyphs on the same row", 10, 2, {u"a\r\nb"}, {{0, 0, u"a\r\nb"}}, 4, 0},
        {"an empty print draws nothing", 5, 2, {u"", u"x"}, {{0, 0, u"x"}}, 1, 0},
        {"wide characters take two cells each and a print goes on after them", 10, 2, {u"\u6F22\u5B57", u"ab"},
         {{0, 0, u"\u6F22\u5B57", true}, {4, 0, u"ab"}}, 6, 0},
        {"a wide character that only the next row holds goes there", 5, 3, {u"abcd\u6F22x"},
         {{0, 0, u"abcd"}, {0, 1, u"\u6F22x", true}}, 3, 1},
        {"a mark stays on the row of its character", 3, 2, {u"abe\u0301c"},
         {{0, 0, u"abe\u0301", true}, {0, 1, u"c"}}, 1, 1},
        // 400 columns asked, fewer on the screen: the row is cut at the
        // text area's edge and kept, not carried on to the next row.
        {"a row of the box wider than its text area is cut at the edge", 400, 2,
         {std::u16string(300, u'x'), u"\n", u"y"}, {{0, 0, std::u16string(300, u'x')}, {0, 1, u"y"}}, 1, 1},
    };
    for (const OutputCase& c : cases) {
        SCOPED_TRACE(c.name);
        HWND area = open_window(u"Output", c.columns, c.rows, 50, 50);
        ASSERT_NE(area, nullptr);
        for (const std::u16string& p : c.prints) {
            if (p == u"\n") {
                text_newline(kAnyTextWindow);
            } else {
                print(p);
            }
        }
        WindowRecord* r = current();
        ASSERT_NE(r, nullptr);
        const int line = r->char_height + r->ext_leading;
        EXPECT_EQ(r->cur_x, c.cursor_column * r->char_width);
        EXPECT_EQ(r->cur_y, c.cursor_row * line);
        Image want = model(r, c.expect);
        Image buffer = read_dc(reinterpret_cast<HDC>(r->mem_dc), r->width, r->height);
        EXPECT_EQ(differing_rows(buffer, want), "") << "back buffer";
        Image screen;
        on_second_thread([&] {
            HWND frame = find_frame(L"Output");
            ASSERT_NE(frame, nullptr);
            screen = capture(area);
        });
        EXPECT_EQ(differing_rows(screen, want), "") << "screen";
        text_close(kAnyTextWindow);
    }
}

// The fonts of the system drawn for what the cell font lacks: a character
// none has (an unassigned code point) hides nothing of its block from the
// search, and a character of every block of the BMP keeps at most
// 24 fonts, whatever the number of blocks.
TEST_F(TextWindowTest, AFailedSearchHidesNothingAndTheFontsKeptStayFew) {
    open_window(u"Warm", 4, 1, 50, 50);
    text_close(kAnyTextWindow);
    ASSERT_TRUE(eventually([] { return registry_size() == 0; }));
    const int gdi = live_gdi_objects();
    HWND area = open_window(u"Fallback", 64, 10, 50, 50);
    ASSERT_NE(area, nullptr);
    print(u"\uFFFF\uFF21");   // a noncharacter no font has, then a fullwidth A of its block
    WindowRecord* r = current();
    ASSERT_NE(r, nullptr);
    const Image box_alone = model(r, {{0, 0, u"\uFFFF\uFF21"}});
    const Image drawn = read_dc(reinterpret_cast<HDC>(r->mem_dc), r->width, r->height);
    const uint32_t face = rgb_of(GetSysColor(COLOR_BTNFACE));
    long differ = 0, ink = 0;
    for (int y = 0; y < r->char_height; ++y) {
        for (int x = r->char_width; x < 3 * r->char_width; ++x) {
            differ += drawn.at(x, y) != box_alone.at(x, y);
            ink += drawn.at(x, y) != face;
        }
    }
    EXPECT_GT(ink, 0) << "the letter after a character no font has is not drawn";
    EXPECT_GT(differ, 0) << "the letter after a character no font has is the cell font's empty box";
    text_newline(kAnyTextWindow);
    std::u16string every_block;
    for (uint32_t block = 0; block < 0x100; ++block) {
        if (block >= 0xD8 && block <= 0xDF) continue;   // surrogates: not characters alone
        every_block += static_cast<char16_t>(block << 8 | 0x41);
    }
    print(every_block);
    text_close(kAnyTextWindow);
    ASSERT_TRUE(eventually([] { return registry_size() == 0; }));
    if (gdi < 0) GTEST_SKIP() << kGdiNotCounted;
    // a few dozen at most, whatever mix of scripts a process shows
    EXPECT_LE(live_gdi_objects() - gdi, 24) << "fonts kept after a box per block";
    printf("GDI objects kept after a character of every BMP block: %d, of them system fonts: %u\n",
           live_gdi_objects() - gdi, find_font_record(2)->system_font_count);
}

TEST_F(TextWindowTest, TextOperationsWithoutAWindowDoNothingAndStillConsume) {
    print(u"nobody sees this");
    text_newline(kAnyTextWindow);
    EXPECT_EQ(wait_key(), u"");
    text_close(kAnyTextWindow);
    EXPECT_EQ(current(), nullptr);
}

// --- keys -------------------------------------------------------------------------------

class KeyTest : public TextWindowTest {
protected:
    void SetUp() override {
        TextWindowTest::SetUp();
        area_ = open_window(u"Keys", 10, 2, 100, 100);
        ASSERT_NE(area_, nullptr);
        // The X focus follows the foreground window; wait until keys arrive.
        ASSERT_TRUE(keys(area_, L"q"));
        ASSERT_TRUE(eventually([] { return current() && current()->pending_char == 'q'; })) << "keys do not reach the window";
        ASSERT_EQ(wait_key(), u"q");
    }
    HWND area_ = nullptr;
};

TEST_F(KeyTest, TheLastOfSeveralKeysWinsAndIsReturnedAtOnce) {
    ASSERT_TRUE(keys(area_, L"--delay 30 a b c"));
    ASSERT_TRUE(eventually([] { return current() && current()->pending_char == 'c'; }));
    EXPECT_EQ(wait_key(), u"c");   // typed before the wait: no waiting
    EXPECT_EQ(current()->pending_char, 0u) << "taking empties the buffer";
}

TEST_F(KeyTest, EnterGivesCarriageReturn) {
    ASSERT_TRUE(keys(area_, L"Return"));
    ASSERT_TRUE(eventually([] { return current() && current()->pending_char != 0; }));
    EXPECT_EQ(wait_key(), u"\r");
}

TEST_F(KeyTest, KeysWithoutACharacterTabAndAltDigitsAreIgnored) {
    const wchar_t* ignored[] = {L"Tab", L"Left", L"Right", L"Up", L"Down", L"F1", L"F5", L"F12", L"alt+1", L"alt+2"};
    for (const wchar_t* k : ignored) ASSERT_TRUE(keys(area_, k));
    // Keys are handled in order: once the marker arrives, the others have been seen.
    ASSERT_TRUE(keys(area_, L"z"));
    ASSERT_TRUE(eventually([] { return current() && current()->pending_char != 0; }));
    EXPECT_EQ(current()->pending_char, static_cast<uint32_t>('z'));
    // Nothing ignored may have come after it either.
    Sleep(200);
    EXPECT_EQ(wait_key(), u"z");
    EXPECT_EQ(current()->pending_char, 0u);
}

TEST_F(KeyTest, AWaitEndsWhenTheKeyIsTyped) {
    HANDLE wait_over = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool typed = false;
    ThreadBody typist{[&] {
        Sleep(100);
        typed = keys(area_, L"x");
        // The bound: a wait still stuck is ended by closing its window.
        if (WaitForSingleObject(wait_over, kBound) != WAIT_OBJECT_0) text_close(kAnyTextWindow);
    }};
    HANDLE t = start_thread(&typist);
    std::u16string got = wait_key();
    SetEvent(wait_over);
    EXPECT_EQ(WaitForSingleObject(t, 2 * kBound), WAIT_OBJECT_0);
    CloseHandle(t);
    CloseHandle(wait_over);
    EXPECT_TRUE(typed);
    EXPECT_EQ(got, u"x");
}

// The drawing objects a text window owns: its memory DC, the back buffer in
// it and its brush. Asked of each object, so it counts where the process's
// handle table cannot be read.
// Sent to a window whose thread is to be killed by the hook below.
const UINT kDieOnRequest = WM_APP + 77;

// How the hook ends the thread: killed, or its own ExitThread.
bool g_die_by_exit = false;

LRESULT CALLBACK die_on_request(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION && reinterpret_cast<const CWPSTRUCT*>(lp)->message == kDieOnRequest) {
        if (g_die_by_exit) ExitThread(9);
        TerminateThread(GetCurrentThread(), 9);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

struct OwnedObjects {
    HGDIOBJ objects[3];
    explicit OwnedObjects(const WindowRecord* r)
        : objects{reinterpret_cast<HGDIOBJ>(r->mem_dc),
                  GetCurrentObject(reinterpret_cast<HDC>(r->mem_dc), OBJ_BITMAP),
                  reinterpret_cast<HGDIOBJ>(r->back_brush)} {}
    int live() const {
        int n = 0;
        for (HGDIOBJ o : objects) n += GetObjectType(o) != 0;
        return n;
    }
};

// A wait on a window that goes away, or can no longer take a key, ends with
// the empty string; the window is then no longer open, and what it owned
// goes with it, however it went.
TEST_F(TextWindowTest, AWaitEndsEmptyWhenItsWindowIsGone) {
    enum How { kReplaced, kClosedFromOutside, kAreaClosedFromOutside, kThreadKilled, kThreadExited };
    const struct {
        const char* how;
        How way;
    } rows[] = {{"closed by another thread's open", kReplaced},
                {"destroyed from outside", kClosedFromOutside},
                {"its text area closed from outside", kAreaClosedFromOutside},
                {"its thread killed, so nothing tore it down", kThreadKilled},
                {"its thread ended from a hook inside it", kThreadExited}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        HWND area = open_window(u"Gone", 10, 2, 100, 100);
        ASSERT_NE(area, nullptr);
        HWND frame = GetParent(area);
        const OwnedObjects owned(current());
        ASSERT_EQ(owned.live(), 3);
        std::u16string got = u"unset";
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ThreadBody waiter{[&] {
            got = wait_key();
            SetEvent(done);
        }};
        HANDLE t = start_thread(&waiter);
        Sleep(50);
        HWND reopened = nullptr;
        if (row.way == kClosedFromOutside) {
            PostMessageW(frame, WM_CLOSE, 0, 0);
        } else if (row.way == kAreaClosedFromOutside) {
            PostMessageW(area, WM_CLOSE, 0, 0);
        } else if (row.way == kReplaced) {
            reopened = open_window(u"Second", 10, 2, 100, 100);
            EXPECT_NE(reopened, nullptr);
        } else {
            // Killed where it holds none of the system's own locks (killed
            // anywhere, it may hold one the whole process then waits on):
            // in a message it is handed, as a host's hook may do.
            const DWORD box_tid = GetWindowThreadProcessId(frame, nullptr);
            HANDLE box_thread = OpenThread(SYNCHRONIZE, FALSE, box_tid);
            ASSERT_NE(box_thread, nullptr);
            g_die_by_exit = row.way == kThreadExited;
            HHOOK kill = SetWindowsHookExW(WH_CALLWNDPROC, die_on_request, nullptr, box_tid);
            ASSERT_NE(kill, nullptr);
            DWORD_PTR ignored;
            SendMessageTimeoutW(frame, kDieOnRequest, 0, 0, SMTO_NORMAL, kBound, &ignored);
            EXPECT_EQ(WaitForSingleObject(box_thread, kBound), WAIT_OBJECT_0);
            UnhookWindowsHookEx(kill);
            CloseHandle(box_thread);
        }
        EXPECT_EQ(WaitForSingleObject(done, kBound), WAIT_OBJECT_0) << "the wait did not notice";
        if (WaitForSingleObject(t, kBound) != WAIT_OBJECT_0) {
            text_close(kAnyTextWindow);   // let a stuck wait end before the waiter goes
            WaitForSingleObject(t, kBound);
        }
        CloseHandle(t);
        CloseHandle(done);
        EXPECT_EQ(got, u"");
        // What the export asks before it waits again.
        EXPECT_FALSE(text_window_is_open(reinterpret_cast<uintptr_t>(area))) << "a box that takes no key is open";
        // The record goes at the frame's WM_NCDESTROY, a moment before the
        // frame itself does. A dead thread's windows are the system's; a
        // frame that lost its text area goes with the close below.
        const bool thread_gone = row.way == kThreadKilled || row.way == kThreadExited;
        if (!thread_gone && row.way != kAreaClosedFromOutside) {
            EXPECT_TRUE(eventually([&] { return !IsWindow(frame); }));
        }
        if (row.way != kReplaced) {
            text_close(reinterpret_cast<uintptr_t>(area));   // what the export does after a wait
            EXPECT_EQ(current(), nullptr);
            EXPECT_EQ(registry_size(), 0) << "records left behind";
            if (!thread_gone) EXPECT_FALSE(IsWindow(frame)) << "the frame outlived its call";
        }
        EXPECT_EQ(owned.live(), 0) << "drawing objects left behind";
        text_close(kAnyTextWindow);
    }
}

// A caller killed while it draws leaves the text lock taken; the next one
// to need it takes it over instead of spinning for ever.
TEST_F(TextWindowTest, TheTextLockOfAKilledThreadIsTakenOver) {
    HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ThreadBody holder{[&] {
        if (!textwin::lock_text()) return;   // never set: the wait below fails
        SetEvent(taken);
        Sleep(4 * kBound);   // killed long before
    }};
    HANDLE t = start_thread(&holder);
    ASSERT_EQ(WaitForSingleObject(taken, kBound), WAIT_OBJECT_0);
    TerminateThread(t, 9);
    ASSERT_EQ(WaitForSingleObject(t, kBound), WAIT_OBJECT_0);
    CloseHandle(t);
    CloseHandle(taken);
    on_second_thread([] {
        HWND area = open_window(u"Taken over", 10, 2, 100, 100);
        EXPECT_NE(area, nullptr);
        print(u"drawn");
        text_close(kAnyTextWindow);
    });
}

// --- closing -----------------------------------------------------------------------------

TEST_F(TextWindowTest, TheUsersCloseIsRefused) {
    HWND area = open_window(u"Refuse", 10, 2, 100, 100);
    ASSERT_NE(area, nullptr);
    HWND frame = GetParent(area);
    ASSERT_TRUE(keys(area, L"alt+F4"));
    // The low four bits of a system command are the system's own: every
    // spelling of SC_CLOSE is the user's close.
    for (WPARAM close : {SC_CLOSE, SC_CLOSE | 1, SC_CLOSE | 2, SC_CLOSE | 0xF}) {
        SendMessageW(frame, WM_SYSCOMMAND, close, 0);
    }
    // A key after Alt+F4 arrives, so Alt+F4 has been handled by then.
    ASSERT_TRUE(keys(area, L"y"));
    EXPECT_TRUE(eventually([] { return current() && current()->pending_char == 'y'; }));
    EXPECT_TRUE(IsWindow(frame));
    EXPECT_TRUE(IsWindow(area));
    EXPECT_EQ(current() ? current()->hwnd : 0, reinterpret_cast<uintptr_t>(area));
}

TEST_F(TextWindowTest, TheCloseRequestDestroysBothWindowsAndEndsTheThread) {
    HWND area = open_window(u"Close", 10, 2, 100, 100);
    ASSERT_NE(area, nullptr);
    HWND frame = GetParent(area);
    DWORD tid = GetWindowThreadProcessId(frame, nullptr);
    HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, tid);
    ASSERT_NE(thread, nullptr);
    uintptr_t brush = current()->back_brush;
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(brush)), static_cast<DWORD>(OBJ_BRUSH));

    text_close(kAnyTextWindow);
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_FALSE(IsWindow(area));
    EXPECT_EQ(current(), nullptr);
    EXPECT_EQ(registry_size(), 0);
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(brush)), 0u) << "the last user deletes the brush";
    ASSERT_EQ(WaitForSingleObject(thread, kBound), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(thread);
    text_close(kAnyTextWindow);   // a second close does nothing
    EXPECT_EQ(current(), nullptr);
}

TEST_F(TextWindowTest, OpeningWhileOpenClosesTheOldWindowFirst) {
    HWND first = open_window(u"First", 10, 2, 100, 100);
    ASSERT_NE(first, nullptr);
    HWND first_frame = GetParent(first);
    HWND second = open_window(u"Second", 12, 3, 150, 150);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(IsWindow(first_frame));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(current()->hwnd, reinterpret_cast<uintptr_t>(second));
    EXPECT_EQ(registry_size(), 2);
    on_second_thread([] {
        EXPECT_EQ(FindWindowW(L"VORANTEXT", L"First"), nullptr);
        EXPECT_NE(FindWindowW(L"VORANTEXT", L"Second"), nullptr);
    });
}

// The first opens of a process register the class; two at once must both
// get their window, one after the other, and leave one window open.
TEST_F(TextWindowTest, TwoFirstOpensAtOnceBothGetTheirWindow) {
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        text_close(kAnyTextWindow);
        ASSERT_TRUE(eventually([] { return registry_size() == 0 && process_boxes() == 0; }));
        if (g_runtime.shared.text.text_class_atom != 0) {
            ASSERT_TRUE(UnregisterClassW(L"VORANTEXT", reinterpret_cast<HINSTANCE>(g_runtime.module_handle)));
            g_runtime.shared.text.text_class_atom = 0;
        }

        HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        // The openers stay until the boxes are counted: a box whose caller
        // has ended goes.
        HANDLE counted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HWND got[2] = {nullptr, nullptr};
        volatile LONG opened = 0;
        ThreadBody bodies[2] = {
            {[&] {
                WaitForSingleObject(go, kBound);
                got[0] = open_window(u"At once", 10, 2, 100, 100);
                InterlockedIncrement(&opened);
                WaitForSingleObject(counted, 4 * kBound);
            }},
            {[&] {
                WaitForSingleObject(go, kBound);
                got[1] = open_window(u"At once", 10, 2, 150, 150);
                InterlockedIncrement(&opened);
                WaitForSingleObject(counted, 4 * kBound);
            }},
        };
        HANDLE threads[2] = {start_thread(&bodies[0]), start_thread(&bodies[1])};
        SetEvent(go);
        EXPECT_TRUE(eventually([&] { return opened == 2; }, 4 * kBound));
        EXPECT_NE(got[0], nullptr);
        EXPECT_NE(got[1], nullptr);
        EXPECT_EQ(process_boxes(), 1);
        EXPECT_NE(g_runtime.shared.text.text_class_atom, 0u);
        SetEvent(counted);
        EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, 4 * kBound), WAIT_OBJECT_0);
        for (HANDLE t : threads) CloseHandle(t);
        CloseHandle(go);
        CloseHandle(counted);
    }
}

// What a call does when its open failed (0) or its window was replaced
// reaches nobody's window: no drawing, no key taken, no close.
TEST_F(TextWindowTest, OperationsForAWindowThatIsNotOpenTouchNothing) {
    HWND replaced = open_window(u"Replaced", 10, 3, 100, 100);
    ASSERT_NE(replaced, nullptr);
    HWND area = open_window(u"Open", 10, 3, 100, 100);
    ASSERT_NE(area, nullptr);
    WindowRecord* r = current();
    ASSERT_NE(r, nullptr);
    print(u"mine", reinterpret_cast<uintptr_t>(area));
    PostMessageW(area, WM_CHAR, 'k', 0);
    ASSERT_TRUE(eventually([&] { return r->pending_char == 'k'; }));
    const Image before = read_dc(reinterpret_cast<HDC>(r->mem_dc), r->width, r->height);
    const int x = r->cur_x, y = r->cur_y;

    const struct {
        const char* what;
        uintptr_t window;
    } rows[] = {{"a failed open", 0}, {"a window another open replaced", reinterpret_cast<uintptr_t>(replaced)}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        print(u"intruder", row.window);
        text_newline(row.window);
        on_second_thread([&] { EXPECT_EQ(wait_key(row.window), u""); });
        EXPECT_FALSE(text_window_is_open(row.window));
        text_close(row.window);

        EXPECT_TRUE(IsWindow(area));
        ASSERT_EQ(current(), r);
        EXPECT_TRUE(text_window_is_open(reinterpret_cast<uintptr_t>(area)));
        EXPECT_EQ(r->pending_char, static_cast<uint32_t>('k'));
        EXPECT_EQ(r->cur_x, x);
        EXPECT_EQ(r->cur_y, y);
        Image after = read_dc(reinterpret_cast<HDC>(r->mem_dc), r->width, r->height);
        EXPECT_EQ(differing_rows(after, before), "");
    }
    EXPECT_EQ(wait_key(reinterpret_cast<uintptr_t>(area)), u"k");
    text_close(reinterpret_cast<uintptr_t>(area));
    EXPECT_FALSE(IsWindow(area));
}

// A failed open shows nothing, leaves nothing and records the step it
// stopped at.
TEST_F(TextWindowTest, ImpossibleSizesFailTheOpenAndLeaveNothing) {
    const struct {
        int columns, rows;
        uint32_t step;
    } rows[] = {{0, 5, kOpenCells}, {5, 0, kOpenCells}, {-3, 2, kOpenCells}, {2, -1, kOpenCells},
                // more than one block holds: what the box shows as text cannot be made
                {0x7FFF, 20000, kOpenShownText}};
    // One window first, and its thread gone: what a process keeps for good
    // (the font, the class) is made by whichever open comes first.
    HWND warm = open_window(u"Warm-up", 10, 2, 20, 20);
    ASSERT_NE(warm, nullptr);
    HANDLE warm_thread = OpenThread(SYNCHRONIZE, FALSE, GetWindowThreadProcessId(warm, nullptr));
    text_close(kAnyTextWindow);
    ASSERT_EQ(WaitForSingleObject(warm_thread, kBound), WAIT_OBJECT_0);
    CloseHandle(warm_thread);
    int windows = process_windows();
    const int gdi = live_gdi_objects();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.columns * 1000 + row.rows);
        g_runtime.shared.text.open_failure = kOpenOk;
        EXPECT_EQ(open_window(u"Bad", row.columns, row.rows, 10, 10), nullptr);
        EXPECT_EQ(g_runtime.shared.text.open_failure, row.step);
        EXPECT_EQ(current(), nullptr);
        EXPECT_TRUE(eventually([] { return registry_size() == 0; }));
        EXPECT_EQ(process_windows(), windows);
        print(u"still nothing");   // no window with a zero cell width is reachable
    }
    if (gdi < 0) GTEST_SKIP() << kGdiNotCounted;
    EXPECT_EQ(live_gdi_objects(), gdi) << "a failed open left drawing objects";
}

// --- larger than the screen ----------------------------------------------------------

// The rows in view of `r` as the test expects them: the part that scrolls
// from `top` on, and the pinned rows beneath, each row i reading "row i".
Image rows_in_view(const WindowRecord* r, int top) {
    std::vector<Run> runs;
    const TextAreaState& state = textwin::area_of(r);
    const int part = state.shown_rows - state.pinned_rows;
    for (int at = 0; at < state.shown_rows; ++at) {
        const int row = at < part ? top + at : state.rows - state.pinned_rows + (at - part);
        const std::string text = "row " + std::to_string(row);
        runs.push_back(Run{0, at, std::u16string(text.begin(), text.end())});
    }
    return model(r, runs);
}

// The frame lies wholly in the work area: where asked when it fits, moved
// the least when not, cut to the work area when larger, its rows then
// scrolling beneath the pinned ones, by the keys a user would try.
TEST_F(TextWindowTest, AWindowLargerThanItsScreenFitsTheWorkAreaAndScrolls) {
    const struct {
        const char* name;
        int columns, rows, pinned, top, left;
        bool moved, cut, scrolls;
    } cases[] = {
        {"fits where asked", 20, 3, 0, 10, 40, false, false, false},
        {"past the right edge: moved left", 20, 3, 0, 10, 1250, true, false, false},
        {"wider than the screen: cut", 100000, 2, 0, 10, 40, true, true, false},
        {"taller than the screen: rows scroll", 30, 200, 3, 10, 40, true, false, true},
        {"both, far below: rows scroll", 4000, 2000, 2, 3000, 40, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Frame fr;
        StrHandle caption = make_wide(u"Larger");
        tmp_push_ref(fr.f, caption);
        HWND area = reinterpret_cast<HWND>(open_text_window(fr.f, 0, c.columns, c.rows, c.top, c.left, c.pinned));
        str_free(caption);
        ASSERT_NE(area, nullptr);
        WindowRecord* r = current();
        ASSERT_NE(r, nullptr);
        const TextAreaState& state = textwin::area_of(r);
        const int line = r->char_height + r->ext_leading;
        EXPECT_EQ(r->width / r->char_width < c.columns, c.cut);
        EXPECT_EQ(state.shown_rows < c.rows, c.scrolls);
        EXPECT_EQ(state.rows, c.rows);
        for (int i = 0; i < c.rows; ++i) {
            if (i > 0) text_newline(kAnyTextWindow);
            const std::string text = "row " + std::to_string(i);
            print(std::u16string(text.begin(), text.end()));
        }
        HWND frame = GetParent(area);
        RECT outer;
        GetWindowRect(frame, &outer);
        MONITORINFO info{};
        info.cbSize = sizeof info;
        GetMonitorInfoW(MonitorFromPoint(POINT{c.left, c.top}, MONITOR_DEFAULTTONEAREST), &info);
        const RECT& work = info.rcWork;
        EXPECT_TRUE(outer.left >= work.left && outer.top >= work.top && outer.right <= work.right &&
                    outer.bottom <= work.bottom)
            << "frame (" << outer.left << ", " << outer.top << ")-(" << outer.right << ", " << outer.bottom
            << ") outside the work area";
        EXPECT_EQ(outer.left != c.left || outer.top != c.top, c.moved);
        if (c.moved && !c.cut && !c.scrolls) EXPECT_EQ(outer.right, work.right) << "not moved the least";
        EXPECT_EQ(GetDlgItem(frame, textwin::kScrollBarId) != nullptr, c.scrolls) << "a scroll bar";
        const Image first = rows_in_view(r, 0);
        EXPECT_EQ(differing_rows(read_dc(reinterpret_cast<HDC>(r->mem_dc), r->width, r->height), first), "");
        if (c.scrolls) {
            const int last_top = c.rows - c.pinned - (state.shown_rows - state.pinned_rows);
            const struct {
                const wchar_t* keys;
                int top;
            } steps[] = {{L"End", last_top}, {L"Up Up", last_top - 2}, {L"Home", 0}, {L"Down Next", 1 + (state.shown_rows - state.pinned_rows)}};
            for (const auto& step : steps) {
                SCOPED_TRACE(std::string(step.keys, step.keys + wcslen(step.keys)));
                ASSERT_TRUE(keys(area, step.keys));
                EXPECT_TRUE(eventually([&] { return state.top_row == step.top; })) << "top row " << state.top_row;
                const Image want = rows_in_view(r, step.top);
                std::string differs = "not looked at";
                eventually([&] {
                    if (!textwin::lock_text()) return false;
                    differs = differing_rows(read_dc(reinterpret_cast<HDC>(r->mem_dc), r->width, r->height), want);
                    textwin::unlock_text();
                    return differs.empty();
                });
                EXPECT_EQ(differs, "") << "back buffer";
                on_second_thread([&] {
                    std::string on_screen = "not looked at";
                    eventually([&] { return (on_screen = differing_rows(capture(area), want)).empty(); });
                    EXPECT_EQ(on_screen, "") << "screen";
                });
            }
            SCROLLINFO info{};
            info.cbSize = sizeof info;
            info.fMask = SIF_ALL;
            ASSERT_TRUE(GetScrollInfo(GetDlgItem(frame, textwin::kScrollBarId), SB_CTL, &info));
            EXPECT_EQ(info.nMax, c.rows - c.pinned - 1);
            EXPECT_EQ(info.nPos, state.top_row);
            // A key that scrolls answers nothing.
            EXPECT_EQ(r->pending_char, 0u);
            // A range set from outside is put right by the next scroll,
            // with the page and the place.
            SendMessageW(GetDlgItem(frame, textwin::kScrollBarId), SBM_SETRANGE, 0, 3);
            ASSERT_TRUE(keys(area, L"Home"));
            EXPECT_TRUE(eventually([&] { return state.top_row == 0; }));
            SCROLLINFO after{};
            after.cbSize = sizeof after;
            after.fMask = SIF_ALL;
            ASSERT_TRUE(GetScrollInfo(GetDlgItem(frame, textwin::kScrollBarId), SB_CTL, &after));
            EXPECT_EQ(after.nMin, 0);
            EXPECT_EQ(after.nMax, c.rows - c.pinned - 1);
            EXPECT_EQ(static_cast<int>(after.nPage), state.shown_rows - state.pinned_rows);
            EXPECT_EQ(after.nPos, 0);
        }
        text_close(kAnyTextWindow);
    }
}

}  // namespace
}  // namespace tw
