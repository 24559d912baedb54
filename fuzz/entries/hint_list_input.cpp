#include "fuzz/entries/hint_list_input.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <set>

#include "fuzz/entries/byte_reader.h"
#include "host/panel/panel_hints.h"
#include "sowfield_host.h"

namespace sowfield::fuzz {

namespace {

using host::HintControl;
using host::PanelLayout;

// Zeroed, readable regions at fixed low addresses. Ids live in the first;
// every hint code, known or made up, lies in the second. Both reach far
// enough past their last word for the reader's longest bounded text.
constexpr uintptr_t kIdRegion = 0x20000000;
constexpr std::size_t kIdRegionSize = 0x10000;
constexpr uintptr_t kCodeRegion = 0x3d000000;
constexpr std::size_t kCodeRegionSize = 0x50000;
constexpr int kIdSlots = 64;
constexpr uintptr_t kIdStride = 64;

constexpr std::size_t kMaxWords = 4096;
constexpr std::size_t kMaxControls = 12;

bool map_zeroed(uintptr_t address, std::size_t size) {
    void *at = mmap(reinterpret_cast<void *>(address), size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE,
                    -1, 0);
    return at == reinterpret_cast<void *>(address);
}

// Mapped once per process; the answer is kept.
bool regions_ready() {
    static const bool ready = map_zeroed(kIdRegion, kIdRegionSize) && map_zeroed(kCodeRegion, kCodeRegionSize);
    return ready;
}

sf_hint_word id_word(unsigned slot) { return kIdRegion + (slot % kIdSlots) * kIdStride; }

constexpr sf_hint_word kKnownCodes[] = {
    SF_HINT_LABEL,       SF_HINT_GROUP,         SF_HINT_TAB_SET,     SF_HINT_DIVIDER,
    SF_HINT_STRING_LIST, SF_HINT_BUTTON_ACTION, SF_HINT_ENABLE_RULE,
};

// Texts and string lists a plug-in might hand over, including ones at and
// past the reader's bounds.
struct Pools {
    std::string at_limit = std::string(host::kMaxHintText, 'a');
    std::string past_limit = std::string(host::kMaxHintText + 1, 'b');
    std::array<const char *, 5> texts{"", "Basic", "Sowfield 1.6", at_limit.c_str(), past_limit.c_str()};

    std::array<const char *, 1> empty_list{nullptr};
    std::array<const char *, 4> short_list{"none", "height", "height", nullptr};
    std::array<const char *, 3> long_entry_list{"x", past_limit.c_str(), nullptr};
    std::array<const char *, 2> blank_list{"", nullptr};
    // One entry too many for the reader's bound, and one exactly at it.
    std::vector<const char *> unended = std::vector<const char *>(host::kMaxStringListEntries + 1, "w");
    std::vector<const char *> at_bound = make_at_bound();
    std::array<const char *const *, 6> lists{empty_list.data(), short_list.data(), long_entry_list.data(),
                                              blank_list.data(),  unended.data(),    at_bound.data()};

    Pools() { unended.back() = nullptr; }

    static std::vector<const char *> make_at_bound() {
        std::vector<const char *> list(host::kMaxStringListEntries, "w");
        list.back() = nullptr;
        return list;
    }
};

const Pools &pools() {
    static const Pools instance;
    return instance;
}

void button_action(sf_panel *, uint32_t) {}

// What the pointer words of one input point to. The reader reads a text
// through a label's or a rule's text word and a pointer array through a
// string list's word; it cannot tell what a pointer points to, so a text (or
// a function) read as a pointer array would be a wild read no reader could
// avoid. An input therefore holds texts and actions, or string lists, never
// both: a string list read as a text is harmless (a few bytes of an address
// ending in its high zero bytes), and in a text input no string-list hint is
// made.
enum class Pointers { texts, lists };

// The next word, or nothing when the stream marks the end of a list.
bool next_word(ByteReader &in, Pointers pointers, sf_hint_word &word) {
    const uint8_t token = in.u8();
    const unsigned arg = token & 0x1f;
    const Pools &pool = pools();
    const auto list = [&](unsigned k) { return reinterpret_cast<sf_hint_word>(pool.lists[k % pool.lists.size()]); };
    switch (token >> 5) {
    case 0: word = 0; return true;
    case 1:
        if (arg % 8 < std::size(kKnownCodes))
            word = kKnownCodes[arg % 8];
        else
            word = kCodeRegion + sf_hint_word{in.u16()} * 4;  // a code no panel knows, never a string list's
        if (word == SF_HINT_STRING_LIST && pointers == Pointers::texts) word = SF_HINT_LABEL;
        return true;
    case 2:
    case 3: word = id_word(token & 0x3f); return true;
    case 4:
        word = pointers == Pointers::texts ? reinterpret_cast<sf_hint_word>(pool.texts[arg % pool.texts.size()])
                                           : list(arg);
        return true;
    case 5:
        if (pointers == Pointers::lists)
            word = list(arg);
        else
            word = arg & 1 ? reinterpret_cast<sf_hint_word>(&button_action) : 0;
        return true;
    default: return false;
    }
}

std::vector<sf_hint_word> read_words(ByteReader &in, Pointers pointers) {
    std::vector<sf_hint_word> words;
    sf_hint_word word = 0;
    while (!in.empty() && words.size() < kMaxWords && next_word(in, pointers, word)) words.push_back(word);
    return words;
}

const HintControl *find(std::span<const HintControl> controls, uint32_t id) {
    auto found = std::find_if(controls.begin(), controls.end(), [id](const HintControl &c) { return c.id == id; });
    return found == controls.end() ? nullptr : &*found;
}

// What an accepted layout must satisfy, whatever list produced it.
void check_layout(const PanelLayout &layout, std::span<const HintControl> controls, std::vector<std::string> &problems) {
    std::set<uint32_t> groups;
    std::set<uint32_t> grouped;
    for (const PanelLayout::Group &group : layout.groups) {
        if (find(controls, group.id) != nullptr || group.id == 0) problems.push_back("a group has a control's id or 0");
        if (!groups.insert(group.id).second) problems.push_back("two groups share an id");
        for (uint32_t member : group.members) {
            if (find(controls, member) == nullptr) problems.push_back("a group holds something that is no control");
            if (!grouped.insert(member).second) problems.push_back("a control stands in two groups");
        }
    }
    std::set<uint32_t> tabbed;
    for (const PanelLayout::TabSet &tabs : layout.tab_sets)
        for (uint32_t group : tabs.groups) {
            if (groups.count(group) == 0) problems.push_back("a tab set holds something that is no group");
            if (!tabbed.insert(group).second) problems.push_back("a group stands in two tab sets");
        }
    for (const auto &[id, entries] : layout.string_lists) {
        const HintControl *popup = find(controls, id);
        if (popup == nullptr || !popup->is_popup) problems.push_back("a string list belongs to no pop-up");
        if (entries.empty()) problems.push_back("a pop-up was given an empty list");
        for (const std::string &entry : entries)
            if (entry.size() > host::kMaxHintText) problems.push_back("a pop-up entry is longer than the bound");
    }
    for (const auto &[id, action] : layout.actions) {
        const HintControl *button = find(controls, id);
        if (button == nullptr || !button->is_button) problems.push_back("an action belongs to no button");
        if (action == nullptr) problems.push_back("a button was given a null action");
    }
    for (const PanelLayout::EnableRule &rule : layout.rules) {
        const HintControl *controlling = find(controls, rule.controlling);
        if (controlling == nullptr || controlling->is_button) problems.push_back("a rule is controlled by no value control");
        for (uint32_t governed : rule.governed)
            if (find(controls, governed) == nullptr || governed == rule.controlling)
                problems.push_back("a rule governs itself or no control");
        if (rule.message.size() > host::kMaxHintText) problems.push_back("a rule's message is longer than the bound");
    }
    for (const auto &[id, text] : layout.labels) {
        if (find(controls, id) == nullptr && groups.count(id) == 0 &&
            std::none_of(layout.tab_sets.begin(), layout.tab_sets.end(),
                         [id = id](const PanelLayout::TabSet &t) { return t.id == id; }))
            problems.push_back("a label names nothing of the panel");
        if (text.size() > host::kMaxHintText) problems.push_back("a label is longer than the bound");
    }
    if (layout.title && layout.title->size() > host::kMaxHintText) problems.push_back("the title is longer than the bound");
}

}  // namespace

std::vector<std::string> run_hint_list_input(std::span<const uint8_t> bytes) {
    if (!regions_ready()) return {"could not map the zeroed regions that stand behind ids and codes"};

    ByteReader in(bytes);
    std::vector<HintControl> controls(in.u8() % (kMaxControls + 1));
    for (HintControl &control : controls) {
        const uint8_t byte = in.u8();
        control.id = static_cast<uint32_t>(id_word(byte & 0x3f));
        control.is_button = (byte >> 6) == 1;
        control.is_popup = (byte >> 6) == 2;
    }
    // A panel may be hinted twice; the second list builds on the first.
    const uint8_t shape = in.u8();
    const int lists = 1 + (shape & 1);
    const Pointers pointers = shape & 2 ? Pointers::lists : Pointers::texts;

    std::vector<std::string> problems;
    PanelLayout layout;
    for (int i = 0; i < lists; ++i) {
        const std::vector<sf_hint_word> words = read_words(in, pointers);
        const std::string error = host::read_hint_list(words, controls, layout);
        if (!error.empty()) break;
        // The reader stops at the 0 word that ends a list; without one it
        // must have refused.
        if (std::find(words.begin(), words.end(), sf_hint_word{0}) == words.end())
            problems.push_back("a list without a final 0 word was accepted");
        check_layout(layout, controls, problems);
    }
    return problems;
}

}  // namespace sowfield::fuzz
