#include "read/read_errors.hpp"

#include <new>
#include <string>
#include <string_view>

#include "ffi/errors.hpp"

namespace brindle::read {

using namespace ffi;

namespace {

using reader::MalformedMessage;
using reader::ReadError;
using reader::ReadErrorKind;

// Joins the pieces of a message; cold, so it may allocate freely.
template <class... Pieces>
std::string join(const Pieces&... pieces)
{
    std::string text;
    (text.append(pieces), ...);
    return text;
}

// The message of a Malformed error, after "malformed XML at byte {offset}: ".
std::string malformed_text(const ReadError& error)
{
    const std::string_view name = error.name;
    switch (error.message) {
    case MalformedMessage::UnexpectedEnd: return "unexpected end of document";
    case MalformedMessage::UnterminatedMarkup: return "unterminated markup";
    case MalformedMessage::UnterminatedComment: return "unterminated comment";
    case MalformedMessage::UnterminatedCData: return "unterminated CDATA section";
    case MalformedMessage::UnterminatedInstruction: return "unterminated processing instruction";
    case MalformedMessage::MalformedEndTag: return join("malformed end tag </", name, ">");
    case MalformedMessage::UnexpectedEndTag: return join("unexpected end tag </", name, ">");
    case MalformedMessage::MismatchedEndTag: return join("expected </", name, ">, found </", error.second_name, ">");
    case MalformedMessage::ExpectedElementName: return "expected element name after '<'";
    case MalformedMessage::ExpectedWhitespace: return "expected whitespace before attribute";
    case MalformedMessage::ExpectedAttributeName: return "expected attribute name";
    case MalformedMessage::AttributeWithoutValue: return join("attribute '", name, "' has no value");
    case MalformedMessage::UnquotedValue: return join("value of attribute '", name, "' is not quoted");
    case MalformedMessage::UnterminatedValue: return "unterminated attribute value";
    case MalformedMessage::LessThanInValue: return "'<' is not allowed in attribute values";
    case MalformedMessage::DuplicateAttribute: return join("duplicate attribute '", name, "'");
    case MalformedMessage::UnexpectedLessThan: return "unexpected '<'";
    case MalformedMessage::UnterminatedEntity: return "unterminated entity reference";
    case MalformedMessage::InvalidCharReference: return join("invalid character reference '&", name, ";'");
    }
    throw_internal("unknown kind of malformed XML");
}

std::string message_of(const ReadError& error)
{
    const std::string offset = std::to_string(error.offset);
    switch (error.kind) {
    case ReadErrorKind::UnclosedTag: return join("malformed XML: Unclosed tag at byte ", offset);
    case ReadErrorKind::Malformed: return join("malformed XML at byte ", offset, ": ", malformed_text(error));
    case ReadErrorKind::RootNotFound: return join("root tag <", error.name, "> not found in document");
    case ReadErrorKind::NeverClosed: return join("unexpected end of document: <", error.name, "> is never closed");
    case ReadErrorKind::UnknownEntity: return join("unknown entity reference '&", error.name, ";' at byte ", offset);
    case ReadErrorKind::None:
    case ReadErrorKind::OutOfMemory:
    case ReadErrorKind::InvalidUtf8: break;
    }
    throw_internal("read error without a message");
}

}  // namespace

void throw_read_error(const ReadError& error)
{
    if (error.kind == ReadErrorKind::OutOfMemory) throw std::bad_alloc();
    if (error.kind == ReadErrorKind::InvalidUtf8) throw_io_error("stream did not contain valid UTF-8");
    throw_error(PyExc_ValueError, message_of(error));
}

}  // namespace brindle::read
