// One column's values for the batch being built, in Arrow's layout from the start (offsets and
// bytes for strings, 8-byte values for numbers), so a finished batch moves its buffers into an
// Arrow array without copying them. A row can be taken back (a record the stream walks again,
// or one that failed) by truncating to a mark.
#pragma once

#include <cstdint>
#include <string_view>

#include "nanoarrow/nanoarrow.h"

namespace brindle::table {

enum class ColumnType : std::uint8_t { Str, Int64, Float64, Bool };

class ColumnValues {
public:
    // `list`: each row is a list of values (a [*] path), never null; else one value or null.
    ColumnValues(ColumnType type, bool list);
    ~ColumnValues();
    ColumnValues(ColumnValues&& other) noexcept;
    ColumnValues(const ColumnValues&) = delete;
    ColumnValues& operator=(const ColumnValues&) = delete;
    ColumnValues& operator=(ColumnValues&&) = delete;

    ColumnType type() const noexcept { return type_; }
    bool list() const noexcept { return list_; }

    // Appends the value `text` converts to (the empty text of a number or bool is null); false,
    // with nothing appended, when it does not convert. May throw std::bad_alloc.
    bool append(std::string_view text);
    void append_null();
    // A list column's row is complete: its list holds the values appended since the last row.
    void end_row();

    struct Mark {
        std::int64_t values;
        std::int64_t rows;
    };
    Mark mark() const noexcept { return {values_, rows_}; }
    // Takes back every value and row after the mark.
    void truncate(Mark mark) noexcept;

    // Moves the values into `array` (made from this column's field by ArrowArrayInitFromSchema)
    // and starts an empty batch. A nanoarrow error code.
    ArrowErrorCode move_into(ArrowArray* array);

    // The field of such a column (a child that ArrowSchemaSetTypeStruct made): its type, nullable, with `name`. A
    // nanoarrow error code.
    static ArrowErrorCode describe(ArrowSchema* field, std::string_view name, ColumnType type, bool list);

private:
    void reset() noexcept;
    void start_batch();
    void append_valid(bool valid);
    ArrowErrorCode move_values_into(ArrowArray* array);

    ColumnType type_;
    bool list_;
    std::int64_t values_ = 0;  // of the value array (the list's child for a list)
    std::int64_t nulls_ = 0;
    std::int64_t rows_ = 0;     // list only: rows ended
    ArrowBuffer valid_;         // one byte per value: 1, or 0 for null
    ArrowBuffer offsets_;       // Str: values_ + 1 int64 offsets into data_
    ArrowBuffer data_;          // string bytes, int64 or double values, or one byte per bool
    ArrowBuffer list_offsets_;  // list: rows_ + 1 int64 offsets into the values
};

}  // namespace brindle::table
