// One fuzz input for the tool's settings parsers: the text of a --set
// argument or of a --settings file, parsed, and what was accepted typed into
// the plug-in's real panel by the scripted panel service.
//
// A malformed text must end in one SettingsError with a message; anything
// else thrown is a problem. Accepted answers must name controls of the panel
// (set answers value controls only), and the panel must take or refuse each
// value without a contract violation. The panel is then cancelled, so no
// setting, however large, makes the run long, and nothing may be added.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sowfield::fuzz {

// First byte: bit 0 chooses a settings file (set) or a --set argument
// (clear); the rest is the text.
std::vector<std::string> run_settings_input(std::span<const uint8_t> bytes);

}  // namespace sowfield::fuzz
