// Every way a read can fail, with its exact message. Each helper throws a PendingError
// (ValueError), so it may be called while the interpreter lock is released. The texts are
// built here, off the hot path, and nowhere else.
#pragma once

#include <cstdint>
#include <string_view>

namespace brindle::read {

// The index could not find the end of the tag whose '<' is at `offset`.
[[noreturn]] void fail_unclosed_tag(std::uint64_t offset);

// A markup error at a byte of the document: "malformed XML at byte {offset}: {message}".
[[noreturn]] void fail_malformed(std::uint64_t offset, std::string_view message);

// The forms of fail_malformed whose message names something.
[[noreturn]] void fail_malformed_end_tag(std::uint64_t offset, std::string_view name);
[[noreturn]] void fail_unexpected_end_tag(std::uint64_t offset, std::string_view name);
[[noreturn]] void fail_mismatched_end_tag(std::uint64_t offset, std::string_view open_name,
                                          std::string_view end_name);
[[noreturn]] void fail_attribute_without_value(std::uint64_t offset, std::string_view name);
[[noreturn]] void fail_unquoted_value(std::uint64_t offset, std::string_view name);
[[noreturn]] void fail_duplicate_attribute(std::uint64_t offset, std::string_view name);
[[noreturn]] void fail_invalid_char_reference(std::uint64_t offset, std::string_view name);

[[noreturn]] void fail_unknown_entity(std::uint64_t offset, std::string_view name);
[[noreturn]] void fail_root_not_found(std::string_view root_tag);
[[noreturn]] void fail_never_closed(std::string_view name);

// The fixed messages of fail_malformed.
namespace message {
inline constexpr std::string_view kUnexpectedEnd = "unexpected end of document";
inline constexpr std::string_view kUnterminatedMarkup = "unterminated markup";
inline constexpr std::string_view kUnterminatedComment = "unterminated comment";
inline constexpr std::string_view kUnterminatedCData = "unterminated CDATA section";
inline constexpr std::string_view kUnterminatedInstruction = "unterminated processing instruction";
inline constexpr std::string_view kExpectedElementName = "expected element name after '<'";
inline constexpr std::string_view kExpectedWhitespace = "expected whitespace before attribute";
inline constexpr std::string_view kExpectedAttributeName = "expected attribute name";
inline constexpr std::string_view kUnterminatedValue = "unterminated attribute value";
inline constexpr std::string_view kLessThanInValue = "'<' is not allowed in attribute values";
inline constexpr std::string_view kUnexpectedLessThan = "unexpected '<'";
inline constexpr std::string_view kUnterminatedEntity = "unterminated entity reference";
}  // namespace message

}  // namespace brindle::read
