// UTF-8 validation sixteen bytes at a time, by the lookup method of Keiser and Lemire: three
// table lookups on the high and low halves of each byte and of the byte before it mark every
// malformed pair (an overlong form, a surrogate, a value past U+10FFFF, a continuation without
// a lead or a lead without its continuations), and two saturating subtractions mark where a
// third or fourth byte must follow. A block of ASCII only checks that no sequence was left
// open. Every verdict equals the scalar check's.
//
// This file alone is compiled for SSE4.2 (it needs SSSE3's shuffle and alignment); see
// sse42_kernels.cpp on why nothing here is shared.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernels/sse42/sse42_kernels.hpp"

namespace brindle::kernels::sse42 {
namespace {

__m128i load(const unsigned char* at) noexcept { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

constexpr std::size_t kWidth = 16;

// Kinds of malformed pair, one bit each (the last two never meet, so they share a bit).
constexpr char kTooShort = 1 << 0;    // a lead not followed by a continuation
constexpr char kTooLong = 1 << 1;     // a continuation after ASCII
constexpr char kOverlong3 = 1 << 2;   // E0 80..9F
constexpr char kTooLarge = 1 << 3;    // F4 90..BF, or F5..FF
constexpr char kSurrogate = 1 << 4;   // ED A0..BF
constexpr char kOverlong2 = 1 << 5;   // C0 or C1
constexpr char kTooLarge1000 = 1 << 6;  // F5..FF 80..8F
constexpr char kOverlong4 = 1 << 6;   // F0 80..8F
constexpr char kTwoContinuations = static_cast<char>(1 << 7);  // a continuation after a continuation
constexpr char kCarry = kTooShort | kTooLong | kTwoContinuations;  // decided by the high half alone

__m128i high_halves(__m128i bytes) noexcept { return _mm_and_si128(_mm_srli_epi16(bytes, 4), _mm_set1_epi8(0x0F)); }

__m128i malformed_pairs(__m128i input, __m128i previous) noexcept {
    const __m128i by_first_high = _mm_shuffle_epi8(
        _mm_setr_epi8(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
                      kTwoContinuations, kTwoContinuations, kTwoContinuations, kTwoContinuations,
                      kTooShort | kOverlong2, kTooShort, kTooShort | kOverlong3 | kSurrogate,
                      kTooShort | kTooLarge | kTooLarge1000 | kOverlong4),
        high_halves(previous));
    constexpr char kLarge = kCarry | kTooLarge | kTooLarge1000;
    const __m128i by_first_low = _mm_shuffle_epi8(
        _mm_setr_epi8(kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry,
                      kCarry | kTooLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge,
                      kLarge | kSurrogate, kLarge, kLarge),
        _mm_and_si128(previous, _mm_set1_epi8(0x0F)));
    constexpr char kContinuation = kTooLong | kOverlong2 | kTwoContinuations;
    const __m128i by_second_high = _mm_shuffle_epi8(
        _mm_setr_epi8(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
                      kContinuation | kOverlong3 | kTooLarge1000 | kOverlong4,
                      kContinuation | kOverlong3 | kTooLarge, kContinuation | kSurrogate | kTooLarge,
                      kContinuation | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort, kTooShort),
        high_halves(input));
    return _mm_and_si128(_mm_and_si128(by_first_high, by_first_low), by_second_high);
}

// The errors of one vector given the one before it: the malformed pairs, with the
// continuation-after-continuation mark cancelled exactly where a third or fourth byte is due
// (and raised where one is due but missing).
__m128i vector_errors(__m128i input, __m128i before) noexcept {
    const __m128i previous1 = _mm_alignr_epi8(input, before, kWidth - 1);
    const __m128i previous2 = _mm_alignr_epi8(input, before, kWidth - 2);
    const __m128i previous3 = _mm_alignr_epi8(input, before, kWidth - 3);
    const __m128i third_byte_due = _mm_subs_epu8(previous2, _mm_set1_epi8(static_cast<char>(0xE0 - 0x80)));
    const __m128i fourth_byte_due = _mm_subs_epu8(previous3, _mm_set1_epi8(static_cast<char>(0xF0 - 0x80)));
    const __m128i due = _mm_and_si128(_mm_or_si128(third_byte_due, fourth_byte_due), _mm_set1_epi8(static_cast<char>(0x80)));
    return _mm_xor_si128(due, malformed_pairs(input, previous1));
}

// Non-zero where a sequence starting in the last three bytes needs more bytes than remain.
__m128i open_at_end(__m128i input) noexcept {
    const __m128i last_allowed = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                               static_cast<char>(0xF0 - 1), static_cast<char>(0xE0 - 1),
                                               static_cast<char>(0xC0 - 1));
    return _mm_subs_epu8(input, last_allowed);
}

class Validator {
public:
    void add(__m128i input) noexcept {
        if (_mm_movemask_epi8(input) == 0) {
            errors_ = _mm_or_si128(errors_, open_);
            open_ = _mm_setzero_si128();
        } else {
            errors_ = _mm_or_si128(errors_, vector_errors(input, before_));
            open_ = open_at_end(input);
        }
        before_ = input;
    }
    // Four vectors in a row: ASCII throughout, the common case, takes one test.
    void add(const __m128i (&vectors)[4]) noexcept {
        const __m128i any = _mm_or_si128(_mm_or_si128(vectors[0], vectors[1]), _mm_or_si128(vectors[2], vectors[3]));
        if (_mm_movemask_epi8(any) == 0) {
            errors_ = _mm_or_si128(errors_, open_);
            open_ = _mm_setzero_si128();
            before_ = vectors[3];
            return;
        }
        for (const __m128i& vector : vectors) {
            add(vector);
        }
    }
    bool valid() const noexcept {
        const __m128i all = _mm_or_si128(errors_, open_);
        return _mm_testz_si128(all, all) != 0;
    }

private:
    __m128i errors_ = _mm_setzero_si128();
    __m128i open_ = _mm_setzero_si128();
    __m128i before_ = _mm_setzero_si128();
};

}  // namespace

bool is_valid_utf8(const unsigned char* data, std::size_t size) noexcept {
    Validator validator;
    std::size_t at = 0;
    for (; size - at >= 4 * kWidth; at += 4 * kWidth) {
        const __m128i vectors[4] = {load(data + at), load(data + at + kWidth), load(data + at + 2 * kWidth),
                                 load(data + at + 3 * kWidth)};
        validator.add(vectors);
    }
    for (; size - at >= kWidth; at += kWidth) {
        validator.add(load(data + at));
    }
    if (at < size) {
        // The rest, padded with zero bytes: ASCII, so a sequence cut by the end stays open.
        unsigned char last[kWidth] = {};
        std::memcpy(last, data + at, size - at);
        validator.add(load(last));
    }
    return validator.valid();
}

}  // namespace brindle::kernels::sse42
