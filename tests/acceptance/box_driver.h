// What the acceptance tests need to drive a box the way a user would: run
// Orvandel on a thread of its own, find its window, type keys into it with
// xdotool once it has the focus, and wait for the answer, every wait bounded.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "orvandel.h"
#include "../win32_pixels.h"

namespace box {

constexpr DWORD kFindTimeoutMs = 60000;   // generous: under emulation on a busy machine
constexpr DWORD kReturnTimeoutMs = 60000;

// A host-owned BSTR; null() is the null BSTR, absent() a null address.
struct Arg {
    bool present = false;
    BSTR value = nullptr;
    Arg() = default;
    explicit Arg(const std::wstring& text)
        : present(true), value(SysAllocStringLen(text.data(), (UINT)text.size())) {}
    static Arg bytes(const char* data, UINT n) {
        Arg a;
        a.present = true;
        a.value = SysAllocStringByteLen(data, n);
        return a;
    }
    static Arg null_bstr() {
        Arg a;
        a.present = true;
        return a;
    }
    ~Arg() { SysFreeString(value); }
    Arg(Arg&& o) noexcept : present(o.present), value(o.value) { o.value = nullptr; }
    Arg& operator=(Arg&& o) noexcept {
        if (this != &o) {
            SysFreeString(value);
            present = o.present;
            value = o.value;
            o.value = nullptr;
        }
        return *this;
    }
    Arg(const Arg&) = delete;
    Arg& operator=(const Arg&) = delete;
    BSTR* ref() { return present ? &value : nullptr; }
};

// One Orvandel call running on its own thread.
struct Call {
    using Export = int(__stdcall*)(BSTR*, BSTR*, int, int, BSTR*, BSTR*, BSTR*);
    Export box = &Orvandel;   // or the export of another copy of the library
    Arg caption, message, c1, c2, c3;
    int x = 0, y = 0;
    volatile LONG result = -1;
    HANDLE thread = nullptr;
    // The x87 control word the call left; it starts at the system's own
    // setting (53-bit precision), not the one the call promises.
    volatile uint16_t fpu_after = 0;
    // The caller's strings as they went in, to show they come back
    // unchanged: the same BSTR, the same text.
    BSTR sent[5] = {};
    std::wstring sent_text[5];

    static DWORD WINAPI run(void* p) {
        Call* c = static_cast<Call*>(p);
        const uint16_t host_setting = 0x027F;
        __asm__ volatile("fldcw %0" : : "m"(host_setting));
        LONG r = c->box(c->caption.ref(), c->message.ref(), c->x, c->y, c->c1.ref(), c->c2.ref(), c->c3.ref());
        uint16_t cw;
        __asm__ volatile("fnstcw %0" : "=m"(cw));
        c->fpu_after = cw;
        InterlockedExchange(&c->result, r);
        return 0;
    }
    void start() {
        const Arg* args[] = {&caption, &message, &c1, &c2, &c3};
        for (int i = 0; i < 5; i++) {
            sent[i] = args[i]->value;
            sent_text[i] = sent[i] ? std::wstring(sent[i], SysStringLen(sent[i])) : L"";
        }
        thread = CreateThread(nullptr, 0, &Call::run, this, 0, nullptr);
    }
    // Which of the caller's strings the call changed, "" when none.
    std::string strings_changed() const {
        const Arg* args[] = {&caption, &message, &c1, &c2, &c3};
        const char* names[] = {"caption", "message", "choice1", "choice2", "choice3"};
        std::string changed;
        for (int i = 0; i < 5; i++) {
            const BSTR now = args[i]->value;
            if (now != sent[i] || (now && std::wstring(now, SysStringLen(now)) != sent_text[i])) {
                changed += std::string(names[i]) + " ";
            }
        }
        return changed;
    }
    // True when the call returned within the bound.
    bool wait(DWORD ms = kReturnTimeoutMs) {
        return thread && WaitForSingleObject(thread, ms) == WAIT_OBJECT_0;
    }
    ~Call() {
        if (thread) CloseHandle(thread);
    }
};

// Frame window of the box whose caption is `caption` (any box for null),
// waited for up to `ms`. Null when none appeared.
HWND find_box(const wchar_t* caption, DWORD ms = kFindTimeoutMs);

// The box's text area.
HWND text_area(HWND frame);

// Waits until `hwnd` is no longer a window; false when it still is after ms.
bool wait_gone(HWND hwnd, DWORD ms = kReturnTimeoutMs);

// Types `keys` into the box once it has the focus: each entry is an xdotool
// key name ("Return", "1", "Tab"). False when the box never got the focus or
// xdotool failed.
bool press(HWND frame, const std::vector<std::string>& keys);

// Turns the mouse wheel over the box, once it has the focus: `notches`
// away from the user (up) when positive, towards when negative.
bool wheel(HWND frame, int notches);

// True while no answer has come within `ms`: the box is still open and the
// call still running.
bool still_waiting(Call& c, HWND frame, DWORD ms = 300);

// Cell size of the box's font, measured the way the text window measures it.
struct Cell {
    int width;
    int line_height;
};
Cell cell_size();

// What a box of this size shows: the given rows, each drawn from the left
// edge of its row of cells with the box's own font and colours, made by the
// test itself.
// With `cells_of`, each character takes cells_of(it) cells, however wide
// the font's own glyph: what the box's font alone draws on the grid, the
// empty box of a character it has no glyph for included.
tw::Image expected_text_area(const std::vector<std::wstring>& rows, int width, int height,
                             int (*cells_of)(wchar_t) = nullptr);

}  // namespace box
