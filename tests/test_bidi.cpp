// Reading order: Unicode's conformance files run through the algorithm
// whole (levels and visual order), the tables checked against the data for
// every code point, and what the files leave out: surrogates, mirrored
// glyphs in the visual text, lines of a wrapped paragraph.
#include <gtest/gtest.h>

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "strings/bidi.h"
#include "strings/unicode_runs.h"
#include "tests/unicode_files.h"

namespace {

struct ClassName {
    const char* short_name;
    const char* long_name;
};
// In the order of enum BidiClass.
constexpr ClassName kClassNames[] = {
    {"L", "Left_To_Right"},         {"R", "Right_To_Left"},          {"AL", "Arabic_Letter"},
    {"EN", "European_Number"},      {"ES", "European_Separator"},    {"ET", "European_Terminator"},
    {"AN", "Arabic_Number"},        {"CS", "Common_Separator"},      {"NSM", "Nonspacing_Mark"},
    {"BN", "Boundary_Neutral"},     {"B", "Paragraph_Separator"},    {"S", "Segment_Separator"},
    {"WS", "White_Space"},          {"ON", "Other_Neutral"},         {"LRE", "Left_To_Right_Embedding"},
    {"LRO", "Left_To_Right_Override"}, {"RLE", "Right_To_Left_Embedding"}, {"RLO", "Right_To_Left_Override"},
    {"PDF", "Pop_Directional_Format"}, {"LRI", "Left_To_Right_Isolate"}, {"RLI", "Right_To_Left_Isolate"},
    {"FSI", "First_Strong_Isolate"},   {"PDI", "Pop_Directional_Isolate"},
};
static_assert(sizeof kClassNames / sizeof kClassNames[0] == kBidiClassCount, "one name per class");

// Calls on_word(word, length) for each blank-separated word of a line, up to
// its end, a ';' or a '#'; returns where it stopped.
template <typename OnWord>
const char* each_word(const char* text, OnWord on_word) {
    for (;;) {
        while (*text == ' ' || *text == '\t') text++;
        const size_t len = strcspn(text, " \t;#\r\n");
        if (len == 0) return text;
        on_word(text, len);
        text += len;
    }
}

int class_named(const char* name, size_t len) {
    for (int c = 0; c < kBidiClassCount; c++) {
        for (const char* known : {kClassNames[c].short_name, kClassNames[c].long_name}) {
            if (strlen(known) == len && memcmp(known, name, len) == 0) return c;
        }
    }
    return -1;
}

// Levels or indices as the files write them, -1 for x (a character X9
// removed); returns the ';' after them, or the line's end.
const char* read_numbers(const char* text, std::vector<int>& out) {
    out.clear();
    return each_word(text, [&](const char* word, size_t) { out.push_back(*word == 'x' ? -1 : atoi(word)); });
}

std::string joined(const std::vector<int>& values) {
    std::string out;
    for (int v : values) out += (out.empty() ? "" : " ") + (v < 0 ? std::string("x") : std::to_string(v));
    return out;
}

// Counts the cases and reports the first few that fail, with their line.
// A case passes when its paragraph level, the levels of its characters
// (those the file marks x left out) and their visual order (bidi_visual_order
// over the characters left) are the file's.
struct Tally {
    const char* file;
    int passed = 0;
    int total = 0;
    std::vector<uint8_t> kept_levels;
    std::vector<uint32_t> kept, order;

    void check(int line, const std::string& input, int paragraph, const uint8_t* levels, int want_paragraph,
               const std::vector<int>& want_levels, const std::vector<int>& want_order) {
        total++;
        bool same = paragraph == want_paragraph;
        kept_levels.clear();
        kept.clear();
        for (uint32_t i = 0; i < want_levels.size(); i++) {
            if (want_levels[i] < 0) continue;
            same = same && levels[i] == want_levels[i];
            kept_levels.push_back(levels[i]);
            kept.push_back(i);
        }
        order.resize(kept.size());
        bidi_visual_order(kept_levels.data(), static_cast<uint32_t>(kept.size()), order.data());
        same = same && order.size() == want_order.size();
        for (size_t v = 0; same && v < order.size(); v++) same = int(kept[order[v]]) == want_order[v];
        if (same) {
            passed++;
        } else if (total - passed <= 10) {
            std::vector<int> got_levels, got_order;
            for (uint32_t i = 0; i < want_levels.size(); i++) got_levels.push_back(want_levels[i] < 0 ? -1 : levels[i]);
            for (uint32_t v : order) got_order.push_back(int(kept[v]));
            ADD_FAILURE() << file << ":" << line << " " << input << "\n  paragraph " << paragraph << ", want "
                          << want_paragraph << "\n  levels " << joined(got_levels) << "\n  want   "
                          << joined(want_levels) << "\n  order  " << joined(got_order) << "\n  want   "
                          << joined(want_order);
        }
    }
    ~Tally() { printf("%s: %d of %d cases pass\n", file, passed, total); }
};

TEST(Bidi, EveryCaseOfBidiTest) {
    Tally tally{"BidiTest.txt"};
    std::vector<int> want_levels, want_order;
    std::vector<uint8_t> classes, levels;
    std::vector<uint32_t> scratch;
    const bool read = each_unicode_line("BidiTest.txt", [&](const char* text, int line) {
        if (strncmp(text, "@Levels:", 8) == 0) read_numbers(text + 8, want_levels);
        if (strncmp(text, "@Reorder:", 9) == 0) read_numbers(text + 9, want_order);
        if (*text < 'A' || *text > 'Z') return;
        classes.clear();
        const char* end = each_word(text, [&](const char* word, size_t len) {
            classes.push_back(static_cast<uint8_t>(class_named(word, len)));
        });
        ASSERT_EQ(*end, ';') << line;
        const uint32_t n = static_cast<uint32_t>(classes.size());
        levels.resize(n);
        scratch.resize(bidi_scratch_words(n));
        const unsigned bits = static_cast<unsigned>(strtoul(end + 1, nullptr, 16));
        const BidiDirection directions[] = {kBidiAuto, kBidiLeftToRight, kBidiRightToLeft};
        for (int d = 0; d < 3; d++) {
            if (!(bits & (1u << d))) continue;
            const uint8_t paragraph = bidi_resolve_classes(classes.data(), nullptr, n, directions[d], levels.data(),
                                                           scratch.data());
            bidi_line_levels_classes(classes.data(), n, paragraph, levels.data());
            // The file gives no paragraph level: the forced ones are known.
            tally.check(line, std::string(text, end) + "; " + std::to_string(1 << d), paragraph, levels.data(),
                        d == 0 ? paragraph : d - 1, want_levels, want_order);
        }
    });
    ASSERT_TRUE(read) << "cannot read /usr/share/unicode/BidiTest.txt (Debian's unicode-data package)";
    EXPECT_GT(tally.total, 400000);
    EXPECT_EQ(tally.passed, tally.total);
}

TEST(Bidi, EveryCaseOfBidiCharacterTest) {
    Tally tally{"BidiCharacterTest.txt"};
    std::u16string units;
    std::vector<uint32_t> first_unit, scratch;
    std::vector<uint8_t> levels, by_character;
    std::vector<int> want_levels, want_order;
    const bool read = each_unicode_line("BidiCharacterTest.txt", [&](const char* text, int line) {
        if (!isxdigit(static_cast<unsigned char>(*text))) return;
        units.clear();
        first_unit.clear();
        const char* field = each_word(text, [&](const char* word, size_t) {
            const uint32_t cp = static_cast<uint32_t>(strtoul(word, nullptr, 16));
            first_unit.push_back(static_cast<uint32_t>(units.size()));
            if (cp >= 0x10000) {
                units += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                units += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            } else {
                units += static_cast<char16_t>(cp);
            }
        });
        ASSERT_EQ(*field, ';') << line;
        const int direction = atoi(field + 1);
        field = strchr(field + 1, ';');
        ASSERT_NE(field, nullptr) << line;
        const int want_paragraph = atoi(field + 1);
        field = strchr(field + 1, ';');
        ASSERT_NE(field, nullptr) << line;
        field = read_numbers(field + 1, want_levels);
        ASSERT_EQ(*field, ';') << line;
        read_numbers(field + 1, want_order);

        const uint32_t n = static_cast<uint32_t>(units.size());
        levels.resize(n);
        scratch.resize(bidi_scratch_words(n));
        const BidiDirection directions[] = {kBidiLeftToRight, kBidiRightToLeft, kBidiAuto};
        const uint8_t paragraph =
            bidi_paragraph_levels(units.data(), n, directions[direction], levels.data(), scratch.data());
        bidi_line_levels(units.data(), n, paragraph, levels.data());
        by_character.clear();
        for (uint32_t at : first_unit) by_character.push_back(levels[at]);
        tally.check(line, std::string(text, strcspn(text, ";")) + "; " + std::to_string(direction), paragraph,
                    by_character.data(), want_paragraph, want_levels, want_order);
    });
    ASSERT_TRUE(read) << "cannot read /usr/share/unicode/BidiCharacterTest.txt (Debian's unicode-data package)";
    EXPECT_GT(tally.total, 90000);
    EXPECT_EQ(tally.passed, tally.total);
}

// Every code point's class, from DerivedBidiClass.txt (its @missing lines
// give the defaults of the unassigned ones, in order, before the listed
// classes); every mirrored counterpart, from BidiMirroring.txt.
TEST(Bidi, EveryCodePointAsTheUnicodeDataSays) {
    std::vector<uint8_t> want(kLastCodePoint + 1, kBidiL);
    const bool classes = each_unicode_line("extracted/DerivedBidiClass.txt", [&](const char* line, int) {
        const char* data = strncmp(line, "# @missing: ", 12) == 0 ? line + 12 : line;
        unsigned first, last;
        if (!unicode_range(data, &first, &last)) return;
        const char* name = strchr(data, ';');
        ASSERT_NE(name, nullptr);
        int c = -1;
        each_word(name + 1, [&](const char* word, size_t len) { c = class_named(word, len); });
        ASSERT_GE(c, 0) << line;
        for (unsigned cp = first; cp <= last; cp++) want[cp] = static_cast<uint8_t>(c);
    });
    ASSERT_TRUE(classes) << "cannot read /usr/share/unicode/extracted/DerivedBidiClass.txt";
    std::vector<uint32_t> mirror(want.size());
    for (uint32_t cp = 0; cp < mirror.size(); cp++) mirror[cp] = cp;
    const bool mirrors = each_unicode_line("BidiMirroring.txt", [&](const char* line, int) {
        unsigned from, to;
        if (sscanf(line, "%x; %x", &from, &to) == 2) mirror[from] = to;
    });
    ASSERT_TRUE(mirrors) << "cannot read /usr/share/unicode/BidiMirroring.txt";
    int wrong = 0;
    for (uint32_t cp = 0; cp < want.size(); cp++) {
        if (bidi_class(cp) == want[cp] && bidi_mirror(cp) == mirror[cp]) continue;
        if (++wrong <= 10) {
            ADD_FAILURE() << "U+" << std::hex << cp << ": class " << kClassNames[bidi_class(cp)].short_name
                          << ", the data says " << kClassNames[want[cp]].short_name << "; mirror U+"
                          << bidi_mirror(cp) << ", the data says U+" << mirror[cp];
        }
    }
    EXPECT_EQ(wrong, 0) << "run scripts/gen-bidi-tables.sh";
    EXPECT_EQ(bidi_class(0x110000), kBidiL);
    EXPECT_EQ(bidi_mirror(0x110000), 0x110000u);
}

// The visual text of a line: its characters (a surrogate pair is one) in the
// order bidi_visual_order() gives, each at an odd level mirrored.
std::u16string visual(const std::u16string& text, const std::vector<uint8_t>& levels) {
    std::vector<uint8_t> item_levels;
    std::vector<size_t> starts;
    for (size_t at = 0; at < text.size(); at++) {
        if (at > 0 && text[at] >= 0xDC00 && text[at] <= 0xDFFF && text[at - 1] >= 0xD800 && text[at - 1] <= 0xDBFF) continue;
        starts.push_back(at);
        item_levels.push_back(levels[at]);
    }
    std::vector<uint32_t> order(starts.size());
    bidi_visual_order(item_levels.data(), static_cast<uint32_t>(order.size()), order.data());
    std::u16string out;
    for (uint32_t item : order) {
        const size_t at = starts[item], end = item + 1 < starts.size() ? starts[item + 1] : text.size();
        if (end - at == 1 && (levels[at] & 1)) {
            out += static_cast<char16_t>(bidi_mirror(text[at]));
        } else {
            out += text.substr(at, end - at);
        }
    }
    return out;
}

// Units as hex, so that a failure shows which characters differ.
std::string hex(const std::u16string& text) {
    std::string out;
    char unit[8];
    for (char16_t u : text) {
        snprintf(unit, sizeof unit, " %04X", unsigned(u));
        out += unit;
    }
    return out;
}

// What the conformance files leave out: surrogates, mirrored glyphs and the
// paragraph level of text rather than classes.
TEST(Bidi, TextInVisualOrder) {
    const struct {
        const char* name;
        std::u16string text;
        BidiDirection direction;
        uint8_t paragraph_level;
        std::u16string visual;
    } cases[] = {
        {"ASCII stays as it is", u"abc 123", kBidiAuto, 0, u"abc 123"},
        {"Hebrew reads from the right", u"\u05D0\u05D1\u05D2", kBidiAuto, 1, u"\u05D2\u05D1\u05D0"},
        {"Hebrew with digits: the digits stay left to right", u"\u05D0\u05D1 123", kBidiAuto, 1, u"123 \u05D1\u05D0"},
        {"European digits after an Arabic letter", u"\u0627 12", kBidiAuto, 1, u"12 \u0627"},
        {"Arabic-Indic digits alone keep their order", u"\u0661\u0662\u0663", kBidiAuto, 0, u"\u0661\u0662\u0663"},
        {"brackets at an odd level are mirrored", u"\u05D0(\u05D1)", kBidiAuto, 1, u"(\u05D1)\u05D0"},
        {"a bracket pair takes the direction around it", u"a(b)", kBidiRightToLeft, 1, u"a(b)"},
        {"forced left to right", u"\u05D0\u05D1", kBidiLeftToRight, 0, u"\u05D1\u05D0"},
        {"trailing spaces stay at the line's end", u"abc  ", kBidiRightToLeft, 1, u"  abc"},
        {"a surrogate pair is one character", u"\U00010900a", kBidiAuto, 1, u"a\U00010900"},
        {"a pair's second unit is no character of its own", u"\U00010900 12", kBidiLeftToRight, 0, u"12 \U00010900"},
        {"an emoji between Hebrew letters", u"\u05D0\U0001F600\u05D1", kBidiAuto, 1, u"\u05D1\U0001F600\u05D0"},
        {"a lone surrogate is a character of its own", u"\xD800\u05D0", kBidiAuto, 0, u"\xD800\u05D0"},
        {"an override turns Latin around", u"a\u202Eb c\u202C", kBidiLeftToRight, 0, u"a\u202Ec b\u202C"},
        {"the first strong character outside isolates", u"\u2067\u05D0\u2069a", kBidiAuto, 0, u"\u2067\u05D0\u2069a"},
        {"a first-strong isolate of Hebrew", u"a \u2068\u05D0\u05D1\u2069 c", kBidiAuto, 0, u"a \u2068\u05D1\u05D0\u2069 c"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t n = static_cast<uint32_t>(c.text.size());
        std::vector<uint8_t> levels(n);
        std::vector<uint32_t> scratch(bidi_scratch_words(n));
        const uint8_t paragraph = bidi_paragraph_levels(c.text.data(), n, c.direction, levels.data(), scratch.data());
        bidi_line_levels(c.text.data(), n, paragraph, levels.data());
        EXPECT_EQ(paragraph, c.paragraph_level);
        if (c.direction == kBidiAuto) EXPECT_EQ(bidi_paragraph_level(c.text.data(), n), c.paragraph_level);
        EXPECT_EQ(hex(visual(c.text, levels)), hex(c.visual));
    }
}

// Rule L1 on each line of a wrapped paragraph: the space that ends a line
// goes to its end, and the second unit of a pair keeps its first's level.
TEST(Bidi, EachLineOfAWrappedParagraph) {
    const std::u16string text = u"\u05D0 \u05D1";
    std::vector<uint8_t> levels(3);
    uint32_t scratch[bidi_scratch_words(3)];
    ASSERT_EQ(bidi_paragraph_levels(text.data(), 3, kBidiLeftToRight, levels.data(), scratch), 0);
    EXPECT_EQ(levels, (std::vector<uint8_t>{1, 1, 1}));
    bidi_line_levels(text.data(), 2, 0, levels.data());
    bidi_line_levels(text.data() + 2, 1, 0, levels.data() + 2);
    EXPECT_EQ(levels, (std::vector<uint8_t>{1, 0, 1}));
    EXPECT_EQ(hex(visual(text.substr(0, 2), levels)), hex(u"\u05D0 "));

    const std::u16string pair = u"\U00010900  ";
    std::vector<uint8_t> pair_levels(4);
    uint32_t pair_scratch[bidi_scratch_words(4)];
    bidi_paragraph_levels(pair.data(), 4, kBidiLeftToRight, pair_levels.data(), pair_scratch);
    bidi_line_levels(pair.data(), 4, 0, pair_levels.data());
    EXPECT_EQ(pair_levels, (std::vector<uint8_t>{1, 1, 0, 0}));
}

TEST(Bidi, NeededOnlyForRightToLeftNumbersAndControls) {
    const struct {
        std::u16string text;
        bool needed;
    } cases[] = {
        {u"Hello, world 123", false},    {u"caf\u00E9 \u6F22\U0001F600", false}, {u"a\u0300", false},
        {u"\u200E left-to-right mark", false}, {u"\xD802 a lone surrogate", false}, {u"\u05D0", true},
        {u"\u0627", true},               {u"\u0661 Arabic-Indic digit", true},   {u"\u200F", true},
        {u"\u2066", true},               {u"\u202A", true},                      {u"\u2069", true},
        {u"\U00010900", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bidi_needed(c.text.data(), static_cast<uint32_t>(c.text.size())), c.needed)
            << hex(c.text);
    }
}

// Whether the algorithm pairs `open` and `close` as brackets: in "a open b
// close" from right to left, rule N0 makes both L, where without it the
// closing one would take the paragraph's direction.
bool paired(char16_t open, char16_t close) {
    const char16_t text[] = {u'a', open, u'b', close};
    uint8_t classes[4], with[4], without[4];
    uint32_t scratch[bidi_scratch_words(4)];
    for (int i = 0; i < 4; i++) classes[i] = bidi_class(text[i]);
    bidi_resolve_classes(classes, text, 4, kBidiRightToLeft, with, scratch);
    bidi_resolve_classes(classes, nullptr, 4, kBidiRightToLeft, without, scratch);
    return memcmp(with, without, 4) != 0;
}

// Every opening bracket of BidiBrackets.txt pairs with its closing one, and
// no other character with its mirrored counterpart; canonical equivalents
// pair too.
TEST(Bidi, EveryBracketPairAsBidiBracketsSays) {
    std::vector<bool> opening(0x10000);
    const bool read = each_unicode_line("BidiBrackets.txt", [&](const char* line, int) {
        unsigned cp, pair;
        char type;
        if (sscanf(line, "%x; %x; %c", &cp, &pair, &type) != 3) return;
        ASSERT_EQ(bidi_mirror(cp), pair) << line;
        if (type == 'o') opening[cp] = true;
    });
    ASSERT_TRUE(read) << "cannot read /usr/share/unicode/BidiBrackets.txt";
    int wrong = 0;
    for (uint32_t cp = 0; cp < opening.size(); cp++) {
        if (bidi_class(cp) != kBidiON || paired(cp, bidi_mirror(cp)) == opening[cp]) continue;
        if (++wrong <= 10) ADD_FAILURE() << "U+" << std::hex << cp << (opening[cp] ? " does not pair" : " pairs");
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(paired(0x2329, 0x3009));
    EXPECT_TRUE(paired(0x3008, 0x232A));
    EXPECT_FALSE(paired(u'(', u']'));
}

}  // namespace
