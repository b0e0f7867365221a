#include "index/simd/scalar/classify.hpp"

#include <cstddef>

namespace brindle::index {
namespace {

// Quote state after `byte`: 0 outside a run, else the quote byte that opened the current run.
inline unsigned char next_quote(unsigned char quote, unsigned char byte) noexcept {
    const bool opens = byte == '"' || byte == '\'';
    const unsigned char outside = opens ? byte : 0;
    const unsigned char inside = byte == quote ? 0 : quote;
    return quote == 0 ? outside : inside;
}

struct BlockBits {
    std::uint64_t lt = 0;
    std::uint64_t gt = 0;
};

// Marks the bytes [0, count) of one block of at most 64 bytes, carrying the quote state.
inline BlockBits classify_block(const unsigned char* bytes, std::size_t count,
                                unsigned char& quote) noexcept {
    BlockBits bits;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char byte = bytes[i];
        const std::uint64_t outside = quote == 0 ? 1U : 0U;
        bits.lt |= (outside & static_cast<std::uint64_t>(byte == '<')) << i;
        bits.gt |= (outside & static_cast<std::uint64_t>(byte == '>')) << i;
        quote = next_quote(quote, byte);
    }
    return bits;
}

}  // namespace

ByteClasses classify(std::string_view document) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(document.data());
    const std::size_t length = document.size();
    const std::size_t words = (length + 63) / 64;
    ByteClasses classes{std::vector<std::uint64_t>(words), std::vector<std::uint64_t>(words),
                        length};
    unsigned char quote = 0;
    for (std::size_t w = 0; w < words; ++w) {
        const std::size_t start = w * 64;
        const std::size_t count = length - start < 64 ? length - start : 64;
        const BlockBits bits = classify_block(bytes + start, count, quote);
        classes.lt_bits[w] = bits.lt;
        classes.gt_bits[w] = bits.gt;
    }
    return classes;
}

}  // namespace brindle::index
