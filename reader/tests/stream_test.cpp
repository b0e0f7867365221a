// Property: a stream read a buffer at a time hands over exactly the outermost elements of its
// tag that a read of the whole document holds, and fails with the whole document's error, its
// offset counted from the stream's first offset, beyond 4 GiB too, wherever the buffers end.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "reader/stream/stream_parser.hpp"
#include "reader_test_support.hpp"

namespace brindle::reader {
namespace {

using testing::Builder;

// Writes each element named `tag` that no other such element holds as
// name{k=v,...}"text"(child,...), with names and texts copied out of the document.
class DescribingSink final : public TreeSink, public RecordSinks {
public:
    explicit DescribingSink(std::string tag) : tag_(std::move(tag)) {}

    void open_element(std::string_view name, AttrMap& attributes) override
    {
        std::string head(name);
        const char* separator = "{";
        for (const auto& [key, value] : attributes) {
            head += testing::join(separator, key, "=", value);
            separator = ",";
        }
        if (!attributes.empty()) head += "}";
        if (name == tag_) ++tags_open_;
        open_.push_back({std::string(name), head, {}});
    }

    void close_element(std::string_view text) override
    {
        Open element = std::move(open_.back());
        open_.pop_back();
        std::string out = element.head;
        if (!text.empty()) out += testing::join("\"", text, "\"");
        for (std::size_t i = 0; i < element.children.size(); ++i) out += (i == 0 ? "(" : ",") + element.children[i];
        if (!element.children.empty()) out += ")";
        if (element.name == tag_ && --tags_open_ == 0) records.push_back(out);
        if (!open_.empty()) open_.back().children.push_back(out);
    }

    TreeSink& start_record() override { return *this; }
    void end_record() override {}
    void abandon_record() noexcept override
    {
        open_.clear();
        tags_open_ = 0;
    }

    std::vector<std::string> records;

private:
    struct Open {
        std::string name;
        std::string head;
        std::vector<std::string> children;
    };
    std::string tag_;
    std::vector<Open> open_;
    std::size_t tags_open_ = 0;
};

struct Streamed {
    std::vector<std::string> records;
    ReadError error;
    std::string error_text;  // the error with its names, which view the parser's buffer
    bool ok;
};

// Feeds `document` to a stream parser in rooms of `buffer_size`, as the module's iterators do.
Streamed stream(std::string_view document, const std::string& tag, std::size_t buffer_size,
                std::uint64_t first_offset = 0)
{
    DescribingSink sink(tag);
    StreamParser parser(tag, sink, buffer_size, first_offset);
    Streamed out{};
    out.ok = stream_whole(parser, document, out.error) == StreamStep::Finished;
    out.error_text = ::testing::PrintToString(out.error);
    out.records = std::move(sink.records);
    return out;
}

// The whole document read at once, its document element `root`.
Streamed whole(std::string_view document, const std::string& root, const std::string& tag)
{
    DescribingSink sink(tag);
    Streamed out{};
    out.ok = parse_document(document, root, static_cast<TreeSink&>(sink), out.error);
    out.records = std::move(sink.records);
    return out;
}

const std::string kPadding = [] {
    std::string padding;
    for (int i = 0; i < 700; ++i) padding += "<pad/>";  // the builder is chosen before the markup
    return padding;
}();

const std::string kMarkup =
    "<?xml version=\"1.0\"?>\n<!DOCTYPE db [ <!ENTITY e \"x>y\"> <!-- ] > --> ]>\n<db>" + kPadding +
    "<rec id=\"1\" note=\"a &gt; b &#233;&#x4E2D;\" q='say \"hi\"'>caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80"
    "<!-- <rec> --><![CDATA[<rec>raw & ]]]]><?pi data?><rec>nested</rec> <sub a='1'/>tail &lt;</rec>\n"
    "<group><rec/><rec\tk = \"v\" >\r\n spaced \r\n</rec ></group><other>t &amp; u</other>"
    "<rec id='\xC3\xA9'>\xF0\x9F\x98\x80</rec><!--end--></db>\n<!-- after -->";

class Stream : public ::testing::TestWithParam<Builder> {};

TEST_P(Stream, RecordsAtEveryBufferSize)
{
    const testing::Placed placed = testing::in_builder(kMarkup, GetParam());
    const Streamed expected = whole(placed.document, "db", "rec");
    ASSERT_TRUE(expected.ok) << expected.error;
    ASSERT_EQ(expected.records.size(), 4U);
    for (std::size_t buffer_size = 1; buffer_size <= 300; ++buffer_size) {
        SCOPED_TRACE(buffer_size);
        const Streamed streamed = stream(placed.document, "rec", buffer_size);
        ASSERT_TRUE(streamed.ok) << streamed.error;
        EXPECT_EQ(streamed.records, expected.records);
    }
}

TEST_P(Stream, ErrorsOfTheWholeDocumentFromAnyFirstOffset)
{
    const std::string good = "<db>" + kPadding + "<rec n='1'/><rec><x>t</x></rec>";
    const char* const faults[] = {
        "<rec a=1/>", "<rec><x></rec>", "<o>&bogus;</o>", "<!-- open", "<![CDATA[ open", "<?pi open", "<rec a=\"open",
        "<rec",       "</o>",           "<rec><x>",       ""};
    const std::uint64_t beyond_4gib = (std::uint64_t{1} << 32) - 100;
    for (const char* fault : faults) {
        SCOPED_TRACE(fault);
        const testing::Placed placed = testing::in_builder(good + fault, GetParam());
        const Streamed expected = whole(placed.document, "db", "rec");
        ASSERT_FALSE(expected.ok);
        for (const std::size_t buffer_size : {1, 7, 64, 5000}) {
            const Streamed streamed = stream(placed.document, "rec", buffer_size, beyond_4gib);
            ASSERT_FALSE(streamed.ok);
            EXPECT_EQ(streamed.records.size(), 2U);
            ReadError error = expected.error;
            if (error.kind != ReadErrorKind::NeverClosed) error.offset += beyond_4gib;
            EXPECT_EQ(streamed.error_text, ::testing::PrintToString(error)) << buffer_size;
        }
    }
}

TEST_P(Stream, BytesNotUtf8FailWhereTheyStand)
{
    for (const std::string bad : {"\xFF", "\xC3", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        const testing::Placed placed = testing::in_builder("<db>" + kPadding + "<rec/><rec>" + bad + "</rec></db>",
                                                           GetParam());
        const std::uint64_t at = placed.document.find(bad);
        for (const std::size_t buffer_size : {1, 3, 100, 10000}) {
            const Streamed streamed = stream(placed.document, "rec", buffer_size, 10);
            ASSERT_FALSE(streamed.ok);
            EXPECT_EQ(streamed.records.size(), 1U);
            EXPECT_EQ(streamed.error.kind, ReadErrorKind::InvalidUtf8);
            EXPECT_EQ(streamed.error.offset, at + 10);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Builders, Stream, testing::kBothBuilders, testing::builder_name);

}  // namespace
}  // namespace brindle::reader
