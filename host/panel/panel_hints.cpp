#include "host/panel/panel_hints.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "host/common/text.h"

namespace sowfield::host {

namespace {

// Walks the words of one list, hint by hint. Every read is checked against the
// end of the words it was given.
class HintReader {
public:
    HintReader(std::span<const sf_hint_word> words, std::span<const HintControl> controls, PanelLayout &layout)
        : words_(words), controls_(controls), layout_(layout) {
        // A panel may be hinted more than once; later lists build on earlier ones.
        for (const PanelLayout::Group &group : layout.groups) {
            containers_.insert(group.id);
            grouped_.insert(group.members.begin(), group.members.end());
        }
        for (const PanelLayout::TabSet &tabs : layout.tab_sets) containers_.insert(tabs.id);
    }

    std::string read() {
        while (error_.empty()) {
            sf_hint_word code = 0;
            current_ = nullptr;
            if (!next(code, "a hint code or the final 0 word")) break;
            if (code == 0) return check_references();
            ++hint_number_;
            hint_start_ = position_ - 1;
            current_ = hint_name(code);
            if (current_ == nullptr) {
                current_ = "unknown code";
                fail("unknown hint code " + hex(code));
                break;
            }
            read_hint(code);
        }
        return error_;
    }

private:
    void read_hint(sf_hint_word code) {
        switch (code) {
        case SF_HINT_LABEL: return read_label();
        case SF_HINT_GROUP: return read_group();
        case SF_HINT_TAB_SET: return read_tab_set();
        case SF_HINT_DIVIDER: return read_divider();
        case SF_HINT_STRING_LIST: return read_string_list();
        case SF_HINT_BUTTON_ACTION: return read_button_action();
        case SF_HINT_ENABLE_RULE: return read_enable_rule();
        default: return;  // hint_name already refused it
        }
    }

    void read_label() {
        sf_hint_word id = 0;
        std::string text;
        if (!next(id, "the labelled id") || !read_text(text, "the label text") || !expect_end()) return;
        if (id == 0) {
            layout_.title = text;
            return;
        }
        if (!fits_id(id)) return;
        // A group or tab set may be labelled before it is declared; that is
        // checked once the whole list is read.
        layout_.labels[static_cast<uint32_t>(id)] = text;
        labelled_.push_back({static_cast<uint32_t>(id), hint_number_});
    }

    void read_group() {
        uint32_t id = 0;
        if (!read_new_container_id(id, "group")) return;
        PanelLayout::Group group{id, {}};
        std::vector<uint32_t> members;
        if (!read_id_list(members, "a member id")) return;
        for (uint32_t member : members) {
            if (!require_control(member, "group member")) return;
            if (!grouped_.insert(member).second) {
                fail("control " + hex(member) + " already stands in another group");
                return;
            }
        }
        group.members = std::move(members);
        layout_.groups.push_back(std::move(group));
    }

    void read_tab_set() {
        uint32_t id = 0;
        if (!read_new_container_id(id, "tab set")) return;
        PanelLayout::TabSet tabs{id, {}};
        if (!read_id_list(tabs.groups, "a group id")) return;
        for (uint32_t group : tabs.groups) tab_members_.push_back({group, hint_number_});
        layout_.tab_sets.push_back(std::move(tabs));
    }

    void read_divider() {
        sf_hint_word id = 0;
        if (!next(id, "the control the divider follows") || !fits_id(id)) return;
        if (!require_control(static_cast<uint32_t>(id), "divider position") || !expect_end()) return;
        layout_.dividers_after.push_back(static_cast<uint32_t>(id));
    }

    void read_string_list() {
        sf_hint_word id = 0;
        sf_hint_word list = 0;
        if (!next(id, "the pop-up id") || !fits_id(id)) return;
        const HintControl *popup = control(static_cast<uint32_t>(id));
        if (popup == nullptr || !popup->is_popup) {
            fail(hex(id) + " is not a pop-up control of this panel");
            return;
        }
        if (!next(list, "the string list") || !expect_end()) return;
        if (list == 0) {
            fail("the string list of pop-up " + hex(id) + " is null");
            return;
        }
        // A hint code or an id shifted into this place (a missing word
        // earlier in the list) is no aligned address; refuse it rather than
        // read through it.
        if (list % alignof(const char *) != 0) {
            fail("the string list of pop-up " + hex(id) + " is not an aligned address (" + hex(list) + ")");
            return;
        }
        const auto *entries = reinterpret_cast<const char *const *>(list);
        std::vector<std::string> names;
        for (std::size_t i = 0;; ++i) {
            if (i == kMaxStringListEntries) {
                fail("the string list of pop-up " + hex(id) + " has no null end within " +
                     std::to_string(kMaxStringListEntries) + " entries");
                return;
            }
            if (entries[i] == nullptr) break;
            std::string name;
            if (!bounded_text(entries[i], name, "entry " + std::to_string(i) + " of the string list")) return;
            names.push_back(std::move(name));
        }
        if (names.empty()) {
            fail("the string list of pop-up " + hex(id) + " has no entries");
            return;
        }
        layout_.string_lists[static_cast<uint32_t>(id)] = std::move(names);
    }

    void read_button_action() {
        sf_hint_word id = 0;
        sf_hint_word action = 0;
        if (!next(id, "the button id") || !fits_id(id)) return;
        const HintControl *button = control(static_cast<uint32_t>(id));
        if (button == nullptr || !button->is_button) {
            fail(hex(id) + " is not a button of this panel");
            return;
        }
        if (!next(action, "the button's action")) return;
        if (action == 0) {
            fail("the action of button " + hex(id) + " is null");
            return;
        }
        layout_.actions[static_cast<uint32_t>(id)] = reinterpret_cast<sf_panel_button_fn>(action);
    }

    void read_enable_rule() {
        sf_hint_word id = 0;
        PanelLayout::EnableRule rule;
        if (!next(id, "the controlling id") || !fits_id(id)) return;
        rule.controlling = static_cast<uint32_t>(id);
        const HintControl *controlling = control(rule.controlling);
        if (controlling == nullptr || controlling->is_button) {
            fail(hex(id) + " is not a value control of this panel, so it cannot control others");
            return;
        }
        if (!read_text(rule.message, "the rule's message") || !expect_end() || !expect_end()) return;
        if (!read_id_list(rule.governed, "a governed id")) return;
        for (uint32_t governed : rule.governed) {
            if (!require_control(governed, "governed control")) return;
            if (governed == rule.controlling) {
                fail("control " + hex(governed) + " cannot govern itself");
                return;
            }
        }
        layout_.rules.push_back(std::move(rule));
    }

    // --- pieces ----------------------------------------------------------

    bool next(sf_hint_word &word, const char *what) {
        if (position_ >= words_.size()) {
            fail("the list ends after " + std::to_string(words_.size()) + " words, where " + what +
                 " was expected (no final 0 word?)");
            return false;
        }
        word = words_[position_++];
        return true;
    }

    // The 0 word that closes a hint or an operand list.
    bool expect_end() {
        sf_hint_word word = 0;
        if (!next(word, "the 0 word that ends the hint")) return false;
        if (word != 0) {
            fail("found " + hex(word) + " where the 0 word that ends the hint was expected");
            return false;
        }
        return true;
    }

    // Ids up to the closing 0 word.
    bool read_id_list(std::vector<uint32_t> &ids, const char *what) {
        for (;;) {
            sf_hint_word word = 0;
            const std::string expected = std::string(what) + " or the closing 0 word";
            if (!next(word, expected.c_str())) return false;
            if (word == 0) return true;
            if (hint_name(word) != nullptr) {
                fail("found hint code " + hex(word) + " where " + expected + " was expected (missing 0 word?)");
                return false;
            }
            if (!fits_id(word)) return false;
            ids.push_back(static_cast<uint32_t>(word));
        }
    }

    bool read_new_container_id(uint32_t &id, const char *what) {
        sf_hint_word word = 0;
        if (!next(word, "the id") || !fits_id(word)) return false;
        id = static_cast<uint32_t>(word);
        if (id == 0 || control(id) != nullptr) {
            fail(std::string("the ") + what + " id " + hex(word) + " is 0 or already a control");
            return false;
        }
        if (!containers_.insert(id).second) {
            fail(std::string("the ") + what + " id " + hex(word) + " is declared twice");
            return false;
        }
        return true;
    }

    bool read_text(std::string &text, const char *what) {
        sf_hint_word word = 0;
        if (!next(word, what)) return false;
        if (word == 0) {
            fail(std::string(what) + " is null");
            return false;
        }
        return bounded_text(reinterpret_cast<const char *>(word), text, what);
    }

    bool bounded_text(const char *pointer, std::string &text, const std::string &what) {
        const std::size_t length = strnlen(pointer, kMaxHintText + 1);
        if (length > kMaxHintText) {
            fail(what + " is longer than " + std::to_string(kMaxHintText) + " bytes (not terminated?)");
            return false;
        }
        text.assign(pointer, length);
        return true;
    }

    bool fits_id(sf_hint_word word) {
        if (word > UINT32_MAX) {
            fail(hex(word) + " is no control id (ids are 32-bit)");
            return false;
        }
        return true;
    }

    bool require_control(uint32_t id, const char *role) {
        if (control(id) == nullptr) {
            fail(std::string(role) + " " + hex(id) + " is no control of this panel");
            return false;
        }
        return true;
    }

    const HintControl *control(uint32_t id) const {
        auto found = std::find_if(controls_.begin(), controls_.end(), [id](const HintControl &c) { return c.id == id; });
        return found == controls_.end() ? nullptr : &*found;
    }

    bool is_group(uint32_t id) const {
        return std::any_of(layout_.groups.begin(), layout_.groups.end(),
                           [id](const PanelLayout::Group &g) { return g.id == id; });
    }

    // References that may point forward in the list: labels of groups and
    // tab sets, and the groups of a tab set.
    std::string check_references() {
        for (const auto &[id, hint] : labelled_)
            if (control(id) == nullptr && containers_.count(id) == 0)
                return at(hint, "label") + hex(id) + " is no control, group or tab set of this panel";
        std::set<uint32_t> tabbed;
        for (const auto &[group, hint] : tab_members_) {
            if (!is_group(group)) return at(hint, "tab set") + hex(group) + " is no group of this panel";
            if (!tabbed.insert(group).second)
                return at(hint, "tab set") + "group " + hex(group) + " already stands in a tab set";
        }
        return {};
    }

    std::string at(int hint, const char *name) const {
        return "hint " + std::to_string(hint) + " (" + name + "): ";
    }

    void fail(const std::string &why) {
        if (!error_.empty()) return;
        if (current_ == nullptr)
            error_ = "after hint " + std::to_string(hint_number_) + ", word " + std::to_string(position_) + ": " + why;
        else
            error_ = "hint " + std::to_string(hint_number_) + " (" + current_ + ", word " +
                     std::to_string(hint_start_) + "): " + why;
    }

    std::span<const sf_hint_word> words_;
    std::span<const HintControl> controls_;
    PanelLayout &layout_;
    std::size_t position_ = 0;
    std::size_t hint_start_ = 0;
    int hint_number_ = 0;
    const char *current_ = nullptr;
    std::string error_;
    std::set<uint32_t> grouped_;
    std::set<uint32_t> containers_;
    std::vector<std::pair<uint32_t, int>> labelled_;
    std::vector<std::pair<uint32_t, int>> tab_members_;
};

}  // namespace

const char *hint_name(sf_hint_word code) {
    switch (code) {
    case SF_HINT_LABEL: return "label";
    case SF_HINT_GROUP: return "group";
    case SF_HINT_TAB_SET: return "tab set";
    case SF_HINT_DIVIDER: return "divider";
    case SF_HINT_STRING_LIST: return "string list";
    case SF_HINT_BUTTON_ACTION: return "button action";
    case SF_HINT_ENABLE_RULE: return "enable rule";
    default: return nullptr;
    }
}

std::string read_hint_list(std::span<const sf_hint_word> words, std::span<const HintControl> controls,
                           PanelLayout &layout) {
    return HintReader(words, controls, layout).read();
}

}  // namespace sowfield::host
