// libFuzzer target: one whole run of the plug-in on a scene and settings
// decoded from the input.
#include <cstdlib>
#include <cstring>

#include "fuzz/entries/plugin_run_input.h"
#include "fuzz/entry_main.h"

namespace {

sowfield::fuzz::PluginRunChecks checks;

std::vector<std::string> run(std::span<const uint8_t> bytes) { return sowfield::fuzz::run_plugin_input(bytes, checks); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const char *allow = std::getenv("SOWFIELD_FUZZ_ALLOW_NONFINITE");
    checks.finite_output = allow == nullptr || std::strcmp(allow, "1") != 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return sowfield::fuzz::fuzz_one<&run>(data, size);
}
