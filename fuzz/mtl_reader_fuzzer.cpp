// libFuzzer target: an OBJ's material library of any bytes, and the looks it
// gave written as our own library and read back.
#include "fuzz/entries/mesh_file_input.h"
#include "fuzz/entry_main.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return sowfield::fuzz::fuzz_one<&sowfield::fuzz::run_mtl_input>(data, size);
}
