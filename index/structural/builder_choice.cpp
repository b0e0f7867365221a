#include "index/structural/builder_choice.hpp"

#include <algorithm>
#include <cstddef>

namespace brindle::index {

bool prefers_quote_dense(std::string_view document) noexcept
{
    const std::string_view sample = document.substr(0, std::min<std::size_t>(document.size(), 4096));
    std::size_t less_than = 0;
    std::size_t quotes = 0;
    for (const char byte : sample) {
        less_than += byte == '<' ? 1U : 0U;
        quotes += byte == '"' ? 1U : 0U;
    }
    const double ratio = static_cast<double>(quotes) / static_cast<double>(std::max<std::size_t>(less_than, 1));
    return ratio > 5.0;
}

}  // namespace brindle::index
