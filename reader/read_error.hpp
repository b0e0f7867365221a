// How a read fails, as a value: the kind, the byte offset and the names its message needs.
// The reader core never throws: a step that fails fills the caller's ReadError slot and
// returns false (or WalkStep::Failed), and every caller passes that on at once. Only the
// read entry point (src/read/read_errors.hpp) turns the value into text and an exception.
//
// Names are views into the document or into root_tag, valid while those are.
#pragma once

#include <cstdint>
#include <string_view>

namespace brindle::reader {

enum class ReadErrorKind : std::uint8_t {
    None,           // no failure
    UnclosedTag,    // IndexFailure: the index found no end for the tag whose '<' is at offset
    Malformed,      // `message` says which; offset as listed there
    RootNotFound,   // name: root_tag
    NeverClosed,    // name: the innermost element still open at the end of the document
    UnknownEntity,  // name: the text between '&' and ';'; offset: the '&'
    OutOfMemory,    // an allocation failed; offset and names unset
    InvalidUtf8,    // a stream's bytes are not UTF-8 from offset on
};

// The fixed messages of a Malformed error, with what names the message shows and where its
// offset points.
enum class MalformedMessage : std::uint8_t {
    UnexpectedEnd,            // the direct builder ran out of document; offset: document length
    UnterminatedMarkup,       // the tag's '<'
    UnterminatedComment,      // the comment's '<'
    UnterminatedCData,        // the section's '<'
    UnterminatedInstruction,  // the instruction's '<'
    MalformedEndTag,          // name: the end tag's; offset: its '<'
    UnexpectedEndTag,         // name: the end tag's; offset: its '<'
    MismatchedEndTag,         // name: the open element's, second_name: the end tag's; its '<'
    ExpectedElementName,      // the '<'
    ExpectedWhitespace,       // first byte of the attribute
    ExpectedAttributeName,    // where the name should begin
    AttributeWithoutValue,    // name: the attribute's; its first byte
    UnquotedValue,            // name: the attribute's; first byte after '=' and white space
    UnterminatedValue,        // byte after the opening quote
    LessThanInValue,          // the '<' inside the value
    DuplicateAttribute,       // name: the attribute's; first byte of the repeated name
    UnexpectedLessThan,       // the '<' inside character data
    UnterminatedEntity,       // the '&'
    InvalidCharReference,     // name: the text between '&' and ';'; the '&'
};

struct ReadError {
    ReadErrorKind kind = ReadErrorKind::None;
    MalformedMessage message = MalformedMessage::UnexpectedEnd;  // Malformed only
    std::uint64_t offset = 0;
    std::string_view name;
    std::string_view second_name;

    bool failed() const noexcept { return kind != ReadErrorKind::None; }
};

// Fill `error` and return false, so that a failing step ends in `return fail_...(...)`.
// Out of line and cold: the paths that call them are laid out away from the hot ones.
[[gnu::cold]] bool fail_malformed(ReadError& error, std::uint64_t offset, MalformedMessage message,
                                  std::string_view name = {}, std::string_view second_name = {}) noexcept;
[[gnu::cold]] bool fail_read(ReadError& error, ReadErrorKind kind, std::uint64_t offset,
                             std::string_view name = {}) noexcept;

}  // namespace brindle::reader
