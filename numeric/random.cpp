#include "numeric/random.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

namespace sowfield {

namespace {

constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7FFFFFFFu;
constexpr uint32_t kMatrixWord = 0x9908B0DFu;
constexpr int32_t kShift = 397;
// The double nearest to 1 / 4294967295 (bit pattern 0x3DF0000000100000).
constexpr double kUnitScale = 2.3283064370807974e-10;

uint32_t twist(uint32_t word, uint32_t next, uint32_t partner) {
    const uint32_t y = (word & kUpperMask) | (next & kLowerMask);
    return partner ^ (y >> 1) ^ ((y & 1u) ? kMatrixWord : 0u);
}

// Converts toward zero, holding values beyond the 32-bit range at its ends
// (a plain conversion of an out-of-range double is undefined behaviour).
int32_t truncate_to_int32(double v) {
    if (!(v > static_cast<double>(std::numeric_limits<int32_t>::min()) - 1.0))
        return std::isnan(v) ? 0 : std::numeric_limits<int32_t>::min();
    if (!(v < static_cast<double>(std::numeric_limits<int32_t>::max()) + 1.0))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);
}

double tempered_unit(uint32_t y) {
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return static_cast<double>(y) * kUnitScale;
}

}  // namespace

CRandom::CRandom() : state_words(new uint32_t[kWords]), state_index(kNeverSeeded) {}

CRandom::~CRandom() { delete[] state_words; }

void CRandom::seed(uint32_t s) {
    if (s == 0) s = 4357;
    for (int32_t i = 0; i < kWords; ++i) {
        uint32_t w = s & 0xFFFF0000u;
        s = 69069u * s + 1u;
        w |= s >> 16;
        s = 69069u * s + 1u;
        state_words[i] = w;
    }
    state_index = kNeedsRegeneration;
}

void CRandom::regenerate() {
    int32_t k = 0;
    for (; k < kWords - kShift; ++k) state_words[k] = twist(state_words[k], state_words[k + 1], state_words[k + kShift]);
    for (; k < kWords - 1; ++k)
        state_words[k] = twist(state_words[k], state_words[k + 1], state_words[k + kShift - kWords]);
    state_words[kWords - 1] = twist(state_words[kWords - 1], state_words[0], state_words[kShift - 1]);
    state_index = 0;
}

double CRandom::next_unit() {
    if (state_index >= kNeedsRegeneration) {
        if (state_index == kNeverSeeded) seed(0);
        regenerate();
    }
    return tempered_unit(state_words[state_index++]);
}

void CRandom::copy_state(const CRandom &from) {
    std::copy(from.state_words, from.state_words + kWords, state_words);
    state_index = from.state_index;
}

random::random() { seed(static_cast<uint32_t>(std::time(nullptr))); }

random::~random() = default;

void random::reseed(int32_t n) {
    // Negating in unsigned arithmetic keeps INT32_MIN's bit pattern.
    const uint32_t bits = static_cast<uint32_t>(n);
    seed(n < 0 ? 0u - bits : bits);
}

int32_t random::int_between(int32_t a, int32_t b) {
    if (a == b) return a;
    const int32_t lo = a < b ? a : b;
    const int32_t hi = a < b ? b : a;
    // The span is a 32-bit difference: it wraps for bounds more than 2^31 apart.
    const auto span = static_cast<int32_t>(static_cast<uint32_t>(hi) - static_cast<uint32_t>(lo));
    const double u = next_unit();
    return truncate_to_int32(u * static_cast<double>(span) + static_cast<double>(lo));
}

double place_between(double u, double lo, double hi) { return u * (hi - lo) + lo; }

double random::double_between(double a, double b) {
    return draw_between([this] { return next_unit(); }, a, b);
}

random generator;

}  // namespace sowfield
