#include "read/text_accumulator.hpp"

#include "read/unicode_space.hpp"

namespace brindle::read {

std::string_view TextAccumulator::trimmed(const Mark& mark) const noexcept
{
    if (!mark.pending.empty()) return trim_unicode_space(mark.pending);
    return trim_unicode_space(std::string_view(buffer_).substr(mark.begin));
}

}  // namespace brindle::read
