// The message box layout for messages of 10 to 10,000 rows. Each row is
// found by walking the message from its start, so the time grows with the
// square of the rows.
#include <benchmark/benchmark.h>

#include <string.h>

#include <string>

#include "msgbox/layout.h"
#include "runtime/runtime.h"

namespace {

void BM_layout(benchmark::State& state) {
    static bool attached = library_entry(0x10000, kProcessAttach, 0) == 1;
    (void)attached;
    std::u16string text;
    for (int64_t i = 0; i < state.range(0); ++i) {
        if (i) text += u"\r\n";
        text += u"Row " + std::u16string(static_cast<size_t>(i % 40), u'x');
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
        msgbox_layout(l, &caption, &message, &yes, &no, nullptr);
        msgbox_accepted_keys(l);
        benchmark::DoNotOptimize(l.row_width);
        release_locals(l.frame);
    }
    state.SetComplexityN(state.range(0));
    for (StrHandle h : {message, caption, yes, no}) str_free(h);
}

BENCHMARK(BM_layout)->RangeMultiplier(10)->Range(10, 10000)->Complexity()->Unit(benchmark::kMicrosecond);

}  // namespace
