#include "index/simd/scalar/classify.hpp"

#include <bit>
#include <cstddef>
#include <cstring>

#include "index/simd/scalar/word_test.hpp"

namespace brindle::index {
namespace {

// Bit i set for every byte i of the 64-byte block that equals the byte in `pattern`.
std::uint64_t block_equal_bits(const unsigned char* block, std::uint64_t pattern) noexcept {
    std::uint64_t bits = 0;
    for (unsigned w = 0; w < 8; ++w) {
        bits |= swar::equal_lanes(swar::load_word(block + 8 * w), pattern) << (8 * w);
    }
    return bits;
}

// Bits [from, to) of a word, for 0 <= from <= to <= 64.
constexpr std::uint64_t bit_span(unsigned from, unsigned to) noexcept {
    const std::uint64_t below_to = to == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
    const std::uint64_t below_from = from == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << from) - 1;
    return below_to & ~below_from;
}

// The bytes of one block that lie outside quote runs, walking from quote to quote. `quote`
// carries the open run ('"', '\'' or 0) from block to block.
std::uint64_t outside_quotes(std::uint64_t double_quotes, std::uint64_t apostrophes,
                             unsigned char& quote) noexcept {
    std::uint64_t outside = 0;
    unsigned at = 0;
    while (at < 64) {
        const std::uint64_t ahead = ~bit_span(0, at);
        if (quote == 0) {
            const std::uint64_t opening = (double_quotes | apostrophes) & ahead;
            if (opening == 0) {
                return outside | bit_span(at, 64);
            }
            const auto q = static_cast<unsigned>(std::countr_zero(opening));
            outside |= bit_span(at, q);
            quote = (double_quotes >> q) & 1U ? '"' : '\'';
            at = q + 1;
        } else {
            const std::uint64_t closing = (quote == '"' ? double_quotes : apostrophes) & ahead;
            if (closing == 0) {
                return outside;
            }
            quote = 0;
            at = static_cast<unsigned>(std::countr_zero(closing)) + 1;
        }
    }
    return outside;
}

struct BlockBits {
    std::uint64_t lt;
    std::uint64_t gt;
};

// One block of exactly 64 bytes: the bits of the four bytes that matter, then the quote runs.
BlockBits classify_block(const unsigned char* block, unsigned char& quote) noexcept {
    const std::uint64_t double_quotes = block_equal_bits(block, swar::repeat_byte('"'));
    const std::uint64_t apostrophes = block_equal_bits(block, swar::repeat_byte('\''));
    const std::uint64_t outside = quote == 0 && (double_quotes | apostrophes) == 0
                                      ? ~std::uint64_t{0}
                                      : outside_quotes(double_quotes, apostrophes, quote);
    return {block_equal_bits(block, swar::repeat_byte('<')) & outside,
            block_equal_bits(block, swar::repeat_byte('>')) & outside};
}

}  // namespace

ByteClasses classify(std::string_view document) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(document.data());
    const std::size_t length = document.size();
    const std::size_t words = (length + 63) / 64;
    ByteClasses classes{std::vector<std::uint64_t>(words), std::vector<std::uint64_t>(words), length};
    unsigned char quote = 0;
    for (std::size_t w = 0; w < words; ++w) {
        const std::size_t start = w * 64;
        // The last, partial block is copied into a zero-padded block: zero bytes mark nothing.
        unsigned char tail[64] = {};
        const unsigned char* block = bytes + start;
        if (length - start < 64) {
            std::memcpy(tail, block, length - start);
            block = tail;
        }
        const BlockBits bits = classify_block(block, quote);
        classes.lt_bits[w] = bits.lt;
        classes.gt_bits[w] = bits.gt;
    }
    return classes;
}

}  // namespace brindle::index
