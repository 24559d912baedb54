// libFuzzer target: the glTF/GLB reader on a file of any bytes, and the
// writer and reader again on what it accepted.
#include "fuzz/entries/mesh_file_input.h"
#include "fuzz/entry_main.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return sowfield::fuzz::fuzz_one<&sowfield::fuzz::run_gltf_input>(data, size);
}
