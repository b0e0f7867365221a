// UTF-8 validation a vector at a time, by the lookup method of Keiser and Lemire: three table
// lookups on the high and low halves of each byte and of the byte before it mark every
// malformed pair (an overlong form, a surrogate, a value past U+10FFFF, a continuation without
// a lead or a lead without its continuations), and two saturating subtractions mark where a
// third or fourth byte must follow. A block of ASCII only checks that no sequence was left
// open. Every verdict equals the scalar check's.
//
// Written once over a lanes type; vector_kernels.hpp says what one holds and why only a
// level's own source includes this header.
#pragma once

#include <cstddef>
#include <cstring>

#include "kernels/x86/vector_kernels.hpp"

namespace brindle::kernels::x86 {

// clang-format off: the tables keep their rows.
// Kinds of malformed pair, one bit each (the last two never meet, so they share a bit).
inline constexpr char kTooShort = 1 << 0;    // a lead not followed by a continuation
inline constexpr char kTooLong = 1 << 1;     // a continuation after ASCII
inline constexpr char kOverlong3 = 1 << 2;   // E0 80..9F
inline constexpr char kTooLarge = 1 << 3;    // F4 90..BF, or F5..FF
inline constexpr char kSurrogate = 1 << 4;   // ED A0..BF
inline constexpr char kOverlong2 = 1 << 5;   // C0 or C1
inline constexpr char kTooLarge1000 = 1 << 6;  // F5..FF 80..8F
inline constexpr char kOverlong4 = 1 << 6;   // F0 80..8F
inline constexpr char kTwoContinuations = static_cast<char>(1 << 7);  // a continuation after a continuation
inline constexpr char kCarry = kTooShort | kTooLong | kTwoContinuations;  // decided by the high half alone
inline constexpr char kLarge = kCarry | kTooLarge | kTooLarge1000;
inline constexpr char kContinuation = kTooLong | kOverlong2 | kTwoContinuations;

// The kinds a pair may be, by the high half of its first byte, the low half of its first byte
// and the high half of its second byte; a pair is malformed where all three agree on a kind.
inline constexpr char kByFirstHigh[16] = {
    kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
    kTwoContinuations, kTwoContinuations, kTwoContinuations, kTwoContinuations,
    kTooShort | kOverlong2, kTooShort, kTooShort | kOverlong3 | kSurrogate,
    kTooShort | kTooLarge | kTooLarge1000 | kOverlong4};
inline constexpr char kByFirstLow[16] = {
    kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry,
    kCarry | kTooLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge,
    kLarge | kSurrogate, kLarge, kLarge};
inline constexpr char kBySecondHigh[16] = {
    kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
    kContinuation | kOverlong3 | kTooLarge1000 | kOverlong4,
    kContinuation | kOverlong3 | kTooLarge, kContinuation | kSurrogate | kTooLarge,
    kContinuation | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort, kTooShort};
// clang-format on

template <class L>
typename L::Vector high_halves(typename L::Vector bytes) noexcept
{
    return L::both(L::template shift_words_right<4>(bytes), L::splat(0x0F));
}

template <class L>
typename L::Vector malformed_pairs(typename L::Vector input, typename L::Vector previous) noexcept
{
    const typename L::Vector by_first_high = L::lookup(L::repeat_16(kByFirstHigh), high_halves<L>(previous));
    const typename L::Vector by_first_low = L::lookup(L::repeat_16(kByFirstLow), L::both(previous, L::splat(0x0F)));
    const typename L::Vector by_second_high = L::lookup(L::repeat_16(kBySecondHigh), high_halves<L>(input));
    return L::both(L::both(by_first_high, by_first_low), by_second_high);
}

// The errors of one vector given the one before it: the malformed pairs, with the
// continuation-after-continuation mark cancelled exactly where a third or fourth byte is due
// (and raised where one is due but missing).
template <class L>
typename L::Vector vector_errors(typename L::Vector input, typename L::Vector before) noexcept
{
    const typename L::Vector previous1 = L::template preceding<1>(input, before);
    const typename L::Vector previous2 = L::template preceding<2>(input, before);
    const typename L::Vector previous3 = L::template preceding<3>(input, before);
    const typename L::Vector third_byte_due = L::subtract_saturated(previous2,
                                                                    L::splat(static_cast<char>(0xE0 - 0x80)));
    const typename L::Vector fourth_byte_due = L::subtract_saturated(previous3,
                                                                     L::splat(static_cast<char>(0xF0 - 0x80)));
    const typename L::Vector due = L::both(L::either(third_byte_due, fourth_byte_due),
                                           L::splat(static_cast<char>(0x80)));
    return L::differ(due, malformed_pairs<L>(input, previous1));
}

// The largest byte each of the last three bytes of a vector may be without beginning a
// sequence longer than what remains; -1 (no limit) everywhere before them.
template <class L>
struct LastAllowed {
    char bytes[L::kWidth];

    constexpr LastAllowed() : bytes{}
    {
        for (char& byte : bytes) {
            byte = static_cast<char>(-1);
        }
        bytes[L::kWidth - 3] = static_cast<char>(0xF0 - 1);
        bytes[L::kWidth - 2] = static_cast<char>(0xE0 - 1);
        bytes[L::kWidth - 1] = static_cast<char>(0xC0 - 1);
    }
};

// Non-zero where a sequence starting in the last three bytes needs more bytes than remain.
template <class L>
typename L::Vector open_at_end(typename L::Vector input) noexcept
{
    static constexpr LastAllowed<L> kLastAllowed;
    return L::subtract_saturated(input, L::load(reinterpret_cast<const unsigned char*>(kLastAllowed.bytes)));
}

template <class L>
class Utf8Validator {
public:
    using Vector = typename L::Vector;

    void add(Vector input) noexcept
    {
        if (L::mask(input) == 0) {
            close_ascii();
        } else {
            errors_ = L::either(errors_, vector_errors<L>(input, before_));
            open_ = open_at_end<L>(input);
        }
        before_ = input;
    }
    // Four vectors in a row: ASCII throughout, the common case, takes one test.
    void add(const Four<L>& four) noexcept
    {
        if (L::mask(four.any()) == 0) {
            close_ascii();
            before_ = four.vectors[3];
            return;
        }
        for (const Vector& vector : four.vectors) {
            add(vector);
        }
    }
    bool valid() const noexcept { return L::is_zero(L::either(errors_, open_)); }

private:
    // An ASCII vector ends any sequence left open.
    void close_ascii() noexcept
    {
        errors_ = L::either(errors_, open_);
        open_ = L::zero();
    }

    Vector errors_ = L::zero();
    Vector open_ = L::zero();
    Vector before_ = L::zero();
};

template <class L>
bool is_valid_utf8(const unsigned char* data, std::size_t size) noexcept
{
    constexpr std::size_t kWidth = L::kWidth;
    Utf8Validator<L> validator;
    std::size_t at = 0;
    for (; size - at >= 4 * kWidth; at += 4 * kWidth) {
        validator.add(Four<L>::load(data + at));
    }
    for (; size - at >= kWidth; at += kWidth) {
        validator.add(L::load(data + at));
    }
    if (at < size) {
        // The rest, padded with zero bytes: ASCII, so a sequence cut by the end stays open.
        unsigned char last[kWidth] = {};
        std::memcpy(last, data + at, size - at);
        validator.add(L::load(last));
    }
    return validator.valid();
}

}  // namespace brindle::kernels::x86
