// The plug-in's random numbers: MT19937 with the 1998 reference seeding
// (a 32-bit linear congruential generator fills the state) and real outputs
// in the closed interval [0, 1].
#pragma once

#include <cstdint>

namespace sowfield {

// The engine. Each instance owns its state alone; generators are never copied.
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

    // The draw `ahead` draws from now (0: the one next_unit would give)
    // without taking it, when it comes from the words already generated;
    // false otherwise. Lets a caller fetch what a coming draw will need.
    bool peek_unit(int32_t ahead, double &unit) const;

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
    const double u = next_unit();
    return u * (hi - lo) + lo;
}

// The draws a generator is going to make, read ahead without taking them:
// next_unit and double_between give what the generator's own would give,
// starting `ahead` draws on. Once a draw lies beyond the words the
// generator has made so far, exhausted() is true and the values mean nothing.
class coming_draws {
public:
    coming_draws(const CRandom &rng, int32_t ahead) : rng_(rng), ahead_(ahead) {}

    double next_unit() {
        double u = 0.0;
        if (!rng_.peek_unit(ahead_++, u)) exhausted_ = true;
        return u;
    }
    double double_between(double a, double b) {
        return draw_between([this] { return next_unit(); }, a, b);
    }
    bool exhausted() const { return exhausted_; }

private:
    const CRandom &rng_;
    int32_t ahead_;
    bool exhausted_ = false;
};

// The process-wide generator: built (and clock-seeded) when the library is
// loaded and never reseeded. Clone sizes, angles, jitter, morph numbers and
// the density lottery draw from it.
extern random generator;

}  // namespace sowfield
