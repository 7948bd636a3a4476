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
