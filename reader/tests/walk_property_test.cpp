// Property: over generated documents (attributes, references, CDATA sections, comments,
// processing instructions, mixed content, nesting more than a thousand deep), under either
// index builder, the walk hands a sink exactly the elements a small reference parser finds:
// the first element of the asked name with everything inside it, each with its name, its
// attributes in document order and its text (direct character data and CDATA contents,
// decoded, joined and trimmed). A sink that takes childless elements through add_leaf and one
// that leaves add_leaf to its default (open, then close) receive the same tree; a stream read a
// buffer at a time hands over the outermost elements of its tag as the whole-document walk
// holds them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "reader/read_pipeline.hpp"
#include "reader/stream/stream_parser.hpp"
#include "reader/tree/tree_sink.hpp"
#include "reader_test_support.hpp"

namespace brindle::reader {
namespace {

using testing::Builder;

// An element in document (pre-)order, its depth counted from the collected element: a list of
// these is a tree, compared without recursion at any depth.
struct Element {
    std::size_t depth;
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;

    bool operator==(const Element&) const = default;
};

using Elements = std::vector<Element>;

std::string show(const Element& e)
{
    std::string out = testing::join(std::to_string(e.depth), " <", e.name);
    for (const auto& [key, value] : e.attributes) out += testing::join(" ", key, "='", value, "'");
    return testing::join(out, "> \"", e.text, "\"");
}

// Empty when the trees are equal; otherwise where they first differ.
std::string difference(const Elements& got, const Elements& expected)
{
    const std::size_t common = std::min(got.size(), expected.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (!(got[i] == expected[i])) {
            return testing::join("element ", std::to_string(i), ": got ", show(got[i]), ", expected ",
                                 show(expected[i]));
        }
    }
    if (got.size() == expected.size()) return "";
    return testing::join(std::to_string(got.size()), " elements, expected ", std::to_string(expected.size()));
}

// ---- The reference: a plain reading of a well-formed document, character by character.

// The white space the generator writes: ASCII's, U+00A0 and U+3000.
std::string_view trim(std::string_view text)
{
    constexpr std::string_view kSpaces[] = {" ", "\t", "\n", "\r", "\xC2\xA0", "\xE3\x80\x80"};
    const auto strip = [&](bool front) {
        for (const std::string_view space : kSpaces) {
            if (front ? text.starts_with(space) : text.ends_with(space)) {
                text = front ? text.substr(space.size()) : text.substr(0, text.size() - space.size());
                return true;
            }
        }
        return false;
    };
    while (strip(true)) {
    }
    while (strip(false)) {
    }
    return text;
}

void append_utf8(std::string& out, unsigned long code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// References replaced; in attribute values a literal tab or line break (CR LF as one) is a space.
std::string decode(std::string_view raw, bool attribute_value)
{
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '&') {
            const std::size_t semicolon = raw.find(';', i);
            const std::string name(raw.substr(i + 1, semicolon - i - 1));
            i = semicolon;
            if (name[0] == '#') {
                const bool hex = name[1] == 'x';
                append_utf8(out, std::stoul(name.substr(hex ? 2 : 1), nullptr, hex ? 16 : 10));
            } else {
                out += name == "lt" ? '<' : name == "gt" ? '>' : name == "amp" ? '&' : name == "quot" ? '"' : '\'';
            }
        } else if (attribute_value && (c == '\t' || c == '\n' || c == '\r')) {
            out += ' ';
            if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
        } else {
            out += c;
        }
    }
    return out;
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Every element of the document, depths counted from the document element.
Elements reference_parse(std::string_view doc)
{
    Elements all;
    std::vector<std::size_t> open;
    std::size_t i = 0;
    const auto skip_space = [&] {
        while (is_space(doc[i])) ++i;
    };
    const auto past = [&](std::string_view end) { i = doc.find(end, i) + end.size(); };
    while (i < doc.size()) {
        const std::string_view rest = doc.substr(i);
        if (rest[0] != '<') {
            const std::size_t end = std::min(doc.find('<', i), doc.size());
            if (!open.empty()) all[open.back()].text += decode(doc.substr(i, end - i), false);
            i = end;
        } else if (rest.starts_with("<!--")) {
            past("-->");
        } else if (rest.starts_with("<![CDATA[")) {
            const std::size_t end = doc.find("]]>", i);
            if (!open.empty()) all[open.back()].text += doc.substr(i + 9, end - i - 9);
            i = end + 3;
        } else if (rest.starts_with("<?")) {
            past("?>");
        } else if (rest.starts_with("</")) {
            past(">");
            all[open.back()].text = std::string(trim(all[open.back()].text));
            open.pop_back();
        } else {
            const std::size_t name_end = doc.find_first_of(" \t\r\n/>", i);
            all.push_back({open.size(), std::string(doc.substr(i + 1, name_end - i - 1)), {}, {}});
            i = name_end;
            while (true) {
                skip_space();
                if (doc[i] == '/' || doc[i] == '>') break;
                const std::size_t key_end = doc.find_first_of(" \t\r\n=", i);
                std::string key(doc.substr(i, key_end - i));
                i = key_end;
                skip_space();
                ++i;  // '='
                skip_space();
                const std::size_t value_end = doc.find(doc[i], i + 1);
                all.back().attributes.emplace_back(std::move(key), decode(doc.substr(i + 1, value_end - i - 1), true));
                i = value_end + 1;
            }
            if (doc[i] == '>') open.push_back(all.size() - 1);
            past(">");
        }
    }
    return all;
}

// The element at `at` of a list with everything inside it, its depth made 0.
Elements subtree(const Elements& all, std::size_t at)
{
    Elements out;
    for (std::size_t j = at; j < all.size() && (j == at || all[j].depth > all[at].depth); ++j) {
        out.push_back(all[j]);
        out.back().depth -= all[at].depth;
    }
    return out;
}

// The first element named `name` in document order with all it holds; empty when there is none.
Elements first_named(const Elements& all, std::string_view name)
{
    const auto found = std::find_if(all.begin(), all.end(), [&](const Element& e) { return e.name == name; });
    return found == all.end() ? Elements{} : subtree(all, static_cast<std::size_t>(found - all.begin()));
}

// Each element named `name` that no other such element holds.
std::vector<Elements> outermost_named(const Elements& all, std::string_view name)
{
    std::vector<Elements> records;
    for (std::size_t j = 0; j < all.size();) {
        if (all[j].name != name) {
            ++j;
            continue;
        }
        records.push_back(subtree(all, j));
        j += records.back().size();
    }
    return records;
}

// ---- Sinks that write down what the walk hands them.

// Opens and closes every element: add_leaf keeps its default.
class OpenCloseSink : public TreeSink {
public:
    void open_element(std::string_view name, AttrMap& attributes) override
    {
        elements.push_back({open_.size(), std::string(name), {}, {}});
        for (const auto& [key, value] : attributes) elements.back().attributes.emplace_back(key, value);
        open_.push_back(elements.size() - 1);
    }

    void close_element(std::string_view text) override
    {
        elements[open_.back()].text = text;
        open_.pop_back();
    }

    Elements elements;

protected:
    std::vector<std::size_t> open_;
};

// Takes childless elements whole, and counts them.
class LeafSink final : public OpenCloseSink {
public:
    void add_leaf(std::string_view name, AttrMap& attributes, std::string_view text) override
    {
        elements.push_back({open_.size(), std::string(name), {}, std::string(text)});
        for (const auto& [key, value] : attributes) elements.back().attributes.emplace_back(key, value);
        ++leaves;
    }

    std::size_t leaves = 0;
};

class RecordList final : public RecordSinks {
public:
    TreeSink& start_record() override
    {
        current_ = LeafSink();
        return current_;
    }
    void end_record() override { records.push_back(std::move(current_.elements)); }
    void abandon_record() noexcept override { current_.elements.clear(); }

    std::vector<Elements> records;

private:
    LeafSink current_;
};

// ---- The generator: fixed seeds, the same documents on every machine.

class Generator {
public:
    explicit Generator(std::uint64_t seed) : state_(seed) {}

    struct Document {
        std::string text;
        std::string root;  // the document element's name
        std::string tag;   // another name to collect, perhaps absent from the document
    };

    // With `chain_depth`, the document element holds a chain of elements that deep.
    Document document(std::size_t chain_depth)
    {
        Document doc;
        std::string& out = doc.text;
        if (below(2) == 0) out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        for (std::size_t n = below(3); n > 0; --n) out += below(2) == 0 ? comment() : instruction();
        out += "\n";
        doc.root = element(out, 5, chain_depth);
        for (std::size_t n = below(3); n > 0; --n) out += below(2) == 0 ? comment() : "\n";
        doc.tag = pick(kNames);
        return doc;
    }

private:
    static constexpr const char* kNames[] = {
        "a", "b", "rec", "item", "p:q", "n-1.x", "_u", "abcdefgh", "abcdefgi", "name_of_seventeen", "\xC3\xA9l"};
    static constexpr const char* kText[] = {
        "x",         "hello world", " ",     "\n  ",   "\t",     "caf\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80",
        "&lt;",      "&gt;",        "&amp;", "&quot;", "&apos;", "&#65;",       "&#x4E2D;",     "&#233;",
        "&#x1F600;", "&#32;",       ">",     "'",      "\"",     "]",           "\xC2\xA0",     "\xE3\x80\x80"};
    static constexpr const char* kValues[] = {"v",         "",      " ",      "\t", "\n",       "\r\n", "&lt;",
                                              "&amp;amp;", "&#10;", "&#x41;", ">",  "\xC3\xA9", "x y",  "/"};
    static constexpr const char* kCData[] = {"", "x", "<a>", "&amp;", " pad ", "]]", "]", "\"q\"", "\xE4\xB8\xAD"};
    static constexpr const char* kComments[] = {"", " c ", "<x>", "a > b", "\"", "'", "&", "<!-", "?>"};
    static constexpr const char* kInstructions[] = {"<?pi?>", "<?pi data?>", "<?t a=\"b\" c='>'?>", "<?q <x> ?>"};

    std::uint64_t next()  // splitmix64
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    template <std::size_t N>
    const char* pick(const char* const (&list)[N])
    {
        return list[below(N)];
    }

    std::string comment() { return testing::join("<!--", pick(kComments), "-->"); }
    std::string instruction() { return pick(kInstructions); }

    void attributes(std::string& out)
    {
        const std::size_t count = below(8) == 0 ? std::size(kNames) : below(4);  // sometimes past a handful
        const std::size_t first = below(std::size(kNames));
        for (std::size_t n = 0; n < count; ++n) {
            const char quote = below(2) == 0 ? '"' : '\'';
            out += below(4) == 0 ? "\n " : " ";
            out += kNames[(first + n) % std::size(kNames)];  // distinct names
            out += below(4) == 0 ? " = " : "=";
            out += quote;
            for (std::size_t piece = below(4); piece > 0; --piece) out += pick(kValues);
            if (below(3) == 0) out += quote == '"' ? '\'' : '"';
            out += quote;
        }
    }

    // One piece of an element's content other than a child element.
    void content(std::string& out)
    {
        switch (below(5)) {
        case 0: out += testing::join("<![CDATA[", pick(kCData), "]]>"); break;
        case 1: out += comment(); break;
        case 2: out += instruction(); break;
        default:
            for (std::size_t piece = 1 + below(3); piece > 0; --piece) out += pick(kText);
        }
    }

    // An element `levels` deep at most (below a chain `chain_depth` deep, if any); returns its name.
    std::string element(std::string& out, std::size_t levels, std::size_t chain_depth = 0)
    {
        const std::string name = pick(kNames);
        out += "<" + name;
        attributes(out);
        if (chain_depth == 0 && below(6) == 0) {
            out += below(2) == 0 ? "/>" : " />";
            return name;
        }
        out += ">";
        const std::size_t pieces = below(8);
        const std::size_t chain_at = chain_depth != 0 ? below(pieces + 1) : pieces + 1;
        for (std::size_t n = 0; n <= pieces; ++n) {
            if (n == chain_at) chain(out, chain_depth);
            if (n == pieces) break;
            if (levels > 0 && below(2) == 0) {
                element(out, levels - 1);
            } else {
                content(out);
            }
        }
        out += testing::join("</", name, below(4) == 0 ? " >" : ">");
        return name;
    }

    // Elements nested `depth` deep, a little content and an element here and there.
    void chain(std::string& out, std::size_t depth)
    {
        std::vector<std::string> names(depth);
        for (std::string& name : names) {
            name = pick(kNames);
            out += "<" + name;
            if (below(8) == 0) attributes(out);
            out += ">";
            if (below(4) == 0) content(out);
        }
        element(out, 1);
        for (auto name = names.rbegin(); name != names.rend(); ++name) {
            if (below(4) == 0) content(out);
            if (below(8) == 0) element(out, 0);
            out += testing::join("</", *name, ">");
        }
    }

    std::uint64_t state_;
};

constexpr std::uint64_t kDocuments = 400;

// Every 40th document holds a chain 1,000 to 1,399 deep; the last one a chain whose tags fill
// more than one window of the direct index.
std::size_t chain_depth(std::uint64_t seed)
{
    if (seed == kDocuments) return 2 * kTagsPerWindow / 3;
    return seed % 40 == 0 ? 1000 + seed : 0;
}

// The document where `builder` reads it: for the quote-dense builder behind a comment full of
// quotes; for the direct one behind processing instructions when its own quotes would send it
// to the other.
std::string placed(const std::string& text, Builder builder)
{
    if (builder == Builder::QuoteDense) return testing::in_builder(text, builder).document;
    std::string document = text;
    while (testing::takes_quote_dense(document)) document.insert(0, "<?p?><?p?><?p?><?p?><?p?><?p?><?p?><?p?>");
    return document;
}

class WalkProperty : public ::testing::TestWithParam<Builder> {};

TEST_P(WalkProperty, CollectsWhatTheReferenceFinds)
{
    std::size_t leaves = 0;
    for (std::uint64_t seed = 1; seed <= kDocuments; ++seed) {
        const Generator::Document generated = Generator(seed).document(chain_depth(seed));
        const std::string document = placed(generated.text, GetParam());
        const Elements all = reference_parse(document);
        for (const std::string& tag : {generated.root, generated.tag}) {
            SCOPED_TRACE(testing::join("seed ", std::to_string(seed), ", collecting ", tag));
            const Elements expected = first_named(all, tag);
            LeafSink sink;
            ReadError error;
            const bool ok = parse_document(document, tag, sink, error);
            if (expected.empty()) {
                EXPECT_FALSE(ok);
                EXPECT_EQ(error.kind, ReadErrorKind::RootNotFound) << error;
                continue;
            }
            ASSERT_TRUE(ok) << error;
            ASSERT_EQ(difference(sink.elements, expected), "");
            leaves += sink.leaves;
        }
    }
    EXPECT_GT(leaves, kDocuments) << "the leaf path was hardly taken";
}

TEST_P(WalkProperty, LeafPathOnAndOffGiveOneTree)
{
    for (std::uint64_t seed = 1; seed <= kDocuments; ++seed) {
        SCOPED_TRACE(testing::join("seed ", std::to_string(seed)));
        const Generator::Document generated = Generator(seed).document(chain_depth(seed));
        const std::string document = placed(generated.text, GetParam());
        LeafSink leaf_on;
        OpenCloseSink leaf_off;
        ReadError error;
        ASSERT_TRUE(parse_document(document, generated.root, leaf_on, error)) << error;
        ASSERT_TRUE(parse_document(document, generated.root, leaf_off, error)) << error;
        ASSERT_EQ(difference(leaf_off.elements, leaf_on.elements), "");
    }
}

// Feeds `document` to a stream parser in rooms of `buffer_size`, as the module's iterators do.
// On failure, `failure` is the error with its names, which view the parser's buffer.
std::vector<Elements> stream(std::string_view document, const std::string& tag, std::size_t buffer_size,
                             std::string& failure)
{
    RecordList records;
    ReadError error;
    StreamParser parser(tag, records, buffer_size);
    if (stream_whole(parser, document, error) == StreamStep::Failed) failure = ::testing::PrintToString(error);
    return std::move(records.records);
}

TEST_P(WalkProperty, StreamRecordsAreTheWholeWalksElements)
{
    for (std::uint64_t seed = 1; seed <= kDocuments; ++seed) {
        const Generator::Document generated = Generator(seed).document(chain_depth(seed));
        const std::string document = placed(generated.text, GetParam());
        LeafSink whole;
        ReadError error;
        ASSERT_TRUE(parse_document(document, generated.root, whole, error)) << error;
        const std::vector<Elements> expected = outermost_named(whole.elements, generated.tag);
        for (const std::size_t buffer_size : {1, 61, 4096}) {
            SCOPED_TRACE(testing::join("seed ", std::to_string(seed), ", buffer ", std::to_string(buffer_size)));
            std::string failure;
            const std::vector<Elements> records = stream(document, generated.tag, buffer_size, failure);
            ASSERT_EQ(failure, "");
            ASSERT_EQ(records.size(), expected.size());
            for (std::size_t r = 0; r < records.size(); ++r) ASSERT_EQ(difference(records[r], expected[r]), "") << r;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Builders, WalkProperty, testing::kBothBuilders, testing::builder_name);

}  // namespace
}  // namespace brindle::reader
