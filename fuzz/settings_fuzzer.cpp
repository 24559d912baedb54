// libFuzzer target: the tool's --set argument and --settings file parsers,
// and the answers they accept typed into the plug-in's panel.
#include "fuzz/entries/settings_input.h"
#include "fuzz/entry_main.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return sowfield::fuzz::fuzz_one<&sowfield::fuzz::run_settings_input>(data, size);
}
