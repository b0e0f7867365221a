// The writer's searches sixteen bytes at a time, for the tables of every x86 level (a wider
// search would gain little: most strings end within a block or two). Compiled for the baseline
// instruction set like the writer, which inlines the same header's short checks.
//
// A build that leaves the SSE2 code paths out (as a test of what other processors run) gets the
// scalar searches here.

#include "kernels/sse2/escape_scan_kernels.hpp"

#include "kernels/scalar/escape_scan.hpp"
#include "kernels/sse2/escape_scan.hpp"

namespace brindle::kernels::sse2 {

#if defined(__SSE2__)
const char* find_escapable_text(const char* begin, const char* at, const char* end) noexcept
{
    return find_escapable<EscapeMode::CharacterData>(begin, at, end);
}

const char* find_escapable_attribute(const char* begin, const char* at, const char* end) noexcept
{
    return find_escapable<EscapeMode::AttributeValue>(begin, at, end);
}

const char* find_suspect(const char* at, const char* end) noexcept { return find_suspect_byte(at, end); }
#else
const char* find_escapable_text(const char*, const char* at, const char* end) noexcept
{
    return scalar::find_escapable<EscapeMode::CharacterData>(at, end);
}

const char* find_escapable_attribute(const char*, const char* at, const char* end) noexcept
{
    return scalar::find_escapable<EscapeMode::AttributeValue>(at, end);
}

const char* find_suspect(const char* at, const char* end) noexcept { return scalar::find_suspect_byte(at, end); }
#endif

}  // namespace brindle::kernels::sse2
