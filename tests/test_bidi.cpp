// Reading order: Unicode's conformance files run through the algorithm
// whole (levels and visual order), the tables checked against the data for
// every code point, and what the files leave out: surrogates, mirrored
// glyphs in the visual text, lines of a wrapped paragraph.
#include <gtest/gtest.h>

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

int class_named(const std::string& name) {
    for (int c = 0; c < kBidiClassCount; c++) {
        if (name == kClassNames[c].short_name || name == kClassNames[c].long_name) return c;
    }
    return -1;
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while ((at = text.find_first_not_of(" \t\r\n", at)) != std::string::npos) {
        const size_t end = text.find_first_of(" \t\r\n", at);
        out.push_back(text.substr(at, end - at));
        at = end;
    }
    return out;
}

// Levels as the files write them: -1 for x, a character X9 removed.
std::vector<int> numbers(const std::string& text) {
    std::vector<int> out;
    for (const std::string& w : words(text)) out.push_back(w == "x" ? -1 : atoi(w.c_str()));
    return out;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t semicolon; (semicolon = line.find(';', at)) != std::string::npos; at = semicolon + 1) {
        out.push_back(line.substr(at, semicolon - at));
    }
    out.push_back(line.substr(at));
    return out;
}

// What a conformance case resolved: the levels of its items and their visual
// order (the items with expected level x left out), compared with the file's.
struct Outcome {
    int paragraph_level;
    std::vector<int> levels;
    std::vector<int> order;
};

Outcome outcome(int paragraph_level, const std::vector<int>& levels, const std::vector<int>& expected_levels) {
    Outcome o{paragraph_level, {}, {}};
    std::vector<uint8_t> kept_levels;
    std::vector<int> kept;
    for (size_t i = 0; i < expected_levels.size(); i++) {
        o.levels.push_back(expected_levels[i] < 0 ? -1 : levels[i]);
        if (expected_levels[i] < 0) continue;
        kept_levels.push_back(static_cast<uint8_t>(levels[i]));
        kept.push_back(static_cast<int>(i));
    }
    std::vector<uint32_t> order(kept.size());
    bidi_visual_order(kept_levels.data(), static_cast<uint32_t>(kept.size()), order.data());
    for (uint32_t v : order) o.order.push_back(kept[v]);
    return o;
}

std::string joined(const std::vector<int>& values) {
    std::string out;
    for (int v : values) out += (out.empty() ? "" : " ") + (v < 0 ? std::string("x") : std::to_string(v));
    return out;
}

// Counts the cases and reports the first few that fail, with their line.
struct Tally {
    const char* file;
    int passed = 0;
    int total = 0;

    void check(int line, const std::string& input, const Outcome& got, const Outcome& want) {
        total++;
        if (got.paragraph_level == want.paragraph_level && got.levels == want.levels && got.order == want.order) {
            passed++;
        } else if (total - passed <= 10) {
            ADD_FAILURE() << file << ":" << line << " " << input << "\n  paragraph " << got.paragraph_level
                          << ", want " << want.paragraph_level << "\n  levels " << joined(got.levels)
                          << "\n  want   " << joined(want.levels) << "\n  order  " << joined(got.order)
                          << "\n  want   " << joined(want.order);
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
        const std::string s(text);
        if (s.rfind("@Levels:", 0) == 0) want_levels = numbers(s.substr(8));
        if (s.rfind("@Reorder:", 0) == 0) want_order = numbers(s.substr(9));
        if (s.empty() || s[0] == '#' || s[0] == '@' || s.find(';') == std::string::npos) return;
        const std::vector<std::string> f = fields(s);
        classes.clear();
        for (const std::string& name : words(f[0])) classes.push_back(static_cast<uint8_t>(class_named(name)));
        const uint32_t n = static_cast<uint32_t>(classes.size());
        levels.assign(n, 0);
        scratch.assign(bidi_scratch_words(n), 0);
        const unsigned bits = static_cast<unsigned>(strtoul(f[1].c_str(), nullptr, 16));
        const BidiDirection directions[] = {kBidiAuto, kBidiLeftToRight, kBidiRightToLeft};
        for (int d = 0; d < 3; d++) {
            if (!(bits & (1u << d))) continue;
            const uint8_t paragraph = bidi_resolve_classes(classes.data(), nullptr, n, directions[d], levels.data(),
                                                           scratch.data());
            bidi_line_levels_classes(classes.data(), n, paragraph, levels.data());
            const Outcome got = outcome(paragraph, std::vector<int>(levels.begin(), levels.end()), want_levels);
            // The file gives no paragraph level: the forced ones are known.
            const int want_paragraph = d == 0 ? paragraph : d - 1;
            tally.check(line, f[0] + "; " + std::to_string(1 << d), got, Outcome{want_paragraph, want_levels, want_order});
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
    std::vector<uint8_t> levels;
    const bool read = each_unicode_line("BidiCharacterTest.txt", [&](const char* text, int line) {
        const std::string s(text);
        if (s.empty() || s[0] == '#' || s.find(';') == std::string::npos) return;
        const std::vector<std::string> f = fields(s);
        units.clear();
        first_unit.clear();
        for (const std::string& w : words(f[0])) {
            const uint32_t cp = static_cast<uint32_t>(strtoul(w.c_str(), nullptr, 16));
            first_unit.push_back(static_cast<uint32_t>(units.size()));
            if (cp >= 0x10000) {
                units += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                units += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            } else {
                units += static_cast<char16_t>(cp);
            }
        }
        const uint32_t n = static_cast<uint32_t>(units.size());
        levels.assign(n, 0);
        scratch.assign(bidi_scratch_words(n), 0);
        const BidiDirection directions[] = {kBidiLeftToRight, kBidiRightToLeft, kBidiAuto};
        const uint8_t paragraph =
            bidi_paragraph_levels(units.data(), n, directions[atoi(f[1].c_str())], levels.data(), scratch.data());
        bidi_line_levels(units.data(), n, paragraph, levels.data());
        std::vector<int> by_character;
        for (uint32_t at : first_unit) by_character.push_back(levels[at]);
        const std::vector<int> want_levels = numbers(f[3]);
        tally.check(line, f[0] + "; " + f[1], outcome(paragraph, by_character, want_levels),
                    Outcome{atoi(f[2].c_str()), want_levels, numbers(f[4])});
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
        const std::vector<std::string> w = words(std::string(name + 1).substr(0, strcspn(name + 1, "#")));
        const int c = class_named(w.at(0));
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
