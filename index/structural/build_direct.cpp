// The direct builder: the shared tag scan, answering malformed markup the way a scan that
// never looks back must.

#include <cstddef>
#include <string_view>

#include "index/structural/dialects.hpp"
#include "index/structural/structural_index.hpp"
#include "index/structural/tag_scanner.hpp"

namespace brindle::index {
BuildResult build_direct(std::string_view document, StructuralIndex& out) noexcept
{
    return detail::build_whole<detail::kDirectDialect>(document, out);
}

}  // namespace brindle::index
