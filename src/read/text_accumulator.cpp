#include "read/text_accumulator.hpp"

#include "read/unicode_space.hpp"

namespace brindle::read {

std::optional<std::string> TextAccumulator::close(const Mark& mark)
{
    const std::string_view whole = mark.pending.empty()
                                       ? std::string_view(buffer_).substr(mark.begin)
                                       : mark.pending;
    const std::string_view trimmed = trim_unicode_space(whole);
    std::optional<std::string> text;
    if (!trimmed.empty()) text.emplace(trimmed);
    buffer_.resize(mark.begin);
    return text;
}

}  // namespace brindle::read
