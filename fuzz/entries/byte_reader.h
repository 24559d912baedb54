// Reads a fuzzer's bytes as a stream of small decisions. Past the end every
// read answers 0, so any prefix of an input is itself a valid input and the
// decoders never need to check for the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace sowfield::fuzz {

class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool empty() const { return position_ >= bytes_.size(); }
    std::size_t remaining() const { return empty() ? 0 : bytes_.size() - position_; }

    uint8_t u8() { return empty() ? 0 : bytes_[position_++]; }
    int8_t i8() { return static_cast<int8_t>(u8()); }

    uint16_t u16() {
        const uint16_t low = u8();
        return static_cast<uint16_t>(low | u8() << 8);
    }

    uint32_t u32() {
        const uint32_t low = u16();
        return low | static_cast<uint32_t>(u16()) << 16;
    }

    uint64_t u64() {
        const uint64_t low = u32();
        return low | static_cast<uint64_t>(u32()) << 32;
    }

    double f64() {
        const uint64_t bits = u64();
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    float f32() {
        const uint32_t bits = u32();
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // Up to `max` bytes, the count taken from the stream first.
    std::string text(std::size_t max) {
        const std::size_t length = u8() % (max + 1);
        std::string out;
        for (std::size_t i = 0; i < length && !empty(); ++i) out.push_back(static_cast<char>(u8()));
        return out;
    }

    // One element of a non-empty table, chosen by the next byte.
    template <class T, std::size_t N>
    const T &pick(const T (&table)[N]) {
        return table[u8() % N];
    }

private:
    std::span<const uint8_t> bytes_;
    std::size_t position_ = 0;
};

}  // namespace sowfield::fuzz
