// The reader core over a stream: an arbitrary document read a buffer at a time.
//
// The first input byte chooses a buffer size from 1 to 64 bytes and the record tag; the rest
// is the stream, valid UTF-8 or not. Whatever the input, the read ends (records, then
// Finished or one error), with no crash, hang or sanitizer report, and the buffer size shows
// nowhere: the records handed over and the error (kind, offset, names) are those of the same
// stream read in one buffer.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/expect.hpp"
#include "reader/stream/stream_parser.hpp"

namespace brindle::fuzz {
namespace {

// Every record as the events its elements made, copied out of the buffer.
class EventLog final : public reader::TreeSink, public reader::RecordSinks {
public:
    void open_element(std::string_view name, reader::AttrMap& attributes) override
    {
        pending_ += "<";
        pending_ += name;
        for (const auto& [key, value] : attributes) {
            pending_ += " ";
            pending_ += key;
            pending_ += "=";
            pending_ += value;
        }
    }
    void close_element(std::string_view text) override
    {
        pending_ += "|";
        pending_ += text;
        pending_ += ">";
    }
    TreeSink& start_record() override
    {
        pending_.clear();
        return *this;
    }
    void end_record() override { log += pending_ + "\n"; }
    void abandon_record() noexcept override { pending_.clear(); }

    std::string log;

private:
    std::string pending_;
};

struct Outcome {
    std::string records;
    std::string error;  // kind, message, offset and names; empty when the stream was fine
};

Outcome stream(std::string_view document, std::string_view tag, std::size_t buffer_size)
{
    EventLog sink;
    reader::StreamParser parser(tag, sink, buffer_size);
    std::size_t next = 0;
    reader::ReadError error;
    for (std::size_t steps = 0;; ++steps) {
        EXPECT(steps <= 2 * document.size() + 8, "every step takes in bytes or ends the stream");
        const std::span<char> room = parser.room();
        EXPECT(!room.empty(), "small streams always find room");
        const std::size_t count = std::min(room.size(), document.size() - next);
        std::copy_n(document.data() + next, count, room.data());
        next += count;
        parser.commit(count);
        if (count < room.size()) parser.end();
        const reader::StreamStep step = parser.parse(error);
        if (step == reader::StreamStep::NeedInput) continue;
        Outcome outcome{sink.log, {}};
        if (step == reader::StreamStep::Failed) {
            EXPECT(error.failed() && error.offset <= document.size(), "an error lies in the stream");
            outcome.error = std::to_string(static_cast<int>(error.kind)) + " " +
                            std::to_string(static_cast<int>(error.message)) + " " + std::to_string(error.offset) + " " +
                            std::string(error.name) + " " + std::string(error.second_name);
        }
        return outcome;
    }
}

}  // namespace
}  // namespace brindle::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static constexpr std::array<std::string_view, 4> kTags{"a", "b", "item", ""};
    if (size == 0) return 0;
    const std::size_t buffer_size = 1 + (data[0] & 63);
    const std::string_view tag = kTags[data[0] >> 6];
    const std::string_view document(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto small = brindle::fuzz::stream(document, tag, buffer_size);
    const auto whole = brindle::fuzz::stream(document, tag, document.size() + 1);
    EXPECT(small.records == whole.records, "the records do not depend on the buffer size");
    EXPECT(small.error == whole.error, "the error does not depend on the buffer size");
    return 0;
}
