// UTF-8 validation thirty-two bytes at a time, by the lookup method of Keiser and Lemire: three
// table lookups on the high and low halves of each byte and of the byte before it mark every
// malformed pair (an overlong form, a surrogate, a value past U+10FFFF, a continuation without
// a lead or a lead without its continuations), and two saturating subtractions mark where a
// third or fourth byte must follow. A block of ASCII only checks that no sequence was left
// open. Every verdict equals the scalar check's.
//
// This file alone is compiled for AVX2; see avx2_kernels.cpp on why nothing here is shared.
// The shuffle and the alignment work within each 16-byte half, so the tables are given twice
// and the bytes before a vector come from the two halves exchanged.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernels/avx2/avx2_kernels.hpp"

namespace brindle::kernels::avx2 {
namespace {

__m256i load(const unsigned char* at) noexcept { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)); }

constexpr std::size_t kWidth = 32;

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

__m256i high_halves(__m256i bytes) noexcept { return _mm256_and_si256(_mm256_srli_epi16(bytes, 4), _mm256_set1_epi8(0x0F)); }

__m256i malformed_pairs(__m256i input, __m256i previous) noexcept {
    const __m256i by_first_high = _mm256_shuffle_epi8(
        _mm256_setr_epi8(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
                      kTwoContinuations, kTwoContinuations, kTwoContinuations, kTwoContinuations,
                      kTooShort | kOverlong2, kTooShort, kTooShort | kOverlong3 | kSurrogate,
                      kTooShort | kTooLarge | kTooLarge1000 | kOverlong4,
                      kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
                      kTwoContinuations, kTwoContinuations, kTwoContinuations, kTwoContinuations,
                      kTooShort | kOverlong2, kTooShort, kTooShort | kOverlong3 | kSurrogate,
                      kTooShort | kTooLarge | kTooLarge1000 | kOverlong4),
        high_halves(previous));
    constexpr char kLarge = kCarry | kTooLarge | kTooLarge1000;
    const __m256i by_first_low = _mm256_shuffle_epi8(
        _mm256_setr_epi8(kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry,
                      kCarry | kTooLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge,
                      kLarge | kSurrogate, kLarge, kLarge,
                      kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry,
                      kCarry | kTooLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge,
                      kLarge | kSurrogate, kLarge, kLarge),
        _mm256_and_si256(previous, _mm256_set1_epi8(0x0F)));
    constexpr char kContinuation = kTooLong | kOverlong2 | kTwoContinuations;
    const __m256i by_second_high = _mm256_shuffle_epi8(
        _mm256_setr_epi8(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
                      kContinuation | kOverlong3 | kTooLarge1000 | kOverlong4,
                      kContinuation | kOverlong3 | kTooLarge, kContinuation | kSurrogate | kTooLarge,
                      kContinuation | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort, kTooShort,
                      kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
                      kContinuation | kOverlong3 | kTooLarge1000 | kOverlong4,
                      kContinuation | kOverlong3 | kTooLarge, kContinuation | kSurrogate | kTooLarge,
                      kContinuation | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort, kTooShort),
        high_halves(input));
    return _mm256_and_si256(_mm256_and_si256(by_first_high, by_first_low), by_second_high);
}

// The errors of one vector given the one before it: the malformed pairs, with the
// continuation-after-continuation mark cancelled exactly where a third or fourth byte is due
// (and raised where one is due but missing).
__m256i vector_errors(__m256i input, __m256i before) noexcept {
    // The high half of `before` and the low half of `input`: what precedes each half of input.
    const __m256i preceding = _mm256_permute2x128_si256(before, input, 0x21);
    const __m256i previous1 = _mm256_alignr_epi8(input, preceding, 16 - 1);
    const __m256i previous2 = _mm256_alignr_epi8(input, preceding, 16 - 2);
    const __m256i previous3 = _mm256_alignr_epi8(input, preceding, 16 - 3);
    const __m256i third_byte_due = _mm256_subs_epu8(previous2, _mm256_set1_epi8(static_cast<char>(0xE0 - 0x80)));
    const __m256i fourth_byte_due = _mm256_subs_epu8(previous3, _mm256_set1_epi8(static_cast<char>(0xF0 - 0x80)));
    const __m256i due = _mm256_and_si256(_mm256_or_si256(third_byte_due, fourth_byte_due), _mm256_set1_epi8(static_cast<char>(0x80)));
    return _mm256_xor_si256(due, malformed_pairs(input, previous1));
}

// Non-zero where a sequence starting in the last three bytes needs more bytes than remain.
__m256i open_at_end(__m256i input) noexcept {
    const __m256i last_allowed = _mm256_setr_epi8(
        -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
        -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
        static_cast<char>(0xF0 - 1), static_cast<char>(0xE0 - 1), static_cast<char>(0xC0 - 1));
    return _mm256_subs_epu8(input, last_allowed);
}

class Validator {
public:
    void add(__m256i input) noexcept {
        if (_mm256_movemask_epi8(input) == 0) {
            errors_ = _mm256_or_si256(errors_, open_);
            open_ = _mm256_setzero_si256();
        } else {
            errors_ = _mm256_or_si256(errors_, vector_errors(input, before_));
            open_ = open_at_end(input);
        }
        before_ = input;
    }
    // Four vectors in a row: ASCII throughout, the common case, takes one test.
    void add(const __m256i (&vectors)[4]) noexcept {
        const __m256i any = _mm256_or_si256(_mm256_or_si256(vectors[0], vectors[1]), _mm256_or_si256(vectors[2], vectors[3]));
        if (_mm256_movemask_epi8(any) == 0) {
            errors_ = _mm256_or_si256(errors_, open_);
            open_ = _mm256_setzero_si256();
            before_ = vectors[3];
            return;
        }
        for (const __m256i& vector : vectors) {
            add(vector);
        }
    }
    bool valid() const noexcept {
        const __m256i all = _mm256_or_si256(errors_, open_);
        return _mm256_testz_si256(all, all) != 0;
    }

private:
    __m256i errors_ = _mm256_setzero_si256();
    __m256i open_ = _mm256_setzero_si256();
    __m256i before_ = _mm256_setzero_si256();
};

}  // namespace

bool is_valid_utf8(const unsigned char* data, std::size_t size) noexcept {
    Validator validator;
    std::size_t at = 0;
    for (; size - at >= 4 * kWidth; at += 4 * kWidth) {
        const __m256i vectors[4] = {load(data + at), load(data + at + kWidth), load(data + at + 2 * kWidth),
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

}  // namespace brindle::kernels::avx2
