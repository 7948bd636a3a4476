// Arabic joining: every code point's joining type against ArabicShaping.txt,
// every presentation form and lam-alef ligature against UnicodeData.txt's
// decompositions, and the contextual forms of texts.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "strings/joining.h"
#include "strings/unicode_runs.h"
#include "tests/unicode_files.h"

namespace {

// One line of UnicodeData.txt: code point, general category, decomposition.
struct UnicodeDataLine {
    unsigned cp;
    std::string name, category, decomposition;
};

template <typename OnLine>
bool each_unicode_data_line(OnLine on_line) {
    return each_unicode_line("UnicodeData.txt", [&](const char* line, int) {
        char name[128] = {}, category[8] = {}, decomposition[128] = {};
        unsigned cp;
        // An empty decomposition ends the scan there, leaving it empty.
        if (sscanf(line, "%x;%127[^;];%7[^;];%*[^;];%*[^;];%127[^;]", &cp, name, category, decomposition) < 3) return;
        on_line(UnicodeDataLine{cp, name, category, decomposition});
    });
}

TEST(Joining, EveryCodePointAsArabicShapingSays) {
    // Unlisted: T for Mn, Me and Cf, U for the rest.
    std::vector<uint8_t> want(kLastCodePoint + 1, kJoinNone);
    unsigned range_first = 0;
    const bool categories = each_unicode_data_line([&](const UnicodeDataLine& d) {
        const size_t len = d.name.size();
        if (len > 6 && d.name.compare(len - 6, 6, "First>") == 0) {
            range_first = d.cp;
            return;
        }
        const unsigned first = len > 5 && d.name.compare(len - 5, 5, "Last>") == 0 ? range_first : d.cp;
        if (d.category == "Mn" || d.category == "Me" || d.category == "Cf") {
            for (unsigned cp = first; cp <= d.cp; cp++) want[cp] = kJoinTransparent;
        }
    });
    ASSERT_TRUE(categories) << "cannot read /usr/share/unicode/UnicodeData.txt";
    const char kTypes[] = "UTRLDC";   // in the order of enum JoiningType
    const bool listed = each_unicode_line("ArabicShaping.txt", [&](const char* line, int) {
        unsigned cp;
        char type;
        if (sscanf(line, "%x; %*[^;]; %c", &cp, &type) != 2) return;
        const char* at = strchr(kTypes, type);
        ASSERT_NE(at, nullptr) << line;
        want[cp] = static_cast<uint8_t>(at - kTypes);
    });
    ASSERT_TRUE(listed) << "cannot read /usr/share/unicode/ArabicShaping.txt";
    int wrong = 0;
    for (uint32_t cp = 0; cp < want.size(); cp++) {
        if (joining_type(cp) == want[cp]) continue;
        if (++wrong <= 10) {
            ADD_FAILURE() << "U+" << std::hex << cp << ": " << kTypes[joining_type(cp)] << ", the data says "
                          << kTypes[want[cp]];
        }
    }
    EXPECT_EQ(wrong, 0) << "run scripts/gen-bidi-tables.sh";
}

// Every letter of U+0600..U+06FF in every form: the presentation form whose
// decomposition names it, or 0; lam with every one of them: the ligature
// U+FEF5..U+FEFC that decomposes to it, or 0.
TEST(Joining, EveryPresentationFormAsUnicodeDataSays) {
    const char* const kTags[] = {"<isolated>", "<final>", "<initial>", "<medial>"};
    std::map<std::pair<unsigned, int>, unsigned> forms, ligatures;
    const bool read = each_unicode_data_line([&](const UnicodeDataLine& d) {
        for (int form = 0; form < 4; form++) {
            unsigned first, second;
            const std::string tag = std::string(kTags[form]) + " %x %x";
            const int got = sscanf(d.decomposition.c_str(), tag.c_str(), &first, &second);
            if (got == 1) forms[{first, form}] = d.cp;
            if (got == 2 && first == 0x644 && d.cp >= 0xFEF5 && d.cp <= 0xFEFC) ligatures[{second, form}] = d.cp;
        }
    });
    ASSERT_TRUE(read) << "cannot read /usr/share/unicode/UnicodeData.txt";
    ASSERT_EQ(ligatures.size(), 8u);
    for (unsigned cp = 0x5F0; cp < 0x710; cp++) {
        for (int form = 0; form < 4; form++) {
            const auto want = forms.find({cp, form});
            EXPECT_EQ(arabic_presentation_form(cp, static_cast<JoiningForm>(form)), want == forms.end() ? 0 : want->second)
                << "U+" << std::hex << cp << " " << kTags[form];
        }
        const auto isolated = ligatures.find({cp, kFormIsolated}), final = ligatures.find({cp, kFormFinal});
        EXPECT_EQ(lam_alef_ligature(cp, kFormInitial), isolated == ligatures.end() ? 0 : isolated->second)
            << "U+" << std::hex << cp;
        EXPECT_EQ(lam_alef_ligature(cp, kFormMedial), final == ligatures.end() ? 0 : final->second)
            << "U+" << std::hex << cp;
        EXPECT_EQ(lam_alef_ligature(cp, kFormIsolated), 0u);
        EXPECT_EQ(lam_alef_ligature(cp, kFormFinal), 0u);
    }
}

TEST(Joining, ContextualForms) {
    constexpr uint8_t I = kFormIsolated, F = kFormFinal, S = kFormInitial, M = kFormMedial;
    const struct {
        const char* name;
        std::u16string text;
        std::vector<uint8_t> forms;   // one per unit
    } cases[] = {
        {"beh yeh teh", u"\u0628\u064A\u062A", {S, M, F}},
        {"alef does not join the letter after it", u"\u0628\u0627\u0628", {S, F, I}},
        {"a mark between two letters is skipped", u"\u0628\u064E\u0628", {S, I, F}},
        {"zero-width non-joiner keeps them apart", u"\u0628\u200C\u0628", {I, I, I}},
        {"zero-width joiner joins", u"\u0628\u200D", {S, F}},
        {"tatweel joins both sides", u"\u0640\u0628\u0640", {S, M, F}},
        {"lam and alef", u"\u0644\u0627", {S, F}},
        {"a Latin letter between breaks the joining", u"\u0628a\u0628", {I, I, I}},
        {"hamza joins neither side", u"\u0628\u0621\u0628", {I, I, I}},
        {"letters beyond the BMP join too", u"\U0001E900\U0001E901", {S, S, F, F}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> forms(c.text.size(), 0xFF);
        joining_forms(c.text.data(), static_cast<uint32_t>(c.text.size()), forms.data());
        EXPECT_EQ(forms, c.forms);
    }
}

}  // namespace
