#include "reader/read_error.hpp"

namespace brindle::reader {

bool fail_malformed(ReadError& error, std::uint64_t offset, MalformedMessage message, std::string_view name,
                    std::string_view second_name) noexcept
{
    error = ReadError{ReadErrorKind::Malformed, message, offset, name, second_name};
    return false;
}

bool fail_read(ReadError& error, ReadErrorKind kind, std::uint64_t offset, std::string_view name) noexcept
{
    error = ReadError{kind, MalformedMessage::UnexpectedEnd, offset, name, {}};
    return false;
}

}  // namespace brindle::reader
