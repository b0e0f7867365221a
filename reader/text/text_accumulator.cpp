#include "reader/text/text_accumulator.hpp"

#include "reader/text/unicode_space.hpp"

namespace brindle::reader {

std::string_view TextAccumulator::trimmed(const Mark& mark) const noexcept { return trim_unicode_space(text_of(mark)); }

}  // namespace brindle::reader
