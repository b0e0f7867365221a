// The table extractor against documents streamed at every small buffer size: each cell, list,
// string() value and conversion fault, read back from the Arrow batches it hands out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "reader/stream/stream_parser.hpp"
#include "reader/tests/reader_test_support.hpp"
#include "table/column_path.hpp"
#include "table/record_extractor.hpp"
#include "table/schema_sampler.hpp"

namespace brindle::table {
namespace {

using reader::ReadError;
using reader::stream_whole;
using reader::StreamParser;
using reader::StreamStep;

ColumnSpec column(const std::string& name, std::string_view path, ColumnType type = ColumnType::Str)
{
    ColumnSpec spec{name, {}, type};
    EXPECT_FALSE(parse_column_path(path, spec.path).has_value()) << path;
    return spec;
}

// One cell as text: "null", the value, or a list as [a|b].
std::string cell(const ArrowArray& array, ColumnType type, std::int64_t i)
{
    if (array.null_count != 0) {
        const auto* bits = static_cast<const std::uint8_t*>(array.buffers[0]);
        if ((bits[i / 8] >> (i % 8) & 1) == 0) return "null";
    }
    switch (type) {
    case ColumnType::Str: {
        const auto* offsets = static_cast<const std::int64_t*>(array.buffers[1]);
        return std::string(static_cast<const char*>(array.buffers[2]) + offsets[i],
                           static_cast<std::size_t>(offsets[i + 1] - offsets[i]));
    }
    case ColumnType::Int64: return std::to_string(static_cast<const std::int64_t*>(array.buffers[1])[i]);
    case ColumnType::Float64: return std::to_string(static_cast<const double*>(array.buffers[1])[i]);
    default: return (static_cast<const std::uint8_t*>(array.buffers[1])[i / 8] >> (i % 8) & 1) ? "true" : "false";
    }
}

struct Extracted {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::int64_t> batch_lengths;
    StreamStep step = StreamStep::NeedInput;
    bool failed = false;
    ConversionFault fault;
};

Extracted extract(std::string_view document, std::string_view tag, const std::vector<ColumnSpec>& columns,
                  std::size_t buffer_size, std::size_t batch_rows = 3)
{
    RecordExtractor extractor(columns, batch_rows);
    StreamParser parser(tag, extractor, buffer_size);
    extractor.watch(parser);
    Extracted out;
    ReadError error;
    out.step = stream_whole(parser, document, error, [&] { return extractor.failed(); });
    EXPECT_EQ(extractor.flush(), NANOARROW_OK);
    while (extractor.has_batch()) {
        ArrowArray batch;
        extractor.take_batch(&batch);
        out.batch_lengths.push_back(batch.length);
        for (std::int64_t r = 0; r < batch.length; ++r) {
            std::vector<std::string> row;
            for (std::size_t c = 0; c < columns.size(); ++c) {
                const ArrowArray& child = *batch.children[c];
                if (!columns[c].path.every) {
                    row.push_back(cell(child, columns[c].type, r));
                    continue;
                }
                const auto* offsets = static_cast<const std::int64_t*>(child.buffers[1]);
                std::string list = "[";
                for (std::int64_t v = offsets[r]; v < offsets[r + 1]; ++v) {
                    if (v != offsets[r]) list += '|';
                    list += cell(*child.children[0], columns[c].type, v);
                }
                row.push_back(list + "]");
            }
            out.rows.push_back(row);
        }
        batch.release(&batch);
    }
    out.failed = extractor.failed();
    if (out.failed) out.fault = extractor.fault();
    return out;
}

constexpr std::string_view kPapers =
    "<?xml version='1.0'?><set><skip><paper id='x'/></skip>"
    "<paper id='1' n='7'> <title>An <i>inline</i> &amp; <b>bold<sup>2</sup></b> end </title>"
    "<date><year>2020</year><year>1999</year></date><date><year>2001</year></date>"
    "<authors><a k='p'><last>Ng</last></a><a><last>Li</last><last>Lo</last></a></authors>"
    "<authors><a k='q'><last>Wu</last></a></authors><ok>true</ok><![CDATA[<raw>]]></paper>"
    "<paper id='2'><title/><date><month>3</month></date><date><year>2002</year></date><ok>0</ok></paper>"
    "<paper n='-12'>  <title>  spaced  </title>\n</paper>"
    "<paper id='4'><paper id='inner'/><title>t&#x41;</title></paper></set>";

TEST(RecordExtractor, EveryPathKindAtEveryBufferSize)
{
    const std::vector<ColumnSpec> columns = {
        column("id", "@id"),
        column("n", "@n", ColumnType::Int64),
        column("title", "title"),
        column("title_all", "title/string()"),
        column("year", "date/year", ColumnType::Int64),
        column("first_key", "authors/a/@k"),
        column("lasts", "authors/a/last[*]"),
        column("keys", "authors/a/@k[*]"),
        column("ok", "ok", ColumnType::Bool),
        column("all", "string()"),
    };
    const std::vector<std::vector<std::string>> expected = {
        {"x", "null", "null", "null", "null", "null", "[]", "[]", "null", ""},  // a record at any depth
        {"1", "7", "An  &  end", "An inline & bold2 end ", "2020", "p", "[Ng|Li|Lo|Wu]", "[p|q]", "true",
         " An inline & bold2 end 20201999200"
         "1NgLiLoWutrue<raw>"},
        {"2", "null", "null", "", "null", "null", "[]", "[]", "false",
         "32002"
         "0"},
        {"null", "-12", "spaced", "  spaced  ", "null", "null", "[]", "[]", "null", "    spaced  \n"},
        {"4", "null", "tA", "tA", "null", "null", "[]", "[]", "null", "tA"},
    };
    for (std::size_t buffer_size = 1; buffer_size <= 64; ++buffer_size) {
        const Extracted got = extract(kPapers, "paper", columns, buffer_size);
        ASSERT_EQ(got.step, StreamStep::Finished) << buffer_size;
        EXPECT_FALSE(got.failed);
        EXPECT_EQ(got.rows, expected) << "buffer size " << buffer_size;
        EXPECT_EQ(got.batch_lengths, (std::vector<std::int64_t>{3, 2})) << buffer_size;
    }
}

TEST(RecordExtractor, ConversionFaultNamesRecordColumnValueAfterEarlierRows)
{
    const std::string document = "<r><p v='1'/><p v='2'/><p v='+3'/><p v='4'/><p v=' x5'/><p v='6'/></r>";
    const std::vector<ColumnSpec> columns = {column("v", "@v", ColumnType::Int64)};
    for (std::size_t buffer_size : {1, 5, 16, 64, 4096}) {
        const Extracted got = extract(document, "p", columns, buffer_size);
        ASSERT_TRUE(got.failed) << buffer_size;
        EXPECT_EQ(got.fault.record_offset, document.find("<p v=' x5'/>")) << buffer_size;
        EXPECT_EQ(got.fault.column, 0u);
        EXPECT_EQ(got.fault.value, " x5");
        EXPECT_EQ(got.rows, (std::vector<std::vector<std::string>>{{"1"}, {"2"}, {"3"}, {"4"}})) << buffer_size;
    }
}

TEST(RecordExtractor, TypesConvertTheirAcceptedForms)
{
    const std::string document =
        "<r><p><i>-9223372036854775808</i><f>1e3</f><b>1</b></p><p><i> 42 </i><f>-0.5</f><b>false</b></p>"
        "<p><i></i><f>inf</f><b/></p></r>";
    const std::vector<ColumnSpec> columns = {column("i", "i", ColumnType::Int64), column("f", "f", ColumnType::Float64),
                                             column("b", "b", ColumnType::Bool)};
    const Extracted got = extract(document, "p", columns, 7);
    EXPECT_FALSE(got.failed);
    EXPECT_EQ(got.rows, (std::vector<std::vector<std::string>>{{"-9223372036854775808", "1000.000000", "true"},
                                                               {"42", "-0.500000", "false"},
                                                               {"null", "inf", "null"}}));
    for (const char* bad : {"<i>9223372036854775808</i>", "<i>1.5</i>", "<f>1,5</f>", "<b>yes</b>", "<b>True</b>"}) {
        const Extracted fault = extract(std::string("<r><p>") + bad + "</p></r>", "p", columns, 64);
        EXPECT_TRUE(fault.failed) << bad;
    }
}

TEST(ColumnPath, AcceptsTheSubsetAndNamesWhatItRefuses)
{
    struct Accepted {
        std::string_view text;
        std::vector<std::string> steps;
        PathTarget target;
        std::string attribute;
        bool every;
    };
    const Accepted accepted[] = {
        {"@id", {}, PathTarget::Attribute, "id", false},
        {"A/B", {"A", "B"}, PathTarget::Text, "", false},
        {"A/@a", {"A"}, PathTarget::Attribute, "a", false},
        {"A/B/C[*]", {"A", "B", "C"}, PathTarget::Text, "", true},
        {"mml:math/string()", {"mml:math"}, PathTarget::StringValue, "", false},
        {"string()", {}, PathTarget::StringValue, "", false},
    };
    for (const Accepted& want : accepted) {
        ColumnPath path;
        ASSERT_FALSE(parse_column_path(want.text, path).has_value()) << want.text;
        EXPECT_EQ(path.steps, want.steps) << want.text;
        EXPECT_EQ(path.target, want.target) << want.text;
        EXPECT_EQ(path.attribute, want.attribute) << want.text;
        EXPECT_EQ(path.every, want.every) << want.text;
    }
    const std::pair<std::string_view, std::string_view> refused[] = {
        {"", ""},
        {"/A", "/"},
        {"A//B", "/"},
        {"A/", "/"},
        {"A[1]", "A[1]"},
        {"@a/B", "@a"},
        {"A/text()", "text()"},
        {"..", ".."},
        {"@", "@"},
        {"[*]", "[*]"},
        {"@a[*]", "[*]"},
        {"A/*", "*"},
        {"string()/A", "string()"},
        {"A[*]/B", "A[*]"},
    };
    for (const auto& [text, part] : refused) {
        ColumnPath path;
        const auto fault = parse_column_path(text, path);
        ASSERT_TRUE(fault.has_value()) << text;
        EXPECT_EQ(fault->part, part) << text;
    }
}

TEST(SchemaSampler, AttributesAndChildlessChildrenTypedByTheSampleAlone)
{
    const std::string document = "<r><p id='1' f='1.5'><a>1</a><b>x</b><n><m/></n><e/></p>"
                                 "<p id='2' f='2' t='true'><a></a><b>2</b><c>0</c></p>"
                                 "<p id='3' late='only after the sample'><a>x</a></p></r>";
    for (std::size_t buffer_size : {1, 7, 64, 4096}) {
        SchemaSampler sampler(2);
        StreamParser parser("p", sampler, buffer_size);
        ReadError error;
        ASSERT_EQ(stream_whole(parser, document, error), StreamStep::Finished);
        EXPECT_TRUE(sampler.full());
        std::vector<std::pair<std::string, ColumnType>> got;
        for (const ColumnSpec& spec : sampler.columns()) got.emplace_back(spec.name, spec.type);
        EXPECT_EQ(got, (std::vector<std::pair<std::string, ColumnType>>{{"@id", ColumnType::Int64},
                                                                        {"@f", ColumnType::Float64},
                                                                        {"a", ColumnType::Int64},
                                                                        {"b", ColumnType::Str},
                                                                        {"e", ColumnType::Str},
                                                                        {"@t", ColumnType::Bool},
                                                                        {"c", ColumnType::Int64}}))
            << buffer_size;
    }
}

}  // namespace
}  // namespace brindle::table
