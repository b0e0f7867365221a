#pragma once
// What the reader suites share: a document placed under either index builder, one read as a
// value, and a read tree written out as a short string that expectations can spell.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "reader/read_error.hpp"
#include "reader/read_pipeline.hpp"
#include "reader/stream/stream_parser.hpp"
#include "reader/tree/read_tree.hpp"

namespace brindle::reader::testing {

// The pieces one after another (appending sidesteps g++ 12's false -Wrestrict warning on
// "literal" + std::string).
template <class... Pieces>
std::string join(const Pieces&... pieces)
{
    std::string out;
    (out.append(pieces), ...);
    return out;
}

enum class Builder { Direct, QuoteDense };

inline const auto kBothBuilders = ::testing::Values(Builder::Direct, Builder::QuoteDense);

inline std::string builder_name(const ::testing::TestParamInfo<Builder>& info)
{
    return info.param == Builder::Direct ? "Direct" : "QuoteDense";
}

// The reader's choice of builder (more than five '"' per '<' in the first 4096 bytes).
inline bool takes_quote_dense(std::string_view document)
{
    const std::string_view sample = document.substr(0, 4096);
    const auto less_than = std::max<std::ptrdiff_t>(std::count(sample.begin(), sample.end(), '<'), 1);
    return static_cast<double>(std::count(sample.begin(), sample.end(), '"')) / static_cast<double>(less_than) > 5.0;
}

// The document as the given builder will read it: a leading comment of many double quotes sends
// it to the quote-dense builder. Every byte after the prefix moves by `shift`.
struct Placed {
    std::string document;
    std::uint64_t shift;
};

inline Placed in_builder(std::string_view document, Builder builder)
{
    const std::string prefix = builder == Builder::QuoteDense ? join("<!--", std::string(4000, '"'), "-->") : "";
    Placed placed{join(prefix, document), prefix.size()};
    EXPECT_EQ(takes_quote_dense(placed.document), builder == Builder::QuoteDense) << "goes to the other builder";
    return placed;
}

// One call of the reader; `document` and `root_tag` are kept so the error's names stay valid.
struct Read {
    std::string document;
    std::string root_tag;
    ReadTree tree;
    ReadError error;
    bool ok = false;

    Read(std::string document_in, std::string root_tag_in)
        : document(std::move(document_in)), root_tag(std::move(root_tag_in))
    {
        ok = parse_document(document, root_tag, tree, error);
    }
};

// Element i of a read tree and all it holds, as  name{k=v,...}"text"(child,child)  with the
// parts left out that the element lacks.
inline std::string describe(ReadTree& tree, std::string_view document, std::size_t& i)
{
    const ReadElement element = tree[i];
    std::string out(document.substr(element.name_start, element.name_length));
    if (element.attributes != ReadElement::kNoAttributes) {
        const char* separator = "{";
        for (const auto& [key, value] : tree.attributes(element.attributes)) {
            out += join(separator, key, "=", value);
            separator = ",";
        }
        out += "}";
    }
    if (!element.text.absent()) out += join("\"", tree.text_of(element.text, document), "\"");
    for (std::size_t child = 0; child < element.child_count; ++child) {
        out += child == 0 ? "(" : ",";
        out += describe(tree, document, ++i);
    }
    if (element.child_count != 0) out += ")";
    return out;
}

inline std::string describe(Read& read)
{
    std::size_t root = 0;
    return read.ok ? describe(read.tree, read.document, root) : "<failed>";
}

}  // namespace brindle::reader::testing

namespace brindle::reader {

// Beside ReadError, so that the assertions find it.
inline std::ostream& operator<<(std::ostream& os, const ReadError& e)
{
    return os << "{kind " << static_cast<int>(e.kind) << " message " << static_cast<int>(e.message) << " at "
              << e.offset << " '" << e.name << "' '" << e.second_name << "'}";
}

// Feeds `document` to `parser` a room at a time, as a stream would, until the parser needs no
// more input (Finished or Failed), or until `stop()` says so after a parse (NeedInput then): a
// sink's own failure, say.
template <class Stop>
StreamStep stream_whole(StreamParser& parser, std::string_view document, ReadError& error, Stop&& stop)
{
    std::size_t next = 0;
    while (true) {
        const std::span<char> room = parser.room();
        const std::size_t count = std::min(room.size(), document.size() - next);
        std::copy_n(document.data() + next, count, room.data());
        next += count;
        parser.commit(count);
        if (count < room.size()) parser.end();
        const StreamStep step = parser.parse(error);
        if (step != StreamStep::NeedInput || stop()) return step;
    }
}

inline StreamStep stream_whole(StreamParser& parser, std::string_view document, ReadError& error)
{
    return stream_whole(parser, document, error, [] { return false; });
}

}  // namespace brindle::reader
