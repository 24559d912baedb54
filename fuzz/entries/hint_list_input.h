// One fuzz input for the panel service's hint-list reader: the panel's
// controls and one or two hint lists, decoded from bytes, read, and the
// layout checked against what the reader promises when it accepts a list.
//
// Words are drawn from tokens (0, hint codes known and unknown, control ids,
// texts, string lists, button actions), so any arrangement of them can be
// built: missing or extra 0 words, ids where texts belong, codes where ids
// belong, lists cut short. The reader must answer every one with a layout or
// a message and never read outside what it was given.
//
// Every word that is not a real pointer (ids and hint codes) is the address of
// readable zeroed memory mapped for the purpose, so a word taken for a text
// reads as "" and one taken for a string list reads as an empty list: a
// misplaced word is then a malformed list, never a wild read that no reader
// could avoid. For the same reason an input carries texts and actions or
// string lists, not both (see Pointers in the source).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sowfield::fuzz {

// Problems found (empty when the reader behaved); a crash is left to the
// sanitizers.
std::vector<std::string> run_hint_list_input(std::span<const uint8_t> bytes);

}  // namespace sowfield::fuzz
