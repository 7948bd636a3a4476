// Opening the box: open_text_window on the calling thread, and the window
// thread, which makes the box in named steps, publishes it and runs its
// message loop until the frame is gone. docs/design.md tells how the two
// hand the box over and what bounds each wait.
#include "textwin/textwin.h"

#include "platform/loader_lock.h"
#include "platform/platform.h"
#include "strings/dynstr.h"
#include "textwin/fit.h"
#include "textwin/internal.h"
#include "textwin/shown_text.h"

namespace textwin {
namespace {

constexpr uint32_t kStyleNoCaption = WS_POPUP | WS_BORDER | WS_MINIMIZEBOX;
constexpr uint32_t kStyleCaption = WS_CAPTION;
constexpr uint32_t kTextAreaStyle = WS_CHILD | WS_VISIBLE | SS_OWNERDRAW | SS_NOTIFY | SS_RIGHTJUST;
// The registry keeps the other bits of each flag word; nothing reads them.
constexpr uint32_t kFrameFlagsRegistered = kFlagTextFrame | 0x00010002u;
constexpr uint32_t kFrameFlags = kFrameFlagsRegistered | 0x00000400u;
constexpr uint32_t kTextAreaFlags = kFlagChild | 0x00000802u;
constexpr int32_t kPlaceholderSize = 50;
// Past this a GDI coordinate or the back buffer's size is out of reach.
constexpr int64_t kMaxPixels = 0x7FFF;
// Between showing the frame and focusing the text area, so the activation
// the show starts is over before the focus is set.
constexpr DWORD kShowSettleMs = 20;
// After the result is seen, before the open returns: the pause the open
// has always made (textwin.h). The box is reachable without it.
constexpr DWORD kPublishSettleMs = 40;
const wchar_t kClassName[] = L"VORANTEXT";

constexpr intptr_t kResultPending = -1;
constexpr intptr_t kResultAbandoned = -2;
// OpenBlock.owners: both sides, then the window thread alone.
constexpr int32_t kOwnedByBoth = 2;
constexpr int32_t kOwnedByThread = 1;

// Handed from the open to the window thread, on the heap. The window thread
// frees it, once the open has let go of it or has ended (killed), so either
// may leave first (an open that gave up, a window thread that could only
// start once the loader lock was free, a caller killed at any point).
struct OpenBlock {
    volatile int32_t owners;     // kOwnedByBoth while the open may still touch the block
    HANDLE caller;               // the opening thread, to learn when it has ended
    // The open's hold on the library, taken before the thread is made and
    // let go by the thread as it exits: a thread that starts late still
    // starts in a mapped image.
    HMODULE library;
    // The result: kResultPending until one side decides it in one atomic
    // step: the window thread with the text area's handle (0 on failure),
    // the open with kResultAbandoned.
    volatile intptr_t result;
    uint32_t style;
    int32_t columns;
    int32_t rows;
    int32_t pinned_rows;
    // What the box shows as text when the open was handed it (the box
    // takes it over), else 0: the window thread makes it.
    StrHandle shown_text;
    int32_t top;
    int32_t left;
    wchar_t caption[1];          // a copy, zero-terminated: the caller's may go first
};

bool caller_gone(const OpenBlock* block) { return WaitForSingleObject(block->caller, 0) == WAIT_OBJECT_0; }

void free_block(OpenBlock* block) {
    str_free(block->shown_text);   // 0 once the box has it
    CloseHandle(block->caller);
    global_free(block);
}

// The open's last touch of the block: after this only the window thread
// uses it.
void let_go_of_block(OpenBlock* block) { __atomic_store_n(&block->owners, kOwnedByThread, __ATOMIC_RELEASE); }

// The window thread's end with the block: freed once the open has let go or
// has ended (killed before it could), either of which is for good. The open
// lets go right after its bounded wait for the result, so this
// waits no longer than that; an open stuck past it (suspended) leaves the
// block behind rather than have it freed under it.
void release_block(OpenBlock* block) {
    for (const DWORD start = GetTickCount();;) {
        if (__atomic_load_n(&block->owners, __ATOMIC_ACQUIRE) == kOwnedByThread || caller_gone(block)) {
            free_block(block);
            return;
        }
        if (GetTickCount() - start >= kWindowThreadBoundMs) return;
        WaitForSingleObject(block->caller, 1);
    }
}

bool decide_result(OpenBlock* block, intptr_t value, intptr_t* decided) {
    intptr_t expected = kResultPending;
    bool mine = __atomic_compare_exchange_n(&block->result, &expected, value, false, __ATOMIC_ACQ_REL,
                                            __ATOMIC_ACQUIRE);
    *decided = mine ? value : expected;
    return mine;
}

// The box the window thread is making: what it is made from, and the
// parts made so far.
struct NewBox {
    OpenBlock* block;
    HWND frame;
    HWND text_area;
    WindowRecord* record;   // the text area's
    HDC text_area_dc;   // the text area's own, while objects are made compatible with it
};

// The work area of the monitor nearest (left, top); the primary screen
// when the system cannot say.
FitArea work_area_near(int32_t left, int32_t top) {
    MONITORINFO info;
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromPoint(POINT{left, top}, MONITOR_DEFAULTTONEAREST), &info)) {
        info.rcWork = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    return FitArea{info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
}

uint32_t frame_style(uint32_t style, bool caption) {
    return style != 0 ? style : kStyleNoCaption | (caption ? kStyleCaption : 0);
}

// --- the steps of making the box, in order ------------------------------------------

// An open that gave up before this thread could run wants no box.
OpenStep still_wanted(NewBox& box) {
    return __atomic_load_n(&box.block->result, __ATOMIC_ACQUIRE) == kResultPending ? kOpenOk : kOpenTimedOut;
}

// A system resource id (IDI_*, IDC_*) for the wide calls: a build without
// UNICODE spells them as narrow resource names, the same number.
LPCWSTR wide_id(LPCSTR id) { return reinterpret_cast<LPCWSTR>(id); }

HINSTANCE module_instance() { return reinterpret_cast<HINSTANCE>(g_runtime.module_handle); }

// Opens take turns and the atom is set before the result is decided, so
// two first opens never both find the class unregistered.
OpenStep register_text_class(NewBox&) {
    if (text_state().text_class_atom != 0) return kOpenOk;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = frame_proc;
    wc.hInstance = module_instance();
    wc.hIcon = LoadIconW(nullptr, wide_id(IDI_ASTERISK));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorW(nullptr, wide_id(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kClassName;
    ATOM atom = RegisterClassExW(&wc);
    if (atom == 0) return kOpenClass;
    text_state().text_class_atom = atom;
    return kOpenOk;
}

OpenStep make_frame(NewBox& box) {
    const OpenBlock* block = box.block;
    const uint32_t style = frame_style(block->style, block->caption[0] != 0);
    box.frame = CreateWindowExW(0, kClassName, block->caption, style, block->left, block->top, kPlaceholderSize,
                                kPlaceholderSize, nullptr, nullptr, module_instance(), nullptr);
    if (box.frame == nullptr) return kOpenFrame;
    WindowRecord* frame_record = register_window(value_of(box.frame), 0, kFrameFlagsRegistered, kTypeFrame);
    if (frame_record == nullptr) return kOpenFrame;
    frame_record->flags = kFrameFlags;
    frame_record->width = block->columns;
    frame_record->height = block->rows;
    return kOpenOk;
}

// The text area's own state comes with its record, before its procedure is
// installed: nothing that draws or reads the text area finds it without.
OpenStep make_text_area(NewBox& box) {
    box.text_area = CreateWindowExW(0, L"STATIC", nullptr, kTextAreaStyle, 0, 0, box.block->columns,
                                    box.block->rows, box.frame, nullptr, module_instance(), nullptr);
    if (box.text_area == nullptr) return kOpenTextArea;
    box.record = register_window(value_of(box.text_area), value_of(box.frame), kTextAreaFlags, kTypeTextArea);
    if (box.record == nullptr || !attach_text_area_state(box.record)) return kOpenTextArea;
    box.record->static_proc = static_cast<uintptr_t>(
        SetWindowLongPtrW(box.text_area, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(text_area_proc)));
    return kOpenOk;
}

// The scroll bar beside the rows that scroll, its range their count.
// Without one the keys and the wheel still scroll.
void make_scroll_bar(NewBox& box) {
    const WindowRecord* record = box.record;
    TextAreaState& area = area_of(record);
    const int32_t in_view = area.shown_rows - area.pinned_rows;
    HWND scroll_bar = CreateWindowExW(0, L"SCROLLBAR", nullptr, WS_CHILD | WS_VISIBLE | SBS_VERT, record->width, 0,
                                      GetSystemMetrics(SM_CXVSCROLL), in_view * line_height(record), box.frame,
                                      reinterpret_cast<HMENU>(kScrollBarId), module_instance(), nullptr);
    area.scroll_bar = scroll_bar;
    show_scroll_bar(area, FALSE);
}

// The memory DC, the font, and the size and place on the work area. A
// box whose cells have no size must never reach the text operations
// (they divide by the cell width), and one beyond the coordinates' reach
// cannot be drawn.
OpenStep size_cells(NewBox& box) {
    box.text_area_dc = GetDC(box.text_area);
    if (box.text_area_dc == nullptr) return kOpenCells;
    WindowRecord* record = box.record;
    record->mem_dc = value_of(CreateCompatibleDC(box.text_area_dc));
    if (record->mem_dc == 0 || select_text_font(record, window_dpi(box.frame)) != 0 || record->char_width <= 0 ||
        line_height(record) <= 0) {
        return kOpenCells;
    }
    OpenBlock* block = box.block;
    if (block->columns <= 0 || block->rows <= 0) return kOpenCells;
    // The frame is its client area plus what its border and caption take.
    RECT outer, inner;
    GetWindowRect(box.frame, &outer);
    GetClientRect(box.frame, &inner);
    const FitFrame around{(outer.right - outer.left) - inner.right, (outer.bottom - outer.top) - inner.bottom,
                          GetSystemMetrics(SM_CXVSCROLL), record->char_width, line_height(record)};
    const FitResult fit = fit_window(work_area_near(block->left, block->top), around, block->columns, block->rows,
                                     block->pinned_rows, block->left, block->top);
    const int64_t width = int64_t{fit.columns} * record->char_width;
    const int64_t height = int64_t{fit.shown_rows} * line_height(record);
    if (width > kMaxPixels || height > kMaxPixels) return kOpenCells;
    record->width = static_cast<int32_t>(width);
    record->height = static_cast<int32_t>(height);
    TextAreaState& area = area_of(record);
    area.rows = block->rows;
    area.shown_rows = fit.shown_rows;
    area.pinned_rows = fit.scrolling ? block->pinned_rows : 0;
    // The rows whole, at the columns asked: the text area cuts what passes
    // its edge when it draws them. Without them a scrolled row could not
    // be drawn, and the box would show blank: no box then.
    area.shown_text = block->shown_text != 0 ? block->shown_text : shown_text_of_box(block->rows, block->columns);
    block->shown_text = 0;
    if (area.shown_text == 0) return kOpenShownText;
    area.cursor = PrintCursor{block->columns, block->rows, 0, 0};
    if (fit.scrolling) make_scroll_bar(box);
    SetWindowPos(box.frame, HWND_TOP, fit.x, fit.y, fit.frame_width, fit.frame_height, SWP_NOCOPYBITS);
    SetWindowPos(box.text_area, HWND_TOP, 0, 0, record->width, record->height, SWP_NOMOVE | SWP_NOCOPYBITS);
    return kOpenOk;
}

// A box whose back buffer cannot be made would be shown blank, waiting for
// a key the user cannot know: it fails like any other step instead.
OpenStep make_back_buffer(NewBox& box) {
    WindowRecord* record = box.record;
    HBITMAP back_buffer = CreateCompatibleBitmap(box.text_area_dc, record->width, record->height);
    HGDIOBJ saved = back_buffer != nullptr ? SelectObject(dc_of(record), back_buffer) : nullptr;
    if (saved == nullptr || saved == HGDI_ERROR) {
        if (back_buffer != nullptr) DeleteObject(back_buffer);
        return kOpenBackBuffer;
    }
    record->saved_bitmap = value_of(saved);
    // The text area's DC served only to make objects compatible with it.
    ReleaseDC(box.text_area, box.text_area_dc);
    box.text_area_dc = nullptr;
    RECT all{0, 0, record->width, record->height};
    FillRect(dc_of(record), &all, GetSysColorBrush(COLOR_BTNFACE));
    SetTextColor(dc_of(record), record->text_color);
    SetBkColor(dc_of(record), record->back_color);
    SetBkMode(dc_of(record), OPAQUE);
    return kOpenOk;
}

// Shows the frame and hands the box over: the text area's handle into the
// result and its record into current_text_window in one step under the
// text lock, unless the open has given up meanwhile. A caller that has
// ended will never answer the box, so it is not shown at all.
// Publishes only over no box: the open closed the one before it, and a
// box found there now belongs to an open that ran while this one's
// caller was killed in its turn; two boxes must never be up. With the
// record goes this thread's handle, by which the others learn for sure
// whether the box's thread still runs.
OpenStep show_and_publish(NewBox& box) {
    if (caller_gone(box.block)) return kOpenCallerGone;
    HANDLE self = nullptr;
    if (!DuplicateHandle(this_process(), this_thread(), this_process(), &self, SYNCHRONIZE, FALSE, 0)) {
        return kOpenThread;
    }
    ShowWindow(box.frame, SW_SHOW);
    Sleep(kShowSettleMs);
    SetFocus(box.text_area);
    intptr_t decided;
    if (!lock_text()) {
        CloseHandle(self);
        return kOpenTextLock;
    }
    const bool over_none = text_state().current_text_window == nullptr;
    const bool published =
        over_none && decide_result(box.block, static_cast<intptr_t>(value_of(box.text_area)), &decided);
    if (published) {
        text_state().window_thread = value_of(self);
        publish_current(box.record);
    }
    unlock_text();
    if (published) return kOpenOk;
    CloseHandle(self);
    return over_none ? kOpenTimedOut : kOpenOldWindow;
}

OpenStep (*const kMakingSteps[])(NewBox&) = {
    still_wanted, register_text_class, make_frame, make_text_area, size_cells, make_back_buffer,
    show_and_publish,
};

// What a failed step leaves goes with the frame, whose WM_NCDESTROY destroys
// the records and what they own. The open learns of the failure unless it
// has given up already (it then noted why itself).
void fail_open(NewBox& box, OpenStep step) {
    if (box.text_area_dc != nullptr) ReleaseDC(box.text_area, box.text_area_dc);
    if (box.frame != nullptr) DestroyWindow(box.frame);
    intptr_t decided;
    if (decide_result(box.block, 0, &decided)) note_open_failure(step);
}

// Ends with the frame. A WM_QUIT that comes while the frame still exists is
// not the one its teardown posts (a host that posts one to every thread):
// the box stays up and answers as before. A box whose caller has ended can
// never be answered, so it is ended the regular way. Once the frame is gone
// the loop ends even without the teardown's WM_QUIT.
DWORD run_message_loop(HWND frame, const OpenBlock* block) {
    MSG msg;
    for (uint32_t idle = 1;;) {
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_QUIT) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            } else if (!IsWindow(frame)) {
                return static_cast<DWORD>(msg.wParam);
            }
            continue;
        }
        Sleep(1);
        if (idle++ % kLivenessCheckPolls != 0) continue;
        if (!IsWindow(frame)) return 0;
        if (caller_gone(block)) DestroyWindow(frame);
    }
}

DWORD window_thread_main(OpenBlock* block) {
    (void)get_thread_context();   // where the locks keep this thread's identity
    NewBox box{};
    box.block = block;
    OpenStep step = kOpenOk;
    for (auto make : kMakingSteps) {
        if ((step = make(box)) != kOpenOk) break;
    }
    DWORD code = 0;
    if (step != kOpenOk) {
        fail_open(box, step);
    } else {
        code = run_message_loop(box.frame, block);
    }
    release_block(block);
    return code;
}

// The thread's start: it holds the library, by the reference its open took
// for it, for as long as it runs, since a host may free the library the
// moment its call returns, while this thread is still on its way out of the
// message loop. FreeLibraryAndExitThread lets go of it only once no code of
// the library runs here any more.
DWORD WINAPI window_thread_start(void* param) {
    OpenBlock* block = static_cast<OpenBlock*>(param);
    HMODULE library = block->library;   // the block may be gone by the end
    FreeLibraryAndExitThread(library, window_thread_main(block));
}

// A new block with the open's arguments, or null. The caption is copied,
// not borrowed: the window thread may outlive the open.
OpenBlock* make_block(ProcFrame& proc_frame, uint32_t style, int32_t columns, int32_t rows,
                      int32_t pinned_rows, int32_t top, int32_t left, StrHandle shown_text) {
    const char16_t* caption = nullptr;
    const uint32_t n = str_len_wide(str_unborrow(tmp_slot(proc_frame, 0)), &caption);
    const uint64_t bytes = sizeof(OpenBlock) + sizeof(wchar_t) * uint64_t{n};
    auto* block =
        bytes <= UINT32_MAX ? static_cast<OpenBlock*>(global_alloc_zeroed(static_cast<uint32_t>(bytes))) : nullptr;
    if (block == nullptr) return nullptr;
    if (!DuplicateHandle(this_process(), this_thread(), this_process(), &block->caller, SYNCHRONIZE, FALSE, 0)) {
        global_free(block);
        return nullptr;
    }
    block->owners = kOwnedByBoth;
    block->result = kResultPending;
    block->style = style;
    block->columns = columns;
    block->rows = rows;
    block->pinned_rows = pinned_rows;
    block->shown_text = shown_text;
    block->top = top;
    block->left = left;
    // All of the caption is shown, as all of it sizes the box: a NUL, which
    // would end the frame's text, as the blank the message shows it as.
    for (uint32_t i = 0; i < n; i++) block->caption[i] = caption[i] != 0 ? caption[i] : L' ';
    return block;   // the terminator is the zero fill's
}

// Starts the window thread and waits for the result: the text area's
// handle, or 0 when the thread failed (it noted why). The wait ends at the
// bound, or as soon as the thread has ended without deciding it; the open
// then gives up on it in the same atomic step the thread would use, so
// exactly one side decides.
// The block is the thread's from here on, or freed here when no thread
// could be made for it.
OpenStep start_window_thread(OpenBlock* block, uintptr_t* text_area) {
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&window_thread_start), &block->library)) {
        free_block(block);   // without the hold a box could outlive a freed image
        return kOpenThread;
    }
    HANDLE thread = CreateThread(nullptr, 0, window_thread_start, block, 0, nullptr);
    if (thread == nullptr) {
        FreeLibrary(block->library);
        free_block(block);
        return kOpenThread;
    }
    const DWORD start = GetTickCount();
    intptr_t result;
    OpenStep step = kOpenOk;
    // Polls the result each millisecond in a wait on the thread, which
    // leaves the core to the window thread and the Wine or X server it waits
    // on, and returns at once should the thread end without deciding it.
    while ((result = __atomic_load_n(&block->result, __ATOMIC_ACQUIRE)) == kResultPending) {
        const bool ended = WaitForSingleObject(thread, 1) == WAIT_OBJECT_0;
        if (!ended && GetTickCount() - start < kWindowThreadBoundMs) continue;
        if (decide_result(block, kResultAbandoned, &result)) {
            result = 0;
            step = ended ? kOpenThread : kOpenTimedOut;
        }
        break;
    }
    let_go_of_block(block);
    CloseHandle(thread);
    if (result != 0 && lock_text()) unlock_text();   // the window thread published under it
    *text_area = static_cast<uintptr_t>(result);
    return step;
}

}  // namespace
}  // namespace textwin

using namespace textwin;

FitLimits text_window_limits(int32_t top, int32_t left, bool caption) {
    CellMetrics cell{};
    if (!measure_screen_cell(&cell)) return FitLimits{0, 0, 0};
    RECT border{0, 0, 0, 0};   // what the frame adds around an empty client area
    AdjustWindowRectEx(&border, frame_style(0, caption), FALSE, 0);
    const FitFrame around{border.right - border.left, border.bottom - border.top, GetSystemMetrics(SM_CXVSCROLL),
                          cell.width, cell.height + cell.ext_leading};
    return fit_box_limits(work_area_near(left, top), around);
}

uintptr_t open_text_window(ProcFrame& proc_frame, uint32_t style, int32_t columns, int32_t rows,
                           int32_t top, int32_t left, int32_t pinned_rows, StrHandle shown_text) {
    uintptr_t text_area = 0;
    (void)get_thread_context();   // where the locks keep this thread's identity
    // No thread starts while this one holds the loader lock: waiting for a
    // box could only end at the bound.
    OpenStep step = holds_loader_lock() ? kOpenLoaderLock : take_open_turn();
    if (step == kOpenOk) {
        step = close_old_window();
        if (step == kOpenOk) {
            OpenBlock* block = make_block(proc_frame, style, columns, rows, pinned_rows, top, left, shown_text);
            shown_text = block != nullptr ? 0 : shown_text;   // the block's, freed with it when not taken
            step = block != nullptr ? start_window_thread(block, &text_area) : kOpenThread;
        }
        end_open_turn();
    }
    str_free(shown_text);   // the open stopped before the block had it
    if (step != kOpenOk) note_open_failure(step);
    tmp_drop(proc_frame);
    if (text_area == 0) return 0;
    Sleep(kPublishSettleMs);
    return text_area;
}
