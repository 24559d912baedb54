// libFuzzer target: the panel service's hint-list reader on any word array.
#include "fuzz/entries/hint_list_input.h"
#include "fuzz/entry_main.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return sowfield::fuzz::fuzz_one<&sowfield::fuzz::run_hint_list_input>(data, size);
}
