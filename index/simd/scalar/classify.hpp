#pragma once
// Classification of every byte as a markup delimiter outside quotes, one bit per byte.

#include <cstdint>
#include <string_view>
#include <vector>

namespace brindle::index {

// Bit (i mod 64) of word (i / 64) is set when byte i is a '<' (lt_bits) or a '>' (gt_bits)
// outside a quote run. Bit 0 is the least significant, so bit positions rise with offsets.
// Both lists hold ceil(length / 64) words; an empty document gives two empty lists.
struct ByteClasses {
    std::vector<std::uint64_t> lt_bits;
    std::vector<std::uint64_t> gt_bits;
    std::uint64_t length = 0;
};

// One pass over the document. A quote run opens at any '"' or '\'' met outside a run,
// anywhere (character data, comments and CDATA sections included), and closes at the next
// byte equal to its opening quote; a run still open at the end hides the rest of the
// document. Allocates only the two lists (std::bad_alloc propagates).
ByteClasses classify(std::string_view document);

}  // namespace brindle::index
