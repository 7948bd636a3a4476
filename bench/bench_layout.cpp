// The message box layout for messages of 10 to 131,072 rows of 62
// characters; the largest is the 16 MB message. Reports rows per second, so
// a layout whose cost per row grows with the message shows at once. Laid out
// with no limit (BM_layout), in the box a 1,280 x 1,024 screen allows
// (BM_layout_screen: nothing wraps, but there are more rows than it shows),
// and as one paragraph, the rows joined by spaces, in that
// box (BM_layout_paragraph: every row wraps).
#include <benchmark/benchmark.h>

#include <string.h>

#include <string>

#include "msgbox/layout.h"
#include "runtime/runtime.h"

namespace {

// About 158 columns and 58 rows of 8 x 16 pixel cells; a scroll bar takes two.
constexpr FitLimits kScreenLimits{158, 156, 58};

void lay_out(benchmark::State& state, const FitLimits& limits, bool paragraph) {
    static bool attached = library_entry(0x10000, kProcessAttach, 0) == 1;
    (void)attached;
    const int64_t rows = state.range(0);
    std::u16string text;
    text.reserve(static_cast<size_t>(rows) * 64);
    for (int64_t i = 0; i < rows; ++i) {
        if (i) text += paragraph ? u"  " : u"\r\n";
        std::string number = "Row " + std::to_string(i) + " ";
        std::u16string row(number.begin(), number.end());
        row.resize(62, u'x');
        text += row;
    }
    StrHandle message = str_alloc_wide(static_cast<uint32_t>(text.size()));
    memcpy(reinterpret_cast<void*>(message), text.data(), text.size() * 2);
    StrHandle caption = str_alloc_wide(5), yes = str_alloc_wide(3), no = str_alloc_wide(2);
    memcpy(reinterpret_cast<void*>(caption), u"Title", 10);
    memcpy(reinterpret_cast<void*>(yes), u"Yes", 6);
    memcpy(reinterpret_cast<void*>(no), u"No", 4);
    for (auto _ : state) {
        MsgBoxLocals l;
        msgbox_locals_init(l);
        msgbox_layout(l, &caption, &message, &yes, &no, nullptr, limits);
        msgbox_accepted_keys(l);
        benchmark::DoNotOptimize(l.row_width);
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

}  // namespace
