#include "table/column_values.hpp"

#include <charconv>
#include <cstring>
#include <new>
#include <string>

namespace brindle::table {

namespace {

void check(ArrowErrorCode code)
{
    if (code != NANOARROW_OK) throw std::bad_alloc();
}

std::string_view trim_ascii_space(std::string_view text) noexcept
{
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

// A leading '+' is taken as well as a '-', as Python's int() and float() take it.
std::string_view without_plus(std::string_view text) noexcept
{
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
    return text;
}

template <class Number>
bool parse_number(std::string_view text, Number& value) noexcept
{
    const char* const end = text.data() + text.size();
    const auto [stop, fault] = std::from_chars(text.data(), end, value);
    return fault == std::errc() && stop == end;
}

ArrowType arrow_type(ColumnType type) noexcept
{
    switch (type) {
    case ColumnType::Int64: return NANOARROW_TYPE_INT64;
    case ColumnType::Float64: return NANOARROW_TYPE_DOUBLE;
    case ColumnType::Bool: return NANOARROW_TYPE_BOOL;
    default: return NANOARROW_TYPE_LARGE_STRING;
    }
}

// A bitmap of `count` bits from one byte per bit, into `buffer` (which it replaces).
ArrowErrorCode bits_from_bytes(const ArrowBuffer& bytes, std::int64_t count, ArrowBitmap& bitmap)
{
    ArrowBitmapInit(&bitmap);
    const ArrowErrorCode code = ArrowBitmapReserve(&bitmap, count);
    if (code != NANOARROW_OK) return code;
    ArrowBitmapAppendInt8Unsafe(&bitmap, reinterpret_cast<const std::int8_t*>(bytes.data), count);
    return NANOARROW_OK;
}

}  // namespace

ColumnValues::ColumnValues(ColumnType type, bool list) : type_(type), list_(list)
{
    ArrowBufferInit(&valid_);
    ArrowBufferInit(&offsets_);
    ArrowBufferInit(&data_);
    ArrowBufferInit(&list_offsets_);
    try {
        start_batch();
    } catch (...) {
        reset();
        throw;
    }
}

ColumnValues::ColumnValues(ColumnValues&& other) noexcept
    : type_(other.type_), list_(other.list_), values_(other.values_), nulls_(other.nulls_), rows_(other.rows_)
{
    ArrowBufferMove(&other.valid_, &valid_);
    ArrowBufferMove(&other.offsets_, &offsets_);
    ArrowBufferMove(&other.data_, &data_);
    ArrowBufferMove(&other.list_offsets_, &list_offsets_);
}

ColumnValues::~ColumnValues() { reset(); }

void ColumnValues::reset() noexcept
{
    ArrowBufferReset(&valid_);
    ArrowBufferReset(&offsets_);
    ArrowBufferReset(&data_);
    ArrowBufferReset(&list_offsets_);
}

void ColumnValues::start_batch()
{
    values_ = nulls_ = rows_ = 0;
    if (type_ == ColumnType::Str) check(ArrowBufferAppendInt64(&offsets_, 0));
    if (list_) check(ArrowBufferAppendInt64(&list_offsets_, 0));
}

void ColumnValues::append_valid(bool valid)
{
    check(ArrowBufferAppendUInt8(&valid_, valid ? 1 : 0));
    ++values_;
    nulls_ += !valid;
}

bool ColumnValues::append(std::string_view text)
{
    if (type_ == ColumnType::Str) {
        check(ArrowBufferAppend(&data_, text.data(), static_cast<std::int64_t>(text.size())));
        check(ArrowBufferAppendInt64(&offsets_, data_.size_bytes));
        append_valid(true);
        return true;
    }
    text = trim_ascii_space(text);
    if (text.empty()) {
        append_null();
        return true;
    }
    switch (type_) {
    case ColumnType::Int64: {
        std::int64_t value = 0;
        if (!parse_number(without_plus(text), value)) return false;
        check(ArrowBufferAppendInt64(&data_, value));
        break;
    }
    case ColumnType::Float64: {
        double value = 0;
        if (!parse_number(without_plus(text), value)) return false;
        check(ArrowBufferAppendDouble(&data_, value));
        break;
    }
    default: {
        const bool is_true = text == "true" || text == "1";
        if (!is_true && text != "false" && text != "0") return false;
        check(ArrowBufferAppendUInt8(&data_, is_true ? 1 : 0));
        break;
    }
    }
    append_valid(true);
    return true;
}

void ColumnValues::append_null()
{
    switch (type_) {
    case ColumnType::Str: check(ArrowBufferAppendInt64(&offsets_, data_.size_bytes)); break;
    case ColumnType::Bool: check(ArrowBufferAppendUInt8(&data_, 0)); break;
    default: check(ArrowBufferAppendInt64(&data_, 0)); break;  // a double's bytes too
    }
    append_valid(false);
}

void ColumnValues::end_row()
{
    if (!list_) return;
    check(ArrowBufferAppendInt64(&list_offsets_, values_));
    ++rows_;
}

void ColumnValues::truncate(Mark mark) noexcept
{
    const auto* valid = reinterpret_cast<const std::uint8_t*>(valid_.data);
    for (std::int64_t i = mark.values; i < values_; ++i) nulls_ -= valid[i] == 0;
    values_ = mark.values;
    valid_.size_bytes = values_;
    switch (type_) {
    case ColumnType::Str: {
        offsets_.size_bytes = (values_ + 1) * 8;
        std::int64_t end = 0;
        std::memcpy(&end, offsets_.data + values_ * 8, 8);
        data_.size_bytes = end;
        break;
    }
    case ColumnType::Bool: data_.size_bytes = values_; break;
    default: data_.size_bytes = values_ * 8; break;
    }
    if (list_) {
        rows_ = mark.rows;
        list_offsets_.size_bytes = (rows_ + 1) * 8;
    }
}

ArrowErrorCode ColumnValues::move_values_into(ArrowArray* array)
{
    if (nulls_ != 0) {
        ArrowBitmap bitmap;
        NANOARROW_RETURN_NOT_OK(bits_from_bytes(valid_, values_, bitmap));
        ArrowArraySetValidityBitmap(array, &bitmap);
    }
    if (type_ == ColumnType::Bool) {
        ArrowBitmap bits;
        NANOARROW_RETURN_NOT_OK(bits_from_bytes(data_, values_, bits));
        NANOARROW_RETURN_NOT_OK(ArrowArraySetBuffer(array, 1, &bits.buffer));
    } else if (type_ == ColumnType::Str) {
        NANOARROW_RETURN_NOT_OK(ArrowArraySetBuffer(array, 1, &offsets_));
        NANOARROW_RETURN_NOT_OK(ArrowArraySetBuffer(array, 2, &data_));
    } else {
        NANOARROW_RETURN_NOT_OK(ArrowArraySetBuffer(array, 1, &data_));
    }
    array->length = values_;
    array->null_count = nulls_;
    return NANOARROW_OK;
}

ArrowErrorCode ColumnValues::move_into(ArrowArray* array)
{
    if (list_) {
        NANOARROW_RETURN_NOT_OK(move_values_into(array->children[0]));
        NANOARROW_RETURN_NOT_OK(ArrowArraySetBuffer(array, 1, &list_offsets_));
        array->length = rows_;
        array->null_count = 0;
    } else {
        NANOARROW_RETURN_NOT_OK(move_values_into(array));
    }
    // What was moved out is empty again; what stayed is emptied.
    ArrowBufferReset(&valid_);
    ArrowBufferReset(&offsets_);
    ArrowBufferReset(&data_);
    ArrowBufferReset(&list_offsets_);
    try {
        start_batch();
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
    return NANOARROW_OK;
}

ArrowErrorCode ColumnValues::describe(ArrowSchema* field, std::string_view name, ColumnType type, bool list)
{
    if (list) {
        NANOARROW_RETURN_NOT_OK(ArrowSchemaSetType(field, NANOARROW_TYPE_LARGE_LIST));
        NANOARROW_RETURN_NOT_OK(ArrowSchemaSetType(field->children[0], arrow_type(type)));
    } else {
        NANOARROW_RETURN_NOT_OK(ArrowSchemaSetType(field, arrow_type(type)));
    }
    const std::string owned(name);  // nanoarrow copies a NUL-terminated name
    return ArrowSchemaSetName(field, owned.c_str());
}

}  // namespace brindle::table
