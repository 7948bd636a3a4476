// The font list and the window registry, with the drawing objects stood in
// by the native seam so that every brush, bitmap and DC can be counted.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/gdi.h"
#include "runtime/registry.h"
#include "test_support.h"

namespace {

constexpr uint32_t kBtnFace = 0x00C8D0D4;
constexpr uint32_t kWindowText = 0x00000000;

class RegistryTest : public RuntimeTest {
protected:
    void SetUp() override {
        gdi_fake_reset();
        gdi_fake_set_sys_color(kColorBtnFace, kBtnFace);
        gdi_fake_set_sys_color(kColorWindowText, kWindowText);
        RuntimeTest::SetUp();
    }
    void TearDown() override {
        // Whatever a test registered and did not destroy would leak records.
        while (g_runtime.shared.registry.head != nullptr) {
            uintptr_t h = g_runtime.shared.registry.head->hwnd;
            g_runtime.shared.registry.head->parent = 0;
            destroy_window_record(h);
        }
        EXPECT_EQ(gdi_counters().bad_deletes, 0) << "an object was deleted twice or never existed";
        RuntimeTest::TearDown();
    }
    int registry_size() {
        int n = 0;
        for (WindowRecord* r = g_runtime.shared.registry.head; r; r = r->next) ++n;
        return n;
    }
    // A text area as the window thread makes it: back buffer and font selected.
    WindowRecord* make_text_area(uintptr_t hwnd, uintptr_t parent, uintptr_t* bitmap) {
        WindowRecord* r = register_window(hwnd, parent, 0x20000802, kTypeTextArea);
        if (!r) return nullptr;
        r->mem_dc = gdi_fake_create(kFakeDc);
        *bitmap = gdi_fake_create(kFakeBitmap);
        r->saved_bitmap = gdi_select_object(r->mem_dc, *bitmap);
        FontRecord* f = find_font_record(2);
        r->saved_font = gdi_select_object(r->mem_dc, gdi_fake_create(kFakeFont));
        f->use_count++;
        r->font_number = 2;
        return r;
    }
};

std::u16string face_of(const FontRecord* f) {
    std::u16string s;
    for (char16_t c : f->logfont.face_name) {
        if (!c) break;
        s += c;
    }
    return s;
}

TEST_F(RegistryTest, DefaultFontsAreFoundByNumberInListOrder) {
    const struct {
        int32_t number;
        float point_size;
        uint8_t pitch;
        const char16_t* face;
    } rows[] = {
        {1, 8.0f, 0, u"MS Sans Serif"},
        {2, 0.0f, 1, u"Lucida Console"},
        {3, 11.0f, 1, u"Lucida Console"},
    };
    FontRecord* expect_next = g_runtime.shared.fonts.head;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.number);
        FontRecord* f = find_font_record(row.number);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f, expect_next);
        EXPECT_EQ(f->number, row.number);
        EXPECT_EQ(f->use_count, 1);
        EXPECT_EQ(f->point_size, row.point_size);
        EXPECT_EQ(+f->font_handle, 0u);
        EXPECT_EQ(f->logfont.weight, 400);
        EXPECT_EQ(f->logfont.height, 0);
        EXPECT_EQ(f->logfont.char_set, 0);
        EXPECT_EQ(f->logfont.pitch_and_family, row.pitch);
        EXPECT_EQ(face_of(f), row.face);
        EXPECT_EQ(f->logfont.face_name[31], 0);
        expect_next = f->next;
    }
    EXPECT_EQ(expect_next, nullptr);
    for (int32_t missing : {0, 4, -1}) {
        SCOPED_TRACE(missing);
        EXPECT_EQ(find_font_record(missing), nullptr);
    }
    EXPECT_EQ(g_runtime.shared.fonts.lock, 0);
}

TEST_F(RegistryTest, AFontRecordThatCannotBeMadeEndsTheListBeforeIt) {
    FontRecord* kept = g_runtime.shared.fonts.head;
    for (int made = 0; made <= 2; ++made) {
        SCOPED_TRACE(made);
        platform_fail_allocations_after(made);
        build_default_font_list();
        platform_fail_allocations_after(-1);
        int count = 0;
        for (FontRecord* f = g_runtime.shared.fonts.head; f; f = f->next) {
            EXPECT_EQ(f->number, ++count);
        }
        EXPECT_EQ(count, made);
        EXPECT_EQ(find_font_record(made + 1), nullptr);
        for (FontRecord* f = g_runtime.shared.fonts.head; f;) {
            FontRecord* next = f->next;
            str_free(reinterpret_cast<StrHandle>(f));
            f = next;
        }
    }
    g_runtime.shared.fonts.head = kept;
}

// Fonts made for other DPIs are kept per DPI for later windows, and go with
// the list at unload unless a window still holds the record's font.
TEST_F(RegistryTest, ScaledFontsAreKeptPerDpiAndGoWithTheList) {
    FontRecord* f = find_font_record(2);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(find_scaled_font(f, 144), 0u);
    const uintptr_t at144 = gdi_fake_create(kFakeFont), at192 = gdi_fake_create(kFakeFont);
    ASSERT_TRUE(keep_scaled_font(f, 144, at144));
    ASSERT_TRUE(keep_scaled_font(f, 192, at192));
    EXPECT_EQ(find_scaled_font(f, 144), at144);
    EXPECT_EQ(find_scaled_font(f, 192), at192);
    EXPECT_EQ(find_scaled_font(f, 120), 0u);
    EXPECT_EQ(find_scaled_font(find_font_record(3), 144), 0u) << "kept for its own record only";

    const uintptr_t unkept = gdi_fake_create(kFakeFont);
    platform_fail_allocations_after(0);
    EXPECT_FALSE(keep_scaled_font(f, 96 * 3, unkept));
    platform_fail_allocations_after(-1);
    EXPECT_EQ(find_scaled_font(f, 96 * 3), 0u);
    EXPECT_TRUE(gdi_fake_is_live(unkept)) << "a font that could not be kept stays the caller's";
    gdi_delete_object(unkept);

    release_font_list();
    EXPECT_FALSE(gdi_fake_is_live(at144));
    EXPECT_FALSE(gdi_fake_is_live(at192));
    EXPECT_EQ(gdi_counters().live_objects, 0);
    build_default_font_list();   // the fixture's detach releases a list again
}

// Fonts of the system for what the text font lacks: one per face and cell
// height, at most kMaxSystemFonts, shared by the ranges of code points
// that use them; a code point's own entry (a failed search, or a font for
// it alone) comes before its range's and hides nothing beside it. Each
// font goes at unload, once.
TEST_F(RegistryTest, FallbackFontsAreKeptPerRangeAndHeightAndGoWithTheList) {
    FontRecord* f = find_font_record(2);
    ASSERT_NE(f, nullptr);
    const uintptr_t cjk16 = gdi_fake_create(kFakeFont), cjk24 = gdi_fake_create(kFakeFont);
    const uintptr_t one = gdi_fake_create(kFakeFont), again = gdi_fake_create(kFakeFont);
    ASSERT_EQ(keep_system_font(f, u"CJK", 16, cjk16), cjk16);
    ASSERT_EQ(keep_system_font(f, u"CJK", 24, cjk24), cjk24);
    ASSERT_EQ(keep_system_font(f, u"One", 16, one), one);
    EXPECT_EQ(keep_system_font(f, u"CJK", 16, again), cjk16) << "a face and height already kept";
    EXPECT_TRUE(gdi_fake_is_live(again)) << "stays the caller's";
    gdi_delete_object(again);
    EXPECT_EQ(find_system_font(f, u"CJK", 24), cjk24);
    EXPECT_EQ(find_system_font(f, u"CJK", 20), 0u);
    EXPECT_EQ(find_system_font(f, u"CJK Other", 16), 0u);

    ASSERT_TRUE(keep_fallback_font(f, 0x6F22, 0x6F22, 16, one));
    ASSERT_TRUE(keep_fallback_font(f, 0x6F00, 0x6FFF, 16, cjk16));
    ASSERT_TRUE(keep_fallback_font(f, 0x6F00, 0x6FFF, 24, cjk24));
    ASSERT_TRUE(keep_fallback_font(f, 0x3040, 0x3040, 16, 0));
    const struct {
        const char* name;
        FontRecord* record;
        uint32_t code_point;
        int32_t height;
        bool kept;
        uintptr_t font;
    } cases[] = {
        {"first of the range", f, 0x6F00, 16, true, cjk16},
        {"last of the range", f, 0x6FFF, 16, true, cjk16},
        {"the same range at another height", f, 0x6F10, 24, true, cjk24},
        {"a height never searched", f, 0x6F10, 20, false, 0},
        {"just before the range", f, 0x6EFF, 16, false, 0},
        {"just after the range", f, 0x7000, 16, false, 0},
        {"a code point none was found for", f, 0x3040, 16, true, 0},
        {"the code point beside it is not hidden", f, 0x3041, 16, false, 0},
        {"a code point's own comes before its range kept later", f, 0x6F22, 16, true, one},
        {"kept for its own record only", find_font_record(3), 0x6F00, 16, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        uintptr_t font = 0xBAD;
        EXPECT_EQ(find_fallback_font(c.record, c.code_point, c.height, &font), c.kept);
        if (c.kept) EXPECT_EQ(font, c.font);
    }

    // The bound: past it a font stays the caller's, whatever the face.
    std::vector<uintptr_t> fonts;
    for (uint32_t i = 3; i < kMaxSystemFonts; ++i) {
        const char16_t face[] = {u'F', static_cast<char16_t>(u'A' + i), 0};
        fonts.push_back(gdi_fake_create(kFakeFont));
        ASSERT_EQ(keep_system_font(f, face, 16, fonts.back()), fonts.back());
    }
    const uintptr_t unkept = gdi_fake_create(kFakeFont);
    EXPECT_EQ(keep_system_font(f, u"Past the bound", 16, unkept), 0u);
    EXPECT_EQ(find_system_font(f, u"Past the bound", 16), 0u);
    EXPECT_EQ(keep_system_font(f, u"One", 16, unkept), one) << "a kept face is still found";
    platform_fail_allocations_after(0);
    EXPECT_FALSE(keep_fallback_font(f, 0x4E00, 0x4EFF, 16, cjk16));
    platform_fail_allocations_after(-1);
    uintptr_t font = 0;
    EXPECT_FALSE(find_fallback_font(f, 0x4E00, 16, &font));
    EXPECT_TRUE(gdi_fake_is_live(unkept)) << "a font that could not be kept stays the caller's";
    gdi_delete_object(unkept);

    f->use_count++;   // a window still holds the text font: its fallbacks go all the same
    release_font_list();
    EXPECT_FALSE(gdi_fake_is_live(cjk16));
    EXPECT_FALSE(gdi_fake_is_live(cjk24));
    EXPECT_FALSE(gdi_fake_is_live(one));
    for (uintptr_t kept : fonts) EXPECT_FALSE(gdi_fake_is_live(kept));
    EXPECT_EQ(gdi_counters().live_objects, 0);
    build_default_font_list();   // the fixture's detach releases a list again
}

TEST_F(RegistryTest, RegisteringAHandleTwiceFailsAndKeepsTheFirstRecord) {
    WindowRecord* first = register_window(0x100, 0, 0x80010002, kTypeFrame);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(register_window(0x100, 0x55, 0x20000802, kTypeTextArea), nullptr);
    EXPECT_EQ(registry_size(), 1);
    EXPECT_EQ(find_window_record(0x100), first);
    EXPECT_EQ(+first->parent, 0u);
    EXPECT_EQ(+first->flags, 0x80010002u);
    EXPECT_EQ(+first->back_brush, 0u);
    EXPECT_EQ(gdi_counters().brushes_created, 0);
}

TEST_F(RegistryTest, NoRecordIsLinkedWhenItCannotBeAllocated) {
    platform_fail_allocations_after(0);
    EXPECT_EQ(register_window(0x100, 0, 0, kTypeTextArea), nullptr);
    platform_fail_allocations_after(-1);
    EXPECT_EQ(registry_size(), 0);
    EXPECT_EQ(gdi_counters().brushes_created, 0);
}

TEST_F(RegistryTest, ColouredTypesGetDefaultColoursAndOneSharedBrush) {
    const struct {
        int32_t type;
        bool coloured;
    } rows[] = {{0, false}, {14, true}, {15, true}, {16, false}, {26, true}};
    uintptr_t shared = 0;
    uintptr_t hwnd = 0x200;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.type);
        WindowRecord* r = register_window(hwnd += 0x10, 0, 0, row.type);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->type_code, row.type);
        if (!row.coloured) {
            EXPECT_EQ(+r->back_brush, 0u);
            EXPECT_EQ(+r->back_color, 0u);
            continue;
        }
        EXPECT_EQ(+r->text_color, kWindowText);
        EXPECT_EQ(+r->back_color, kBtnFace);
        ASSERT_NE(+r->back_brush, 0u);
        if (!shared) shared = r->back_brush;
        EXPECT_EQ(+r->back_brush, shared);
    }
    EXPECT_EQ(gdi_counters().brushes_created, 1);
}

TEST_F(RegistryTest, TheSharedBrushIsDeletedByItsLastUserOnly) {
    WindowRecord* a = register_window(0x100, 0, 0, kTypeTextArea);
    WindowRecord* b = register_window(0x200, 0, 0, 14);
    ASSERT_TRUE(a && b);
    uintptr_t brush = a->back_brush;
    ASSERT_EQ(+b->back_brush, brush);
    EXPECT_TRUE(destroy_window_record(0x100));
    EXPECT_TRUE(gdi_fake_is_live(brush));
    EXPECT_EQ(find_shared_brush(kBtnFace), brush);
    EXPECT_TRUE(destroy_window_record(0x200));
    EXPECT_FALSE(gdi_fake_is_live(brush));
    EXPECT_EQ(find_shared_brush(kBtnFace), 0u);
    // The next record makes a new brush rather than reusing the dead one.
    WindowRecord* c = register_window(0x300, 0, 0, kTypeTextArea);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(+c->back_brush, 0u);
    EXPECT_TRUE(gdi_fake_is_live(c->back_brush));
}

TEST_F(RegistryTest, ABrushThatCannotBeMadeStaysNullAndIsNeverDeleted) {
    gdi_fake_fail_brushes(true);
    WindowRecord* r = register_window(0x100, 0, 0, kTypeTextArea);
    gdi_fake_fail_brushes(false);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(+r->back_brush, 0u);
    EXPECT_TRUE(destroy_window_record(0x100));
    EXPECT_EQ(gdi_counters().bad_deletes, 0);
}

TEST_F(RegistryTest, DestroyingTheFrameTakesItsTextAreaAndEveryDrawingObject) {
    int32_t live_before = gdi_counters().live_objects;
    WindowRecord* frame = register_window(0x100, 0, 0x80010402, kTypeFrame);
    uintptr_t bitmap = 0;
    WindowRecord* area = make_text_area(0x200, 0x100, &bitmap);
    ASSERT_TRUE(frame && area);
    uintptr_t font = gdi_fake_selected(area->mem_dc, kFakeFont);
    FontRecord* f = find_font_record(2);
    ASSERT_EQ(f->use_count, 2);
    register_window(0x300, 0, 0, kTypeFrame);   // unrelated, must survive

    EXPECT_TRUE(destroy_window_record(0x100));
    EXPECT_EQ(find_window_record(0x100), nullptr);
    EXPECT_EQ(find_window_record(0x200), nullptr);
    EXPECT_NE(find_window_record(0x300), nullptr);
    EXPECT_EQ(registry_size(), 1);
    EXPECT_EQ(f->use_count, 1);
    EXPECT_EQ(+f->font_handle, 0u) << "the font list's handle is never touched";
    EXPECT_FALSE(gdi_fake_is_live(bitmap));
    EXPECT_EQ(gdi_counters().set_font_messages, 1) << "a text area gives its font back by WM_SETFONT";
    // The test's font object stands in for the font list's handle: still live.
    EXPECT_TRUE(gdi_fake_is_live(font));
    EXPECT_EQ(gdi_counters().live_objects, live_before + 1);
    EXPECT_EQ(g_runtime.shared.registry.lock, 0);
}

TEST_F(RegistryTest, TypesWithTheirOwnDcGetTheSavedFontSelectedBack) {
    for (int32_t type : {14, 26}) {
        SCOPED_TRACE(type);
        WindowRecord* r = register_window(0x100, 0, 0, type);
        ASSERT_NE(r, nullptr);
        r->mem_dc = gdi_fake_create(kFakeDc);
        uintptr_t stock = gdi_fake_selected(r->mem_dc, kFakeFont);
        uintptr_t font = gdi_fake_create(kFakeFont);
        r->saved_font = gdi_select_object(r->mem_dc, font);
        r->font_number = 3;
        find_font_record(3)->use_count++;
        int32_t messages = gdi_counters().set_font_messages;
        release_record_font(r);
        EXPECT_EQ(gdi_fake_selected(r->mem_dc, kFakeFont), stock);
        EXPECT_EQ(r->font_number, 0);
        EXPECT_EQ(+r->saved_font, 0u);
        EXPECT_EQ(find_font_record(3)->use_count, 1);
        EXPECT_EQ(gdi_counters().set_font_messages, messages);
        release_record_font(r);   // a second release finds font_number 0 and stops
        EXPECT_EQ(find_font_record(3)->use_count, 1);
        EXPECT_TRUE(destroy_window_record(0x100));
        gdi_delete_object(font);
    }
}

TEST_F(RegistryTest, AFontNumberMissingFromTheListLeavesTheSavedFont) {
    WindowRecord* r = register_window(0x100, 0, 0, kTypeTextArea);
    ASSERT_NE(r, nullptr);
    r->font_number = 9;
    r->saved_font = 0x777;
    release_record_font(r);
    EXPECT_EQ(r->font_number, 0);
    EXPECT_EQ(+r->saved_font, 0x777u);
    EXPECT_EQ(gdi_counters().set_font_messages, 0);
    r->saved_font = 0;
}

TEST_F(RegistryTest, LookupsOfUnregisteredHandlesFailAndChangeNothing) {
    register_window(0x100, 0, 0x80010402, kTypeFrame);
    WindowRecord* rec = reinterpret_cast<WindowRecord*>(1);
    EXPECT_EQ(read_window_field(0x999, kFieldFlags, &rec), 0u);
    EXPECT_EQ(rec, nullptr);
    EXPECT_EQ(read_window_field(0x100, kFieldFlags, &rec), 0x80010402u);
    EXPECT_EQ(rec, find_window_record(0x100));
    EXPECT_FALSE(destroy_window_record(0x999));
    EXPECT_EQ(registry_size(), 1);
    EXPECT_EQ(find_child_window(0x999), 0u);
}

TEST_F(RegistryTest, TheNewestChildIsFoundFirstAndOnlyWithTheChildBit) {
    register_window(0x100, 0, 0, kTypeFrame);
    register_window(0x201, 0x100, 0x20000802, kTypeTextArea);
    register_window(0x202, 0x100, 0x20000802, kTypeTextArea);
    register_window(0x203, 0x100, 0x00000802, kTypeTextArea);   // no child bit
    EXPECT_EQ(find_child_window(0x100), 0x202u);
    EXPECT_TRUE(destroy_window_record(0x100));
    // Both children went with the frame; the one without the child bit stays.
    EXPECT_EQ(registry_size(), 1);
    EXPECT_NE(find_window_record(0x203), nullptr);
}

TEST_F(RegistryTest, TheLockKeepsOtherThreadsOutUntilItIsReleased) {
    register_window(0x100, 0, 0, kTypeFrame);
    owner_lock_take(&g_runtime.shared.registry.lock);
    std::atomic<bool> found{false};
    std::thread t([&] { found = find_window_record(0x100) != nullptr; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(found.load()) << "a walk went past a held lock";
    owner_lock_release(&g_runtime.shared.registry.lock);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!found && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    EXPECT_TRUE(found.load());
    t.join();
}

TEST_F(RegistryTest, ConcurrentRegistrationsAndDestructionsLoseNoRecord) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 500;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            uintptr_t base = 0x10000 * (t + 1);
            for (int i = 0; i < kRounds; ++i) {
                uintptr_t frame = base + 0x10 * i;
                if (!register_window(frame, 0, 0x80010402, kTypeFrame)) failures++;
                if (!register_window(frame + 8, frame, 0x20000802, kTypeTextArea)) failures++;
                if (find_child_window(frame) != frame + 8) failures++;
                if (i % 2 && !destroy_window_record(frame)) failures++;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(registry_size(), kThreads * kRounds);   // half the frames left, each with its child
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kRounds; i += 2) EXPECT_TRUE(destroy_window_record(0x10000 * (t + 1) + 0x10 * i));
    }
    EXPECT_EQ(registry_size(), 0);
    EXPECT_EQ(gdi_counters().live_objects, 0) << "the shared brush outlived its last user";
}

}  // namespace
