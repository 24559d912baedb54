// Reading a panel's hint list: the words a plug-in hands to panel_hint, turned
// into a layout the panel service can check, draw and answer.
//
// The list comes from another library and has no length of its own; the
// reader walks it one word at a time, stops at the first malformed hint, and
// never goes past the words it was given (the service gives it a generous
// bound, kMaxHintWords). Texts and string lists behind the words are read with
// bounds too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sowfield_host.h"

namespace sowfield::host {

// Bounds on what a hint list may hold; far above any real panel.
inline constexpr std::size_t kMaxHintWords = 1u << 16;
inline constexpr std::size_t kMaxHintText = 4096;          // bytes of one label or message
inline constexpr std::size_t kMaxStringListEntries = 1u << 16;

// What the reader needs to know of a control.
struct HintControl {
    uint32_t id = 0;
    bool is_button = false;
    bool is_popup = false;
};

struct PanelLayout {
    struct Group {
        uint32_t id = 0;
        std::vector<uint32_t> members;
    };
    struct TabSet {
        uint32_t id = 0;
        std::vector<uint32_t> groups;
    };
    struct EnableRule {
        uint32_t controlling = 0;
        std::string message;
        std::vector<uint32_t> governed;
    };

    std::optional<std::string> title;          // label of id 0
    std::map<uint32_t, std::string> labels;     // labels of groups, tab sets and controls
    std::vector<Group> groups;                  // in hint order
    std::vector<TabSet> tab_sets;
    std::vector<uint32_t> dividers_after;       // one entry per divider hint, in order
    std::map<uint32_t, std::vector<std::string>> string_lists;  // pop-up id -> entries (copied)
    std::map<uint32_t, sf_panel_button_fn> actions;             // button id -> action
    std::vector<EnableRule> rules;              // in hint order
};

// Reads `words` (a whole hint list, ending with its 0 word) into `layout`,
// adding to what it already holds. `controls` are the panel's controls.
// Returns an empty string on success, else one message naming the hint's
// position and what is wrong; `layout` is then unspecified.
std::string read_hint_list(std::span<const sf_hint_word> words, std::span<const HintControl> controls,
                           PanelLayout &layout);

// Display name of a hint code ("label", "group", ...), or null for a code the
// panel does not know.
const char *hint_name(sf_hint_word code);

}  // namespace sowfield::host
