// The kernels on thirty-two bytes at a time (AVX2), instantiated from the x86 templates
// (x86/vector_kernels.hpp). The byte shuffle and alignment work within each 16-byte half, so
// a table is given to each half and the bytes before a vector come from the halves exchanged.
//
// This file alone is compiled for AVX2; vector_kernels.hpp says why nothing built here can
// stand in for a copy built for another instruction set.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "kernels/avx2/avx2_kernels.hpp"
#include "kernels/sse2/escape_scan_kernels.hpp"
#include "kernels/x86/lanes.hpp"
#include "kernels/x86/utf8_validation.hpp"
#include "kernels/x86/vector_kernels.hpp"

namespace brindle::kernels::avx2 {
namespace {

struct Lanes {
    using Vector = __m256i;
    static constexpr std::size_t kWidth = 32;

    BRINDLE_X86_COMMON_LANES(256, 256)
    // Element by element, so that the compiler sees a constant table as a constant vector.
    static Vector repeat_16(const char (&t)[16]) noexcept
    {
        return _mm256_setr_epi8(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9], t[10], t[11], t[12], t[13],
                                t[14], t[15], t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9], t[10], t[11],
                                t[12], t[13], t[14], t[15]);
    }
    // The packing works within each 16-byte half: the middle quarters change places after it.
    static Vector narrow_words(Vector a, Vector b) noexcept
    {
        return _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
    }
    // The high half of `before` and the low half of `v` precede the two halves of `v`.
    template <int Places>
    static Vector preceding(Vector v, Vector before) noexcept
    {
        return _mm256_alignr_epi8(v, _mm256_permute2x128_si256(before, v, 0x21), 16 - Places);
    }
    static __m128i add_halves(Vector v) noexcept
    {
        return _mm_add_epi64(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    }
    static __m128i max_halves(Vector v) noexcept
    {
        return _mm_max_epu8(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    }
};

}  // namespace

// The kernels the AVX-512 level also uses.
std::size_t find_byte(const unsigned char* data, std::size_t size, std::size_t from, unsigned char value) noexcept
{
    return x86::find_byte<Lanes>(data, size, from, value);
}
bool is_valid_utf8(const unsigned char* data, std::size_t size) noexcept
{
    return x86::is_valid_utf8<Lanes>(data, size);
}
std::size_t ascii_prefix(const unsigned char* data, std::size_t size) noexcept
{
    return x86::ascii_prefix<Lanes>(data, size);
}
Utf8Counts count_utf8(const unsigned char* data, std::size_t size) noexcept
{
    return x86::count_utf8<Lanes>(data, size);
}
std::size_t narrow_ascii(const std::uint16_t* units, std::size_t count, unsigned char* out) noexcept
{
    return x86::narrow_ascii<Lanes>(units, count, out);
}

const KernelTable kTable = {Level::Avx2,
                            find_byte,
                            x86::classify_markup<Lanes>,
                            is_valid_utf8,
                            ascii_prefix,
                            count_utf8,
                            narrow_ascii,
                            sse2::find_escapable_text,
                            sse2::find_escapable_attribute,
                            sse2::find_suspect};

}  // namespace brindle::kernels::avx2
