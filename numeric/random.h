// The plug-in's random numbers: MT19937 with the 1998 reference seeding
// (a 32-bit linear congruential generator fills the state) and real outputs
// in the closed interval [0, 1].
#pragma once

#include <cstdint>

namespace sowfield {

// The engine. Each instance owns its state alone; a state is copied only on
// purpose, by copy_state.
class CRandom {
public:
    CRandom();
    ~CRandom();
    CRandom(const CRandom &) = delete;
    CRandom &operator=(const CRandom &) = delete;

    // Fills the state from `s` (0 stands for 4357); the next draw regenerates.
    void seed(uint32_t s);

    // A double in [0, 1], both ends included: the tempered word times
    // 1 / (2^32 - 1). An engine never seeded behaves as if seeded with 4357.
    double next_unit();

    // Takes over the state of `from`: both give the same draws from now on.
    void copy_state(const CRandom &from);

protected:
    static constexpr int32_t kWords = 624;
    static constexpr int32_t kNeedsRegeneration = 624;
    static constexpr int32_t kNeverSeeded = 625;

    uint32_t *state_words;
    int32_t state_index;

private:
    void regenerate();
};

// The generator the plug-in draws from: clock-seeded on construction, with
// reseeding from a signed integer and draws between two bounds.
class random : public CRandom {
public:
    // Seeds with the low 32 bits of the calendar time in whole seconds.
    random();
    virtual ~random();

    // Restarts the sequence from |n|; -2147483648 keeps its bit pattern.
    void reseed(int32_t n);

    // A whole number from the smaller bound up to the larger, truncated toward
    // zero; the larger bound itself comes out only for a unit draw of exactly
    // 1.0. Equal bounds return the bound without drawing.
    int32_t int_between(int32_t a, int32_t b);

    // A double between the two bounds, in either order. Bounds that compare
    // equal return `a` without drawing.
    double double_between(double a, double b);
};

// u * (hi - lo) + lo, never inlined: when both bounds are not numbers,
// which of them the result carries (its sign, "nan" or "-nan" in output)
// depends on the order the compiler gives the operands, so every caller runs
// the same instructions.
[[gnu::noinline]] double place_between(double u, double lo, double hi);

// What double_between makes of one unit draw u: a bound itself, without a
// draw, when the two compare equal; otherwise u placed between them.
template <class NextUnit>
double draw_between(NextUnit &&next_unit, double a, double b) {
    if (a == b) return a;
    double lo = a;
    double hi = b;
    if (a > b) {
        lo = b;
        hi = a;
    }
    return place_between(next_unit(), lo, hi);
}

// The process-wide generator: built (and clock-seeded) when the library is
// loaded and never reseeded. Clone sizes, angles, jitter, morph numbers and
// the density lottery draw from it.
extern random generator;

}  // namespace sowfield
