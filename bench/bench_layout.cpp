// The message box layout for messages of 10 to 131,072 rows of 62
// characters; the largest is the 16 MB message. Reports rows per second, so
// a layout whose cost per row grows with the message shows at once. Laid out
// with no limit (BM_layout), in the box a 1,280 x 1,024 screen allows
// (BM_layout_screen: nothing wraps, but there are more rows than it shows),
// and as one paragraph, the rows joined by spaces, in that
// box (BM_layout_paragraph: every row wraps). BM_layout_rtl lays out a
// message of Hebrew and Arabic rows as large, and BM_layout_bidi then puts
// every row in reading order and gives its Arabic letters their joined
// forms, as drawing it would; BM_bidi_needed asks of every row of the Latin message whether it
// needs that at all. BM_print_wrapping prints into the shown text of a box of
// as many rows as it prints, each row twice the box's width, so every row
// wraps once and every wrap from the middle on scrolls the box: a scroll that
// moved every row would make it grow with the square of the rows.
#include <benchmark/benchmark.h>

#include <string.h>

#include <string>

#include <vector>

#include "msgbox/layout.h"
#include "textwin/shown_text.h"
#include "runtime/runtime.h"
#include "strings/bidi.h"
#include "strings/joining.h"

namespace {

// About 158 columns and 58 rows of 8 x 16 pixel cells; a scroll bar takes two.
constexpr FitLimits kScreenLimits{158, 156, 58};

enum class Rows { latin, right_to_left };

// What is done with each row once the box is laid out.
enum class Drawing { none, check, reorder };

// Every row's levels, visual order and joined forms, with arrays as large as
// the widest row, made once.
struct RowWork {
    std::vector<uint8_t> levels, forms;
    std::vector<uint32_t> order, scratch;
};

void draw_row(RowWork& work, StrHandle row, Drawing drawing) {
    const char16_t* units;
    const uint32_t n = str_len_wide(row, &units);
    if (!bidi_needed(units, n) || drawing == Drawing::check) return;
    if (work.levels.size() < n) {
        work.levels.resize(n);
        work.forms.resize(n);
        work.order.resize(n);
        work.scratch.resize(bidi_scratch_words(n));
    }
    const uint8_t paragraph = bidi_paragraph_levels(units, n, kBidiAuto, work.levels.data(), work.scratch.data());
    bidi_line_levels(units, n, paragraph, work.levels.data());
    bidi_visual_order(work.levels.data(), n, work.order.data());
    joining_forms(units, n, work.forms.data());
    benchmark::DoNotOptimize(work.order.data());
}

void lay_out(benchmark::State& state, const FitLimits& limits, bool paragraph, Rows kind = Rows::latin,
             Drawing drawing = Drawing::none) {
    static bool attached = library_entry(0x10000, kProcessAttach, 0) == 1;
    (void)attached;
    const int64_t rows = state.range(0);
    std::u16string text;
    text.reserve(static_cast<size_t>(rows) * 64);
    for (int64_t i = 0; i < rows; ++i) {
        if (i) text += paragraph ? u"  " : u"\r\n";
        std::string number = "Row " + std::to_string(i) + " ";
        std::u16string row(number.begin(), number.end());
        // Hebrew and Arabic words, digits and a bracket pair.
        if (kind == Rows::right_to_left) row = u"\u05E9\u05D5\u05E8\u05D4 " + row + u"(\u0645\u0631\u062D\u0628\u0627) ";
        while (kind == Rows::right_to_left && row.size() < 62) row += u"\u0644\u0627 \u05E9\u05DC\u05D5\u05DD ";
        row.resize(62, u'x');
        text += row;
    }
    StrHandle message = str_alloc_wide(static_cast<uint32_t>(text.size()));
    memcpy(reinterpret_cast<void*>(message), text.data(), text.size() * 2);
    StrHandle caption = str_alloc_wide(5), yes = str_alloc_wide(3), no = str_alloc_wide(2);
    memcpy(reinterpret_cast<void*>(caption), u"Title", 10);
    memcpy(reinterpret_cast<void*>(yes), u"Yes", 6);
    memcpy(reinterpret_cast<void*>(no), u"No", 4);
    RowWork work;
    for (auto _ : state) {
        MsgBoxLocals l;
        msgbox_locals_init(l);
        msgbox_layout(l, &caption, &message, &yes, &no, nullptr, limits);
        msgbox_accepted_keys(l);
        benchmark::DoNotOptimize(l.row_width);
        if (drawing != Drawing::none) {
            for (int32_t i = 1; i <= l.line_count; i++) draw_row(work, msgbox_line(l, i), drawing);
        }
        release_locals(l.proc_frame);
    }
    state.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(state.iterations() * rows),
                                                      benchmark::Counter::kIsRate);
    state.SetComplexityN(rows);
    for (StrHandle h : {message, caption, yes, no}) str_free(h);
}

void BM_layout(benchmark::State& state) { lay_out(state, FitLimits{0, 0, 0}, false); }
void BM_layout_screen(benchmark::State& state) { lay_out(state, kScreenLimits, false); }
void BM_layout_paragraph(benchmark::State& state) { lay_out(state, kScreenLimits, true); }
void BM_layout_rtl(benchmark::State& state) { lay_out(state, FitLimits{0, 0, 0}, false, Rows::right_to_left); }
void BM_layout_bidi(benchmark::State& state) {
    lay_out(state, FitLimits{0, 0, 0}, false, Rows::right_to_left, Drawing::reorder);
}
void BM_bidi_needed(benchmark::State& state) { lay_out(state, FitLimits{0, 0, 0}, false, Rows::latin, Drawing::check); }

void BM_print_wrapping(benchmark::State& state) {
    static bool attached = library_entry(0x10000, kProcessAttach, 0) == 1;
    (void)attached;
    const int32_t rows = static_cast<int32_t>(state.range(0));
    constexpr int32_t kColumns = 40;
    const std::u16string row(2 * kColumns, u'w');
    for (auto _ : state) {
        StrHandle shown = shown_text_of_box(rows, kColumns);
        PrintCursor cursor{kColumns, rows, 0, 0};
        for (int32_t i = 0; i < rows; ++i) {
            for (uint32_t done = 0; done < row.size();) {
                done += print_step(shown, cursor, row.data() + done, static_cast<uint32_t>(row.size()) - done).units;
            }
            print_newline(shown, cursor);
        }
        str_free(shown);
    }
    state.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(state.iterations() * rows),
                                                      benchmark::Counter::kIsRate);
    state.SetComplexityN(rows);
}

BENCHMARK(BM_print_wrapping)->Arg(1000)->Arg(8000)->Arg(64000)->Complexity()->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_layout)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(131072)
    ->Complexity()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_layout_screen)->Arg(1000)->Arg(131072)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_layout_paragraph)->Arg(1000)->Arg(131072)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_layout_rtl)->Arg(131072)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_layout_bidi)->Arg(1000)->Arg(10000)->Arg(131072)->Complexity()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_bidi_needed)->Arg(131072)->Unit(benchmark::kMicrosecond);

}  // namespace
