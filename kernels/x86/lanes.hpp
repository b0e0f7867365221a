// The operations of a lanes type (vector_kernels.hpp) that SSE and AVX2 name alike: SSE's
// _mm_NAME and _mm_NAME_si128 are AVX2's _mm256_NAME and _mm256_NAME_si256. One list serves
// both, spelled out inside a level's lanes type by the prefix's width part (nothing or 256)
// and the register size (128 or 256); the level adds what its width does differently.
#pragma once

#include <immintrin.h>

#include <cstdint>

// clang-format off
#define BRINDLE_X86_COMMON_LANES(W, B)                                                                     \
    static Vector load(const unsigned char* at) noexcept {                                                 \
        return _mm##W##_loadu_si##B(reinterpret_cast<const Vector*>(at));                                  \
    }                                                                                                      \
    static Vector splat(char byte) noexcept { return _mm##W##_set1_epi8(byte); }                           \
    static Vector splat_words(short word) noexcept { return _mm##W##_set1_epi16(word); }                   \
    static void store(unsigned char* at, Vector v) noexcept {                                              \
        _mm##W##_storeu_si##B(reinterpret_cast<Vector*>(at), v);                                           \
    }                                                                                                      \
    static Vector zero() noexcept { return _mm##W##_setzero_si##B(); }                                     \
    static Vector equal(Vector a, Vector b) noexcept { return _mm##W##_cmpeq_epi8(a, b); }                 \
    static Vector equal_words(Vector a, Vector b) noexcept { return _mm##W##_cmpeq_epi16(a, b); }          \
    static Vector signed_greater(Vector a, Vector b) noexcept { return _mm##W##_cmpgt_epi8(a, b); }        \
    static Vector either(Vector a, Vector b) noexcept { return _mm##W##_or_si##B(a, b); }                  \
    static Vector both(Vector a, Vector b) noexcept { return _mm##W##_and_si##B(a, b); }                   \
    static Vector differ(Vector a, Vector b) noexcept { return _mm##W##_xor_si##B(a, b); }                 \
    static Vector subtract(Vector a, Vector b) noexcept { return _mm##W##_sub_epi8(a, b); }                \
    static Vector subtract_saturated(Vector a, Vector b) noexcept { return _mm##W##_subs_epu8(a, b); }     \
    static Vector max(Vector a, Vector b) noexcept { return _mm##W##_max_epu8(a, b); }                     \
    template <int Bits>                                                                                    \
    static Vector shift_words_right(Vector v) noexcept { return _mm##W##_srli_epi16(v, Bits); }            \
    static Vector lookup(Vector table, Vector v) noexcept { return _mm##W##_shuffle_epi8(table, v); }      \
    static std::uint32_t mask(Vector v) noexcept { return static_cast<std::uint32_t>(_mm##W##_movemask_epi8(v)); } \
    static bool is_zero(Vector v) noexcept { return _mm##W##_testz_si##B(v, v) != 0; }                     \
    static Vector byte_sums(Vector v) noexcept { return _mm##W##_sad_epu8(v, zero()); }
// clang-format on
