// The body every libFuzzer target shares: run one input through an entry
// function and stop the fuzzer, printing each problem, when it found any.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace sowfield::fuzz {

template <std::vector<std::string> (*Entry)(std::span<const uint8_t>)>
int fuzz_one(const uint8_t *data, size_t size) {
    const std::vector<std::string> problems = Entry({data, size});
    if (problems.empty()) return 0;
    for (const std::string &problem : problems) std::fprintf(stderr, "problem: %s\n", problem.c_str());
    std::abort();
}

}  // namespace sowfield::fuzz
