// The kernels on sixteen bytes at a time (SSE4.2 and what it includes: SSSE3's byte shuffle
// and alignment), instantiated from the x86 templates (x86/vector_kernels.hpp).
//
// This file alone is compiled for SSE4.2; vector_kernels.hpp says why nothing built here can
// stand in for a copy built for another instruction set.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "kernels/sse2/escape_scan_kernels.hpp"
#include "kernels/sse42/sse42_kernels.hpp"
#include "kernels/x86/lanes.hpp"
#include "kernels/x86/utf8_validation.hpp"
#include "kernels/x86/vector_kernels.hpp"

namespace brindle::kernels::sse42 {
namespace {

struct Lanes {
    using Vector = __m128i;
    static constexpr std::size_t kWidth = 16;

    BRINDLE_X86_COMMON_LANES(, 128)
    static Vector repeat_16(const char (&table)[16]) noexcept
    {
        return load(reinterpret_cast<const unsigned char*>(table));
    }
    static Vector narrow_words(Vector a, Vector b) noexcept { return _mm_packus_epi16(a, b); }
    template <int Places>
    static Vector preceding(Vector v, Vector before) noexcept
    {
        return _mm_alignr_epi8(v, before, 16 - Places);
    }
    static __m128i add_halves(Vector v) noexcept { return v; }
    static __m128i max_halves(Vector v) noexcept { return v; }
};

}  // namespace

const KernelTable kTable = {Level::Sse42,
                            x86::find_byte<Lanes>,
                            x86::classify_markup<Lanes>,
                            x86::is_valid_utf8<Lanes>,
                            x86::ascii_prefix<Lanes>,
                            x86::count_utf8<Lanes>,
                            x86::narrow_ascii<Lanes>,
                            sse2::find_escapable_text,
                            sse2::find_escapable_attribute,
                            sse2::find_suspect};

}  // namespace brindle::kernels::sse42
