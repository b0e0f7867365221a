// Where a stream's walk puts the elements it collects: each record (an element named as the
// stream's tag and not inside another) gets a sink of its own.
#pragma once

#include <string_view>

#include "reader/tree/tree_sink.hpp"

namespace brindle::reader {

class RecordSinks {
public:
    // The sink for the next record, which the walk opens in it next. May throw std::bad_alloc.
    virtual TreeSink& start_record() = 0;
    // The sink start_record gave holds the whole record. May throw std::bad_alloc.
    virtual void end_record() = 0;
    // The record in progress is dropped: the stream walks it again from its start tag once more
    // bytes have come, or has failed.
    virtual void abandon_record() noexcept = 0;
    // Whether the records' sinks are told each piece of character data as it comes
    // (TreeSink::character_data); asked once, before the first record.
    virtual bool wants_character_data() const noexcept { return false; }

protected:
    ~RecordSinks() = default;
};

// The one sink the walk sees: passes each record's elements to that record's own sink.
class RecordForwarder final : public TreeSink {
public:
    explicit RecordForwarder(RecordSinks& sinks) noexcept : sinks_(sinks) {}

    void open_element(std::string_view name, AttrMap& attributes) override
    {
        if (depth_ == 0) record_ = &sinks_.start_record();
        ++depth_;
        record_->open_element(name, attributes);
    }

    void close_element(std::string_view text) override
    {
        record_->close_element(text);
        if (--depth_ == 0) sinks_.end_record();
    }

    // Only ever inside a record.
    void add_leaf(std::string_view name, AttrMap& attributes, std::string_view text) override
    {
        record_->add_leaf(name, attributes, text);
    }

    void character_data(std::string_view piece) override { record_->character_data(piece); }

    bool wants_character_data() const noexcept { return sinks_.wants_character_data(); }

    void abandon() noexcept
    {
        if (depth_ == 0) return;
        depth_ = 0;
        sinks_.abandon_record();
    }

private:
    RecordSinks& sinks_;
    TreeSink* record_ = nullptr;
    std::size_t depth_ = 0;  // of the record's open elements
};

}  // namespace brindle::reader
