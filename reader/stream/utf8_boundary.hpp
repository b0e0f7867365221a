// Where a stream's bytes may be cut so that UTF-8 checks see whole characters, and where the
// first fault of a stretch that fails the check lies.
#pragma once

#include <cstddef>
#include <string_view>

namespace brindle::reader {

// The length of `bytes` less a character that starts in its last three bytes and needs more
// bytes than are left: what a buffer of a stream that goes on can check now.
std::size_t whole_characters(std::string_view bytes) noexcept;

// The length of the longest prefix of `bytes` that is well-formed UTF-8 (what the kernels'
// check accepts). Scalar: for the stretch where that check failed.
std::size_t valid_utf8_prefix(std::string_view bytes) noexcept;

}  // namespace brindle::reader
