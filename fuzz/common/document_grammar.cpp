#include "common/document_grammar.hpp"

#include <algorithm>
#include <array>
#include <string_view>

namespace brindle::fuzz {
namespace {

using index::TagKind;

// A piece of a document as written and as it reads back.
struct Piece {
    std::string_view raw;
    std::string_view decoded;
};

constexpr std::array<std::string_view, 12> kNames{
    "a", "b", "item", "x-y", "n1", "ns:e", "_u", "a.b", "A", "\xC3\xA9t\xC3\xA9", "\xE6\x96\x87", "z\xCC\x81"};

constexpr std::array<std::string_view, 5> kSpaces{"", " ", "\t", "\n ", "\r\n"};

// Character data: references, quotes and apostrophes, '>' and "]]", Unicode white space
// (which trimming removes at either end) and multi-byte characters.
// clang-format off
constexpr std::array<Piece, 24> kTextPieces{{
    {"text", "text"}, {" ", " "}, {"\n", "\n"}, {"\t", "\t"}, {"\r\n", "\r\n"}, {"a > b", "a > b"},
    {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"},
    {"&#38;", "&"}, {"&#x1F600;", "\xF0\x9F\x98\x80"}, {"&#x41;", "A"},
    {"]]", "]]"}, {"--", "--"}, {"?", "?"}, {"it's", "it's"}, {"\"q\"", "\"q\""}, {"'", "'"},
    {"\xE2\x82\xAC", "\xE2\x82\xAC"}, {"\xC2\xA0", "\xC2\xA0"}, {"\xE3\x80\x80", "\xE3\x80\x80"},
    {"\xC2\x85", "\xC2\x85"},
}};
// clang-format on

// Attribute values: tabs and line breaks read back as one space each (CR LF as one).
// kOtherQuote stands for the quote that does not delimit the value.
constexpr std::string_view kOtherQuote = "\x01";
// clang-format off
constexpr std::array<Piece, 18> kValuePieces{{
    {"1", "1"}, {"a>b", "a>b"}, {"/>", "/>"}, {"?>", "?>"}, {"]]>", "]]>"}, {" ", " "},
    {kOtherQuote, kOtherQuote}, {"&amp;", "&"}, {"&lt;", "<"}, {"&#60;", "<"}, {"&#x3e;", ">"},
    {"&quot;", "\""}, {"&apos;", "'"}, {"\t", " "}, {"\n", " "}, {"\r\n", " "},
    {"\xC3\xA9", "\xC3\xA9"}, {"<", "<"},  // the last only with GrammarOptions::less_than_in_values
}};
// clang-format on

// Contents of comments, CDATA sections and instructions: '<', '>', quotes and markup, but
// never a terminator, and no piece starts with '>' or ends in the terminator's first byte.
constexpr std::array<std::string_view, 12> kSectionPieces{"x",    " ",  "<b>",   "a>b",   "<",    "\n",
                                                          "it's", "\"", "'<c>'", "&amp;", "<!x>", "<?p"};

constexpr std::array<std::string_view, 4> kDoctypeLiteralPieces{"a>b", "]>", "<x", "-//W3C//"};
constexpr std::array<std::string_view, 7> kSubsetDeclarations{"<!ELEMENT a ANY>",
                                                              "<!ENTITY e \"<b>x</b>\">",
                                                              "<!ATTLIST a k CDATA '>'>",
                                                              "<!-- ]> it's -->",
                                                              "<?p ]>\"?>",
                                                              "<!NOTATION n SYSTEM \"]>\">",
                                                              "\n"};

class Choices {
public:
    explicit Choices(std::span<const std::uint8_t> bytes) noexcept : bytes_(bytes) {}

    // A number below `bound` (which is at most 256); 0 once the input is used up.
    std::size_t below(std::size_t bound) noexcept
    {
        if (next_ == bytes_.size()) return 0;
        return bytes_[next_++] % bound;
    }
    bool exhausted() const noexcept { return next_ == bytes_.size(); }

    template <class T, std::size_t N>
    const T& pick(const std::array<T, N>& from) noexcept
    {
        return from[below(N)];
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t next_ = 0;
};

class DocumentWriter {
public:
    DocumentWriter(std::span<const std::uint8_t> choices, const GrammarOptions& options)
        : choices_(choices), options_(options)
    {}

    GeneratedDocument write()
    {
        prolog();
        open_element();
        while (!open_.empty()) content_step();
        misc();
        return std::move(out_);
    }

private:
    static constexpr std::size_t kMaxDepth = 48;
    static constexpr std::size_t kMaxBytes = 1 << 16;

    std::string& bytes() { return out_.bytes; }
    std::uint64_t here() const { return out_.bytes.size(); }

    void prolog()
    {
        if (choices_.below(2)) {
            const std::uint64_t start = here();
            bytes() += "<?xml version=\"1.0\"?>";
            add_tag(start, TagKind::ProcessingInstruction, "xml");
        }
        misc();
        if (choices_.below(3) == 1) doctype();
        misc();
    }

    // Comments, instructions and white space outside the root element.
    void misc()
    {
        for (std::size_t count = choices_.below(4); count > 0; --count) {
            switch (choices_.below(3)) {
            case 0: bytes() += choices_.below(2) ? " " : "\n"; break;
            case 1: comment(); break;
            default: instruction(); break;
            }
        }
    }

    // One step inside the innermost open element; 0 (the choice once the input is used up)
    // closes it.
    void content_step()
    {
        const bool may_grow = here() < kMaxBytes && !choices_.exhausted();
        switch (may_grow ? choices_.below(9) : 0) {
        case 0: close_element(); break;
        case 1: open_element(); break;
        case 2: self_closing_element(); break;
        case 3:
        case 4: text(); break;
        case 5: comment(); break;
        case 6: instruction(); break;
        case 7: cdata(); break;
        default: dive(); break;
        }
    }

    // A chain of nested start tags, to reach deep nesting.
    void dive()
    {
        for (std::size_t count = 1 + choices_.below(40); count > 0 && open_.size() < kMaxDepth; --count) {
            open_element();
        }
    }

    void open_element()
    {
        if (open_.size() >= kMaxDepth) return;
        const std::size_t element = start_tag(false);
        open_.push_back(element);
        out_.deepest = std::max(out_.deepest, open_.size());
    }

    void self_closing_element() { start_tag(true); }

    // Writes a start tag and adds its element to the model; returns the element's number.
    std::size_t start_tag(bool self_closing)
    {
        const std::uint64_t start = here();
        const std::string_view name = choices_.pick(kNames);
        ModelElement element{std::string(name), {}, {}, {}};
        bytes() += '<';
        bytes() += name;
        attributes(element);
        bytes() += choices_.pick(kSpaces);
        bytes() += self_closing ? "/>" : ">";
        add_tag(start, self_closing ? TagKind::SelfClosing : TagKind::Open, name);
        const std::size_t number = out_.elements.size();
        if (!open_.empty()) out_.elements[open_.back()].children.push_back(number);
        out_.elements.push_back(std::move(element));
        return number;
    }

    void close_element()
    {
        const std::uint64_t start = here();
        const std::string name = out_.elements[open_.back()].name;
        add_text(text_start_, start);  // the closing element's own character data
        text_start_ = start;
        open_.pop_back();
        bytes() += "</";
        bytes() += name;
        bytes() += choices_.below(2) ? " " : "";
        bytes() += '>';
        add_tag(start, TagKind::Close, name);
    }

    // Up to four attributes with distinct names, each value in either kind of quote.
    void attributes(ModelElement& element)
    {
        for (std::size_t i = 0, count = choices_.below(5); i < count; ++i) {
            std::string name = "k" + std::to_string(i);
            if (choices_.below(4) == 0) name = "x:" + name;
            bytes() += choices_.below(3) == 0 ? "\n" : " ";
            bytes() += name;
            bytes() += choices_.pick(kSpaces);
            bytes() += '=';
            bytes() += choices_.pick(kSpaces);
            const char quote = choices_.below(2) ? '"' : '\'';
            bytes() += quote;
            element.attributes.emplace_back(std::move(name), value(quote));
            bytes() += quote;
        }
    }

    // Writes a value's pieces; returns the value as it reads back.
    std::string value(char quote)
    {
        const std::size_t usable = kValuePieces.size() - (options_.less_than_in_values ? 0 : 1);
        std::string decoded;
        for (std::size_t count = choices_.below(5); count > 0; --count) {
            const Piece& piece = kValuePieces[choices_.below(usable)];
            if (piece.raw == kOtherQuote) {
                const char other = quote == '"' ? '\'' : '"';
                bytes() += other;
                decoded += other;
                continue;
            }
            bytes() += piece.raw;
            decoded += piece.decoded;
        }
        return decoded;
    }

    void text()
    {
        std::string& into = out_.elements[open_.back()].text;
        for (std::size_t count = 1 + choices_.below(4); count > 0; --count) {
            const Piece& piece = choices_.pick(kTextPieces);
            bytes() += piece.raw;
            into += piece.decoded;
        }
    }

    // Contents for a comment, CDATA section or instruction.
    std::string section_contents()
    {
        std::string contents;
        for (std::size_t count = choices_.below(5); count > 0; --count) contents += choices_.pick(kSectionPieces);
        return contents;
    }

    void comment()
    {
        const std::uint64_t start = here();
        bytes() += "<!--";
        bytes() += section_contents();
        bytes() += "-->";
        add_tag(start, TagKind::Comment, "");
    }

    void instruction()
    {
        const std::uint64_t start = here();
        const std::string_view target = choices_.below(2) ? "pi" : "x-y";
        bytes() += "<?";
        bytes() += target;
        if (choices_.below(2)) {
            bytes() += choices_.pick(kSpaces).empty() ? " " : "\n";
            bytes() += section_contents();
        }
        bytes() += "?>";
        add_tag(start, TagKind::ProcessingInstruction, target);
    }

    void cdata()
    {
        const std::uint64_t start = here();
        bytes() += "<![CDATA[";
        const std::string contents = section_contents();
        bytes() += contents;
        const std::uint64_t contents_end = here();
        bytes() += "]]>";
        add_tag(start, TagKind::CData, "");
        add_text(start + 9, contents_end);
        out_.elements[open_.back()].text += contents;
    }

    // A document type declaration whose literals and internal subset hold '>', '<', ']' and
    // quotes; the index records nothing for it and starts the character data after it.
    void doctype()
    {
        add_text(text_start_, here());  // the builders meet its '<' like any other
        bytes() += "<!DOCTYPE ";
        bytes() += choices_.pick(kNames);
        switch (choices_.below(3)) {
        case 1:
            bytes() += " SYSTEM ";
            literal();
            break;
        case 2:
            bytes() += " PUBLIC ";
            literal();
            bytes() += ' ';
            literal();
            break;
        default: break;
        }
        if (choices_.below(2)) {
            bytes() += " [";
            for (std::size_t count = choices_.below(5); count > 0; --count)
                bytes() += choices_.pick(kSubsetDeclarations);
            bytes() += "]";
        }
        bytes() += choices_.pick(kSpaces);
        bytes() += '>';
        text_start_ = here();
    }

    void literal()
    {
        const char quote = choices_.below(2) ? '"' : '\'';
        bytes() += quote;
        for (std::size_t count = choices_.below(4); count > 0; --count) {
            bytes() += choices_.below(5) == 0 ? (quote == '"' ? "'" : "\"") : choices_.pick(kDoctypeLiteralPieces);
        }
        bytes() += quote;
    }

    // Records the tag that was just written from `start`, with the run of character data
    // before it.
    void add_tag(std::uint64_t start, TagKind kind, std::string_view name)
    {
        add_text(text_start_, start);
        out_.tags.push_back({start, here() - 1, kind, std::string(name)});
        text_start_ = here();
    }

    void add_text(std::uint64_t start, std::uint64_t end)
    {
        if (start < end) out_.texts.push_back({start, end});
    }

    Choices choices_;
    GrammarOptions options_;
    GeneratedDocument out_;
    std::vector<std::size_t> open_;  // the open elements, as indices into out_.elements
    std::uint64_t text_start_ = 0;
};

}  // namespace

GeneratedDocument generate_document(std::span<const std::uint8_t> choices, const GrammarOptions& options)
{
    return DocumentWriter(choices, options).write();
}

}  // namespace brindle::fuzz
