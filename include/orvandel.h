/*
 * Orvandel.dll: a message box drawn as text.
 *
 * One export, Orvandel, puts up a window of equal character cells: the
 * caption, the message rows, a blank row and one to three prompt rows. The
 * call blocks the calling thread until the user types an accepted key, closes
 * the window and returns the number of the choice. The comment on Orvandel
 * below says all a host may rely on.
 *
 * Link with libOrvandel.dll.a (MinGW) or Orvandel.lib (MSVC, also fine for
 * lld-link and MinGW), or with find_package(Orvandel) and the imported target
 * Orvandel::Orvandel. Two builds of the same DLL and this same header: the
 * win32 zip for x86 (32-bit) hosts and the win64 zip for x64 (64-bit) hosts;
 * a process loads the one of its own architecture.
 */
#ifndef ORVANDEL_H
#define ORVANDEL_H

#if !defined(_WIN32)
#error "Orvandel.dll is a Windows library"
#endif

#include <wtypes.h> /* BSTR */

#ifdef __cplusplus
extern "C" {
#endif

/* The DLL itself defines ORVANDEL_BUILDING; hosts import. */
#if defined(ORVANDEL_BUILDING)
#define ORVANDEL_API
#else
#define ORVANDEL_API __declspec(dllimport)
#endif

/* Results. */
#define ORVANDEL_ENTER 0   /* answered with Enter (no choice or one choice) */
#define ORVANDEL_CHOICE1 1
#define ORVANDEL_CHOICE2 2
#define ORVANDEL_CHOICE3 3

/*
 * Orvandel: shows the box and waits for the answer. This comment is the
 * calling contract: everything a host may rely on is said here, once.
 *
 * SYSTEMS
 *   Windows 7 or later, x86 and x64 (the DLL imports nothing Windows 7 lacks;
 *   what later systems add, as per-window DPI, it uses where it finds it).
 *   It refuses to load on a Windows outside the NT family.
 *
 * CALLING
 *   x86: __stdcall, seven 32-bit arguments (28 bytes, removed by the callee),
 *   exported undecorated as "Orvandel"; the import libraries map the
 *   decorated _Orvandel@28 onto that name.
 *   x64: the platform's one calling convention (__stdcall is accepted and
 *   ignored); the BSTR* arguments are 64-bit addresses, x_offset, y_offset
 *   and the result stay 32-bit ints. Exported as "Orvandel" too.
 *
 *   Strings are passed as the ADDRESS of a BSTR (a BSTR*, "by reference" in
 *   BASIC terms). The caller owns every string; the call only reads it and
 *   never frees, reallocates or writes it. The BSTR's length prefix counts,
 *   not a terminator: embedded NULs are shown as glyphs in the rows and as
 *   blanks in the caption.
 *
 *   caption   window caption; an empty caption gives a window without a
 *             caption bar. A null address is taken as the empty string.
 *   message   the rows, separated by CR LF ("\r\n"); a lone CR or LF stays
 *             inside its row. A null address is taken as the empty string.
 *   x_offset, y_offset
 *             the frame's top-left corner is asked for at (30 + x_offset,
 *             80 + y_offset) screen pixels (see PLACE AND SIZE).
 *   choice1..choice3
 *             optional choice texts; a null ADDRESS means the choice is
 *             missing (a non-null address of a null BSTR is an empty
 *             choice). choice2/choice3 are ignored when choice1 (or choice2)
 *             is missing.
 *
 *   choices given            prompt rows                 keys   result
 *   none (choice1 null)      "  Press <Enter>"           Enter  0
 *   choice1 only             "  " + choice1              Enter  0
 *   choice1, choice2         "  Press 1 for " + choice1  1, 2   1, 2
 *                            "  Press 2 for " + choice2
 *   all three                ... "  Press 3 for " + c3   1-3    1, 2, 3
 *
 *   Every other key is ignored. The window has no close box and ignores
 *   Alt+F4: an accepted key is the only answer.
 *
 * PLACE AND SIZE
 *   A frame that fits at its asked-for corner in the work area of the
 *   monitor nearest that point goes exactly there; else it is moved the
 *   least that makes it fit. A box that fits is exactly as described here.
 *   One that does not still shows every word and its prompts: a message line
 *   wider than the widest box the work area holds is wrapped at its last
 *   space that fits (a word longer than a row at the row's end), each row
 *   after one space; a box taller than the work area shows as many rows as
 *   fit, the message rows scrolling above the blank row and the prompts,
 *   which stay in view, with a scroll bar beside them. Up, Down, PgUp, PgDn,
 *   Home, End and the mouse wheel scroll and answer nothing. The caption and
 *   the prompts are not wrapped; columns past the work area's width are cut.
 *   Messages of any length are laid out in time linear in their length, so
 *   even a 16 MB message (131,072 rows) shows its box promptly.
 *
 *   A character takes the cells it is drawn in: two for East Asian wide and
 *   fullwidth characters, none for combining marks and zero-width characters
 *   (drawn with the character before them), one for every other, control
 *   characters included (drawn as the font's glyph); a surrogate pair is one
 *   character. A character the box's font has no glyph for is drawn from a
 *   font of the system that has one. The cells scale with the DPI of the
 *   screen the window is on (GetDpiForWindow where the system has it), so
 *   the text keeps its physical size; at 96 DPI, and in a host the system
 *   scales itself, a cell is the font's own.
 *
 * HOW LARGE A MESSAGE
 *   A box is shown only with all it shows in memory: one string per row,
 *   the reading text (see READING), and the rows as text, in one block of
 *   rows x (4 x columns + 2) bytes, columns being the box's (the widest
 *   row's cells + 1, at least the caption's length + 3 and a widest
 *   prompt's + 2), but at most 32,767. Where that block or a row cannot be
 *   had, the call returns 0 without a box (see below), and does so at once,
 *   before the rows are made. The block is what limits a 32-bit host:
 *   measured in a 32-bit process under Wine, whose largest free block is
 *   about 530 MB, a message of 2,129,920 rows of 62 characters (260 MB)
 *   shows and scrolls, and one of 2,162,688 rows (264 MB) returns 0 in
 *   about a second; of lines of one character, 7,864,320 rows (45 MB) show
 *   and 8,126,464 do not. A 64-bit host has room for far more.
 *
 * READING
 *   The text area's window text (WM_GETTEXT, and so the name the system's
 *   accessibility proxy gives it) holds the whole message with its own line
 *   breaks (one space before each line, as shown) and the prompts, joined by
 *   CR LF, whatever is wrapped or scrolled out of view; the box is announced
 *   with an EVENT_SYSTEM_ALERT for that text area once its rows are printed.
 *   Ctrl+C (or WM_COPY to the text area) puts the box on the clipboard as
 *   message boxes copy themselves: lines of dashes around the caption, the
 *   message lines and the prompt rows. It does not answer the box.
 *
 * WHILE IT WAITS
 *   The calling thread keeps dispatching its own window messages, so the
 *   host's windows on that thread stay responsive. A WM_QUIT that arrives
 *   meanwhile does not end the box; it is posted again with the same exit
 *   code (PostQuitMessage) before the call returns. A WM_QUIT posted to the
 *   box's own thread (a host that posts one to every thread) leaves the box
 *   up, answering as before.
 *
 * THREADS AND TURNS
 *   One box per process. A call from another thread while a box is open
 *   closes that box, and the earlier call returns 0. Calls that overlap take
 *   turns, in the order the system hands a mutex on (first come, first
 *   served in practice): a call waits until the calls before it have their
 *   box on screen, then replaces it. So at most one box exists at any time,
 *   and every box is gone by the time its call returns.
 *   While a call asks the box before it to close, its thread handles the
 *   messages other threads send it; while it waits for its turn or for its
 *   window to be made, it handles none. A call from a window procedure of
 *   the calling thread while its box waits is served like a call from
 *   another thread: it replaces the box, and the outer call returns 0 once
 *   the inner one has returned.
 *
 * WHEN THE CALL RETURNS 0 WITHOUT AN ANSWER
 *   A host is never left stuck by a call: every wait inside it ends when
 *   what it waits for happens, when that can no longer happen, or at a bound
 *   of seconds. In each case below the call returns 0, as if Enter had been
 *   typed, and leaves no box (a box is never shown blank):
 *   - the system refuses a thread, a window or a drawing object for the box,
 *     or the memory for what it shows (see HOW LARGE A MESSAGE);
 *   - a wait inside the call reaches its bound;
 *   - it is called from a DLL's entry point (DllMain, for any reason), where
 *     the loader lock is held and no thread can start: at once;
 *   - it is called from a window procedure while the same thread's own call
 *     asks the box before it to close: at once;
 *   - another thread's call replaces its box (see THREADS AND TURNS);
 *   - its box can no longer take a key: its text area destroyed (a WM_CLOSE
 *     posted to it, as tools that close every window they find do), or the
 *     box's thread ended (killed, or ExitThread from a hook; a thread ended
 *     so never gives back its hold on the library, which then stays loaded).
 *   A calling thread that is killed (TerminateThread) while its box is made
 *   or waits takes its box with it within a moment, and the calls after it
 *   go on. As with any code, a thread killed while it holds a lock of the
 *   system's own (the heap's, the loader's) may still stall the process.
 *
 * WHEN THE CALL ENDS THE PROCESS
 *   Should the system refuse to take back memory the call releases (a
 *   GlobalFree that fails as the message's rows are freed), the call does
 *   not return: it ends the host process at once with exit code 255
 *   (ExitProcess), showing and writing nothing.
 *
 * AFTER THE CALL
 *   The host may free the library as soon as the call returns: the box's
 *   window thread keeps it loaded until that thread has ended.
 *   The x87 control word is left at 0x133F (64-bit precision, round to
 *   nearest, all exceptions masked); save and restore it around the call if
 *   the host depends on another setting.
 */
ORVANDEL_API int __stdcall Orvandel(BSTR* caption, BSTR* message, int x_offset, int y_offset,
                                    BSTR* choice1, BSTR* choice2, BSTR* choice3);

#ifdef __cplusplus
}
#endif

#endif /* ORVANDEL_H */
