#include "numeric/random.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

namespace sowfield {
namespace {

// The tempered word behind a unit draw: next_unit is word / (2^32 - 1), so
// multiplying back and rounding recovers it exactly.
uint32_t tempered_word(double unit) { return static_cast<uint32_t>(unit * 4294967295.0 + 0.5); }

TEST(RandomEngine, SeedOf25GivesTheReferenceWordsAndUnits) {
    random rng;
    rng.reseed(25);
    const double a = rng.next_unit();
    const double b = rng.next_unit();
    const double c = rng.next_unit();
    EXPECT_EQ(tempered_word(a), 0x3C061099u);
    EXPECT_EQ(tempered_word(b), 0x654E4285u);
    EXPECT_EQ(tempered_word(c), 0x270B5866u);
    EXPECT_EQ(a, 0.2344675420863711);
    EXPECT_EQ(b, 0.3957254005120428);
    EXPECT_EQ(c, 0.15251686567266398);
}

TEST(RandomEngine, SeedZeroStandsFor4357AndSoDoesNeverSeeded) {
    CRandom zero;
    zero.seed(0);
    CRandom reference;
    reference.seed(4357);
    CRandom never_seeded;
    const double first = zero.next_unit();
    EXPECT_EQ(first, 0.6675764777854961);
    EXPECT_EQ(tempered_word(first), 0xAAE64AC3u);
    EXPECT_EQ(reference.next_unit(), first);
    EXPECT_EQ(never_seeded.next_unit(), first);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(zero.next_unit(), reference.next_unit()) << "draw " << i;
}

TEST(RandomEngine, UnitScaleIsTheDoubleNearestTheReciprocalOfTheLargestWord) {
    EXPECT_EQ(std::bit_cast<uint64_t>(2.3283064370807974e-10), 0x3DF0000000100000u);
}

TEST(RandomEngine, NegativeSeedsUseTheirAbsoluteValue) {
    random positive;
    positive.reseed(25);
    random negative;
    negative.reseed(-25);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(positive.next_unit(), negative.next_unit());

    // The most negative seed keeps its bit pattern rather than overflowing.
    random lowest;
    lowest.reseed(INT32_MIN);
    CRandom pattern;
    pattern.seed(0x80000000u);
    EXPECT_EQ(lowest.next_unit(), pattern.next_unit());
}

// A reference MT19937 regeneration, written the textbook way, to check that the
// 625th draw (the first of the second block) comes from exactly one refill.
class ExposedEngine : public CRandom {
public:
    const uint32_t *words() const { return state_words; }
    int32_t index() const { return state_index; }
};

TEST(RandomEngine, The625thDrawRegeneratesOnce) {
    ExposedEngine engine;
    engine.seed(25);
    EXPECT_EQ(engine.index(), 624);
    for (int i = 0; i < 624; ++i) engine.next_unit();
    EXPECT_EQ(engine.index(), 624);

    uint32_t expected[624];
    for (int k = 0; k < 624; ++k) expected[k] = engine.words()[k];
    for (int k = 0; k < 624; ++k) {
        const uint32_t y = (expected[k] & 0x80000000u) | (expected[(k + 1) % 624] & 0x7FFFFFFFu);
        expected[k] = expected[(k + 397) % 624] ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
    }
    uint32_t y = expected[0];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;

    const double draw625 = engine.next_unit();
    EXPECT_EQ(engine.index(), 1);
    EXPECT_EQ(tempered_word(draw625), y);
    for (int k = 0; k < 624; ++k) ASSERT_EQ(engine.words()[k], expected[k]) << "word " << k;
}

TEST(RandomEngine, ACopiedStateGivesTheSameDraws) {
    random rng;
    rng.reseed(25);
    for (int k = 0; k < 700; ++k) rng.next_unit();  // past a regeneration
    CRandom copy;
    copy.copy_state(rng);
    for (int k = 0; k < 1300; ++k) ASSERT_EQ(copy.next_unit(), rng.next_unit()) << "draw " << k;
}

TEST(RandomBetween, EqualBoundsReturnTheBoundWithoutDrawing) {
    random rng;
    rng.reseed(25);
    EXPECT_EQ(rng.int_between(5, 5), 5);
    EXPECT_EQ(rng.double_between(2.5, 2.5), 2.5);
    EXPECT_EQ(rng.next_unit(), 0.2344675420863711) << "the sequence must not have moved";
}

TEST(RandomBetween, BoundsInEitherOrderDrawTheSameValue) {
    random forward;
    forward.reseed(7);
    random backward;
    backward.reseed(7);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(forward.int_between(0, 3), backward.int_between(3, 0));
        const double d = forward.double_between(-1.0, 1.0);
        ASSERT_EQ(d, backward.double_between(1.0, -1.0));
        ASSERT_GE(d, -1.0);
        ASSERT_LE(d, 1.0);
    }
}

TEST(RandomBetween, IntegerDrawsTruncateSoTheTopBoundIsRare) {
    random rng;
    rng.reseed(25);
    int counts[4] = {0, 0, 0, 0};
    for (int i = 0; i < 30000; ++i) {
        const int32_t v = rng.int_between(0, 3);
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 3);
        ++counts[v];
    }
    EXPECT_EQ(counts[3], 0);
    for (int v = 0; v < 3; ++v) EXPECT_NEAR(counts[v], 10000, 500);

    // The draw is u * (hi - lo) + lo truncated toward zero.
    random a;
    a.reseed(25);
    random b;
    b.reseed(25);
    EXPECT_EQ(a.int_between(-10, 10), static_cast<int32_t>(b.next_unit() * 20.0 + -10.0));
}

TEST(RandomBetween, SpansBeyondThe32BitRangeWrapAndStayInRange) {
    // hi - lo is a 32-bit difference: for the full range it wraps to -1, so
    // every draw lands just below INT32_MIN and is held there, never undefined.
    random rng;
    rng.reseed(1);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(rng.int_between(INT32_MIN, INT32_MAX), INT32_MIN);
}

TEST(RandomBetween, DoubleDrawIsUnitTimesSpanPlusLow) {
    random a;
    a.reseed(25);
    random b;
    b.reseed(25);
    EXPECT_EQ(a.double_between(0.0, 2.0), b.next_unit() * (2.0 - 0.0) + 0.0);
    EXPECT_EQ(a.double_between(3.0, -1.0), b.next_unit() * (3.0 - -1.0) + -1.0);
}

}  // namespace
}  // namespace sowfield
