// Where characters lie on the grid: cells per character, surrogate pairs as
// one character, and (natively) the generated tables against the Unicode data.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "strings/cells.h"

namespace {

struct CellCase {
    const char* name;
    std::u16string text;
    uint32_t code_point;   // of the first character
    uint32_t units;
    uint32_t cells;        // of the first character
    uint32_t text_cells;   // of the whole text
};

TEST(Cells, CharactersAndTexts) {
    const CellCase cases[] = {
        {"ASCII letter", u"a", 'a', 1, 1, 1},
        {"carriage return is drawn as a glyph", u"\r", 13, 1, 1, 1},
        {"NUL is drawn as a glyph", std::u16string(1, u'\0'), 0, 1, 1, 1},
        {"CJK ideograph", u"\u6F22\u5B57", 0x6F22, 1, 2, 4},
        {"hiragana", u"\u3042", 0x3042, 1, 2, 2},
        {"fullwidth A", u"\uFF21", 0xFF21, 1, 2, 2},
        {"halfwidth katakana", u"\uFF76", 0xFF76, 1, 1, 1},
        {"Hangul syllable and a conjoining vowel", u"\uAC00\u1161", 0xAC00, 1, 2, 2},
        {"e and a combining acute", u"e\u0301", 'e', 1, 1, 1},
        {"a combining mark alone", u"\u0301", 0x301, 1, 0, 0},
        {"zero-width space", u"a\u200Bb", 'a', 1, 1, 2},
        {"zero-width joiner", u"\u200D", 0x200D, 1, 0, 0},
        {"emoji, a surrogate pair", u"\U0001F600", 0x1F600, 2, 2, 2},
        {"plane 2 ideograph, a surrogate pair", u"\U00020000x", 0x20000, 2, 2, 3},
        {"musical symbol, a narrow surrogate pair", u"\U0001D11E", 0x1D11E, 2, 1, 1},
        {"lone high surrogate", u"\xD800" u"a", 0xD800, 1, 1, 2},
        {"high surrogate at the end", u"a\xD83D", 'a', 1, 1, 2},
        {"lone low surrogate", u"\xDC00", 0xDC00, 1, 1, 1},
        {"reversed pair is two characters", u"\xDE00\xD83D", 0xDE00, 1, 1, 2},
    };
    for (const CellCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CellChar first = cell_char_at(c.text.data(), static_cast<uint32_t>(c.text.size()), 0);
        EXPECT_EQ(first.code_point, c.code_point);
        EXPECT_EQ(first.units, c.units);
        EXPECT_EQ(first.cells, c.cells);
        EXPECT_EQ(text_cells(c.text.data(), static_cast<uint32_t>(c.text.size())), c.text_cells);
    }
}

// A row takes the whole characters that fit in the cells left on it.
TEST(Cells, WholeCharactersThatFitInTheCellsLeft) {
    const struct {
        const char* name;
        std::u16string text;
        uint32_t cells;
        uint32_t units;   // taken
    } cases[] = {
        {"ASCII, fewer cells than units", u"abcdef", 4, 4},
        {"ASCII, more cells than units", u"ab", 5, 2},
        {"a wide character fits whole", u"a\u6F22b", 3, 2},
        {"a wide character with one cell left waits", u"a\u6F22b", 2, 1},
        {"a wide character first, one cell", u"\u6F22", 1, 0},
        {"no cells", u"a", 0, 0},
        {"marks stay with their character", u"e\u0301\u0301x", 1, 3},
        {"marks alone take no cell", u"\u0301\u200B", 0, 2},
        {"a surrogate pair is never cut", u"a\U0001F600", 2, 1},
        {"a wide surrogate pair fits whole", u"a\U0001F600", 3, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(units_in_cells(c.text.data(), static_cast<uint32_t>(c.text.size()), c.cells), c.units);
    }
}

#ifndef _WIN32
// The tables are generated from the Unicode data that unicode-data installs;
// every code point is checked against those files, read here on their own.
std::vector<uint8_t> cells_from_unicode_data(std::vector<uint8_t>& marks) {
    std::vector<uint8_t> cells(0x110000, 1);
    marks.assign(0x110000, 0);
    auto each_line = [](const char* path, auto on_line) {
        FILE* f = fopen(path, "r");
        if (f == nullptr) return false;
        char line[512];
        while (fgets(line, sizeof line, f)) on_line(line);
        fclose(f);
        return true;
    };
    auto set = [&](uint32_t from, uint32_t to, uint8_t value) {
        for (uint32_t cp = from; cp <= to; ++cp) cells[cp] = value;
    };
    // Unassigned code points of these default to wide.
    set(0x3400, 0x4DBF, 2);
    set(0x4E00, 0x9FFF, 2);
    set(0xF900, 0xFAFF, 2);
    set(0x20000, 0x2FFFD, 2);
    set(0x30000, 0x3FFFD, 2);
    const bool widths = each_line("/usr/share/unicode/EastAsianWidth.txt", [&](const char* line) {
        unsigned from, to;
        char kind[4] = {};
        if (sscanf(line, "%x..%x;%2[A-Za-z]", &from, &to, kind) == 3 ||
            (sscanf(line, "%x;%2[A-Za-z]", &from, kind) == 2 && (to = from, true))) {
            if (strcmp(kind, "W") == 0 || strcmp(kind, "F") == 0) set(from, to, 2);
        }
    });
    unsigned range_first = 0;
    const bool categories = each_line("/usr/share/unicode/UnicodeData.txt", [&](const char* line) {
        unsigned cp;
        char name[256], category[3];
        if (sscanf(line, "%x;%255[^;];%2[A-Za-z]", &cp, name, category) != 3) return;
        if (strcmp(category, "Mc") == 0) marks[cp] = 1;
        if (strcmp(category, "Mn") != 0 && strcmp(category, "Me") != 0 && strcmp(category, "Cf") != 0) return;
        const size_t len = strlen(name);
        if (len > 6 && strcmp(name + len - 6, "First>") == 0) {
            range_first = cp;
        } else if (len > 5 && strcmp(name + len - 5, "Last>") == 0) {
            set(range_first, cp, 0);
        } else {
            cells[cp] = 0;
        }
    });
    set(0x1160, 0x11FF, 0);   // conjoining Hangul vowels and final consonants
    // Format characters with a glyph of their own take their cell.
    cells[0xAD] = 1;
    const bool visible = each_line("/usr/share/unicode/PropList.txt", [&](const char* line) {
        unsigned from, to;
        if (strstr(line, "; Prepended_Concatenation_Mark") == nullptr) return;
        if (sscanf(line, "%x..%x", &from, &to) != 2) to = from;
        set(from, to, 1);
    });
    if (!widths || !categories || !visible) cells.clear();
    return cells;
}

TEST(Cells, EveryCodePointAsTheUnicodeDataSays) {
    std::vector<uint8_t> marks;
    const std::vector<uint8_t> want = cells_from_unicode_data(marks);
    ASSERT_FALSE(want.empty()) << "no Unicode data in /usr/share/unicode (Debian's unicode-data package)";
    int wrong = 0;
    for (uint32_t cp = 0; cp < 0x110000; ++cp) {
        if (is_spacing_mark(cp) != (marks[cp] != 0) && ++wrong <= 10) {
            ADD_FAILURE() << "U+" << std::hex << cp << (marks[cp] ? " is" : " is not") << " a spacing mark";
        }
        if (char_cells(cp) == want[cp]) continue;
        if (++wrong <= 10) ADD_FAILURE() << "U+" << std::hex << cp << ": " << char_cells(cp) << " cells, the data says "
                                         << int(want[cp]);
    }
    EXPECT_EQ(wrong, 0) << "run scripts/gen-cell-widths.sh";
}
#endif

}  // namespace
