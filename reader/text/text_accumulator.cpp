#include "reader/text/text_accumulator.hpp"

#include "reader/text/unicode_space.hpp"

namespace brindle::reader {

std::string_view TextAccumulator::trimmed(const Mark& mark) const noexcept
{
    if (!mark.pending.empty()) return trim_unicode_space(mark.pending);
    return trim_unicode_space(std::string_view(buffer_).substr(mark.begin));
}

}  // namespace brindle::reader
