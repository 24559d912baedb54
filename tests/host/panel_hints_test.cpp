// The hint-list reader on crafted lists. Each list is copied into a heap block
// of exactly its own length, so that a read past its end is caught by the
// address sanitizer as well as by the reader's own bound.
#include "host/panel/panel_hints.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace sowfield::host {
namespace {

const char kTitle[] = "Title";
const char kMessage[] = "Tick the box first";
const char *const kChoices[] = {"none", "Weight A", nullptr};

void action(sf_panel *, uint32_t) {}

sf_hint_word w(uint32_t value) { return value; }
sf_hint_word w(const void *pointer) { return reinterpret_cast<sf_hint_word>(pointer); }
sf_hint_word w(sf_panel_button_fn fn) { return reinterpret_cast<sf_hint_word>(fn); }

// Controls: 1 button, 2 check box, 3 number, 4 pop-up.
const std::vector<HintControl> kControls = {{1, true, false}, {2, false, false}, {3, false, false}, {4, false, true}};

struct Read {
    std::string error;
    PanelLayout layout;
};

Read read_exact(const std::vector<sf_hint_word> &words) {
    auto block = std::make_unique<sf_hint_word[]>(words.size());
    if (!words.empty()) std::memcpy(block.get(), words.data(), words.size() * sizeof(sf_hint_word));
    Read result;
    result.error = read_hint_list({block.get(), words.size()}, kControls, result.layout);
    return result;
}

TEST(PanelHints, ReadsEveryKindOfHint) {
    const Read read = read_exact({
        w(SF_HINT_LABEL), 0, w(kTitle), 0,
        w(SF_HINT_LABEL), w(0x100u), w(kMessage), 0,  // a group labelled before it is declared
        w(SF_HINT_GROUP), w(0x100u), w(2u), w(3u), 0,
        w(SF_HINT_GROUP), w(0x101u), w(4u), 0,
        w(SF_HINT_TAB_SET), w(0x102u), w(0x100u), w(0x101u), 0,
        w(SF_HINT_DIVIDER), w(3u), 0,
        w(SF_HINT_DIVIDER), w(2u), 0,
        w(SF_HINT_STRING_LIST), w(4u), w(kChoices), 0,
        w(SF_HINT_BUTTON_ACTION), w(1u), w(&action),
        w(SF_HINT_ENABLE_RULE), w(2u), w(kMessage), 0, 0, w(3u), w(4u), 0,
        0,
    });
    ASSERT_EQ(read.error, "");
    const PanelLayout &layout = read.layout;
    EXPECT_EQ(layout.title, "Title");
    EXPECT_EQ(layout.labels.at(0x100), kMessage);
    ASSERT_EQ(layout.groups.size(), 2u);
    EXPECT_EQ(layout.groups[0].members, (std::vector<uint32_t>{2, 3}));
    EXPECT_EQ(layout.groups[1].members, (std::vector<uint32_t>{4}));
    ASSERT_EQ(layout.tab_sets.size(), 1u);
    EXPECT_EQ(layout.tab_sets[0].groups, (std::vector<uint32_t>{0x100, 0x101}));
    EXPECT_EQ(layout.dividers_after, (std::vector<uint32_t>{3, 2}));
    EXPECT_EQ(layout.string_lists.at(4), (std::vector<std::string>{"none", "Weight A"}));
    EXPECT_EQ(layout.actions.at(1), &action);
    ASSERT_EQ(layout.rules.size(), 1u);
    EXPECT_EQ(layout.rules[0].controlling, 2u);
    EXPECT_EQ(layout.rules[0].message, kMessage);
    EXPECT_EQ(layout.rules[0].governed, (std::vector<uint32_t>{3, 4}));
}

// Each malformed list is refused with a message naming the fault; none of them
// is read past its last word.
TEST(PanelHints, RejectsMalformedLists) {
    struct Case {
        const char *name;
        std::vector<sf_hint_word> words;
        const char *expected;  // part of the message
    };
    const std::vector<Case> cases = {
        {"unknown code", {w(0x3d099999u), 0, 0}, "unknown hint code 0x3d099999"},
        {"label without its 0 word", {w(SF_HINT_LABEL), 0, w(kTitle), w(SF_HINT_DIVIDER), w(2u), 0, 0},
         "where the 0 word that ends the hint was expected"},
        {"group without its 0 word",
         {w(SF_HINT_GROUP), w(0x100u), w(2u), w(SF_HINT_DIVIDER), w(2u), 0, 0}, "missing 0 word"},
        {"divider after no control", {w(SF_HINT_DIVIDER), w(0x77u), 0, 0}, "0x77 is no control of this panel"},
        {"group member that is no control", {w(SF_HINT_GROUP), w(0x100u), w(9u), 0, 0}, "0x9 is no control"},
        {"group id that is a control", {w(SF_HINT_GROUP), w(3u), w(2u), 0, 0}, "already a control"},
        {"control in two groups",
         {w(SF_HINT_GROUP), w(0x100u), w(2u), 0, w(SF_HINT_GROUP), w(0x101u), w(2u), 0, 0}, "another group"},
        {"tab set of no group", {w(SF_HINT_TAB_SET), w(0x102u), w(0x100u), 0, 0}, "0x100 is no group"},
        {"label of nothing", {w(SF_HINT_LABEL), w(0x300u), w(kTitle), 0, 0}, "0x300 is no control, group"},
        {"string list for a non-pop-up", {w(SF_HINT_STRING_LIST), w(3u), w(kChoices), 0, 0}, "not a pop-up"},
        {"null string list", {w(SF_HINT_STRING_LIST), w(4u), 0, 0, 0}, "is null"},
        {"action for a non-button", {w(SF_HINT_BUTTON_ACTION), w(2u), w(&action), 0}, "not a button"},
        {"null action", {w(SF_HINT_BUTTON_ACTION), w(1u), 0, 0}, "is null"},
        {"rule controlled by a button", {w(SF_HINT_ENABLE_RULE), w(1u), w(kMessage), 0, 0, w(3u), 0, 0},
         "not a value control"},
        {"rule without its two 0 words", {w(SF_HINT_ENABLE_RULE), w(2u), w(kMessage), w(3u), 0, 0},
         "where the 0 word that ends the hint was expected"},
        {"rule governing no control", {w(SF_HINT_ENABLE_RULE), w(2u), w(kMessage), 0, 0, w(0x55u), 0, 0},
         "0x55 is no control"},
        {"id wider than 32 bits", {w(SF_HINT_DIVIDER), sf_hint_word{0x100000002u}, 0, 0}, "ids are 32-bit"},
        {"runaway list", {w(SF_HINT_DIVIDER), w(2u), 0, w(SF_HINT_DIVIDER), w(3u), 0}, "no final 0 word"},
        {"runaway operand list", {w(SF_HINT_GROUP), w(0x100u), w(2u), w(3u)}, "no final 0 word"},
        {"cut inside a hint", {w(SF_HINT_LABEL), 0}, "no final 0 word"},
        {"empty list", {}, "no final 0 word"},
    };
    for (const Case &c : cases) {
        const Read read = read_exact(c.words);
        EXPECT_NE(read.error.find(c.expected), std::string::npos)
            << c.name << ": got \"" << read.error << "\", expected it to contain \"" << c.expected << '"';
    }
}

TEST(PanelHints, RejectsRunawayTextsAndStringLists) {
    // A label whose text never ends within the bound.
    std::string long_text(kMaxHintText + 10, 'x');
    Read read = read_exact({w(SF_HINT_LABEL), 0, w(long_text.c_str()), 0, 0});
    EXPECT_NE(read.error.find("longer than"), std::string::npos) << read.error;

    // A string list without its null end: a block of non-null entries only.
    std::vector<const char *> entries(kMaxStringListEntries + 1, "entry");
    entries.back() = "still no end";
    read = read_exact({w(SF_HINT_STRING_LIST), w(4u), w(entries.data()), 0, 0});
    EXPECT_NE(read.error.find("no null end"), std::string::npos) << read.error;
}

TEST(PanelHints, NamesTheHintAndWordOfTheFault) {
    const Read read = read_exact({w(SF_HINT_LABEL), 0, w(kTitle), 0, w(SF_HINT_DIVIDER), w(0x66u), 0, 0});
    EXPECT_EQ(read.error, "hint 2 (divider, word 4): divider position 0x66 is no control of this panel");
}

TEST(PanelHints, LaterListsBuildOnEarlierOnes) {
    Read first = read_exact({w(SF_HINT_GROUP), w(0x100u), w(2u), 0, 0});
    ASSERT_EQ(first.error, "");
    PanelLayout layout = first.layout;
    std::vector<sf_hint_word> again = {w(SF_HINT_GROUP), w(0x101u), w(2u), 0, 0};
    EXPECT_NE(read_hint_list(again, kControls, layout).find("another group"), std::string::npos);
    std::vector<sf_hint_word> tabs = {w(SF_HINT_TAB_SET), w(0x102u), w(0x100u), 0, 0};
    EXPECT_EQ(read_hint_list(tabs, kControls, layout), "");
}

}  // namespace
}  // namespace sowfield::host
