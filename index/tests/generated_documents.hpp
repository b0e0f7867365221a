#pragma once
// Random documents for the property suites: well-formed element trees with attributes,
// text, comments, CDATA sections and instructions, and byte-level mutations of them.

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::index::testing {

struct GeneratorOptions {
    std::size_t max_depth = 30;
    std::size_t max_bytes = 1500;
    // Quotes and apostrophes appear only inside start tags and DOCTYPEs when false; when
    // true, also in text, comments, CDATA sections and instructions.
    bool quotes_in_text = false;
};

class DocumentGenerator {
public:
    explicit DocumentGenerator(std::uint64_t seed) : random_(seed) {}

    std::string document(const GeneratorOptions& options)
    {
        std::string out;
        std::vector<std::string> open;
        if (chance(30)) {
            append(out, {"<?xml version=\"1.0\"?>", space()});
        }
        if (chance(20)) {
            append(out, {doctype(), space()});
        }
        if (chance(30)) {  // dive: open a chain of elements first, to reach the deep levels
            for (unsigned depth = below(static_cast<unsigned>(options.max_depth) + 1); depth > 0; --depth) {
                open.push_back(element_name());
                append(out, {"<", open.back(), attributes(), ">"});
            }
        }
        while (out.size() < options.max_bytes) {
            const unsigned pick = below(100);
            if (pick < 25 && open.size() < options.max_depth) {
                const std::string name = element_name();
                append(out, {"<", name, attributes(), space(), ">"});
                open.push_back(name);
            } else if (pick < 45 && !open.empty()) {
                append(out, {"</", open.back(), space(), ">"});
                open.pop_back();
            } else if (pick < 55) {
                append(out, {"<", element_name(), attributes(), space(), "/>"});
            } else if (pick < 80) {
                out += text(options.quotes_in_text);
            } else if (pick < 86) {
                append(out, {"<!--", section_text("-", options.quotes_in_text), "-->"});
            } else if (pick < 92) {
                append(out, {"<![CDATA[", section_text("]", options.quotes_in_text), "]]>"});
            } else if (pick < 96) {
                append(out, {"<?", element_name(), " ", section_text("?", options.quotes_in_text), "?>"});
            } else {
                append(out, {"</", element_name(), ">"});  // an end tag the walk would reject
            }
        }
        while (!open.empty()) {
            append(out, {"</", open.back(), ">"});
            open.pop_back();
        }
        return out;
    }

    // Flips, inserts, deletes or truncates a few bytes, favouring the bytes markup is made of.
    std::string mutate(std::string document)
    {
        const unsigned count = 1 + below(4);
        for (unsigned i = 0; i < count && !document.empty(); ++i) {
            const std::size_t at = below(static_cast<unsigned>(document.size()));
            switch (below(4)) {
            case 0: document[at] = markup_byte(); break;
            case 1: document.insert(document.begin() + static_cast<std::ptrdiff_t>(at), markup_byte()); break;
            case 2: document.erase(at, 1 + below(8)); break;
            default: document.resize(at); break;
            }
        }
        return document;
    }

    // Bytes drawn mostly from markup characters, sometimes from the whole byte range.
    std::string random_bytes(std::size_t length)
    {
        std::string out(length, ' ');
        for (char& c : out) {
            c = chance(80) ? markup_byte() : static_cast<char>(below(256));
        }
        return out;
    }

    unsigned below(unsigned bound) { return static_cast<unsigned>(random_() % bound); }

private:
    // Appends the pieces in order (the pieces are evaluated in order too, unlike operands
    // of +, so the generated documents are the same with every compiler).
    static void append(std::string& out, std::initializer_list<std::string> pieces)
    {
        for (const std::string& piece : pieces) {
            out += piece;
        }
    }

    bool chance(unsigned percent) { return below(100) < percent; }

    char markup_byte()
    {
        static const std::string bytes = "<<<>>>/!?-[]CDAT\"\"''= \t\na";
        return bytes[below(static_cast<unsigned>(bytes.size()))];
    }

    std::string element_name()
    {
        static const std::vector<std::string> names{"a", "b", "item", "x-y", "n1", "ns:e", "\xC3\xA9t\xC3\xA9"};
        return names[below(static_cast<unsigned>(names.size()))];
    }

    std::string space()
    {
        static const std::vector<std::string> spaces{"", "", " ", "\t", "\n ", "\r\n", "\f"};
        return spaces[below(static_cast<unsigned>(spaces.size()))];
    }

    // Attribute values may hold '>', '<', '/' and the other quote.
    std::string attributes()
    {
        static const std::vector<std::string> values{"1", "", "a>b", "x<y", "/>", "it's", "say \"hi\"", "?>"};
        std::string out;
        const unsigned count = below(4);
        for (unsigned i = 0; i < count; ++i) {
            const std::string value = values[below(static_cast<unsigned>(values.size()))];
            const char quote = value.find('"') != std::string::npos    ? '\''
                               : value.find('\'') != std::string::npos ? '"'
                                                                       : (chance(50) ? '"' : '\'');
            append(out, {" k", std::to_string(i), space(), "=", space(), std::string(1, quote), value,
                         std::string(1, quote)});
        }
        return out;
    }

    std::string text(bool quotes)
    {
        static const std::vector<std::string> pieces{"text", " ",  "\n", "a > b",       "&amp;",
                                                     "]]",   "--", "?",  "\xE2\x82\xAC"};
        static const std::vector<std::string> quoted{"it's", "\"q\"", "'"};
        std::string out;
        const unsigned count = 1 + below(4);
        for (unsigned i = 0; i < count; ++i) {
            out += quotes && chance(20) ? quoted[below(static_cast<unsigned>(quoted.size()))]
                                        : pieces[below(static_cast<unsigned>(pieces.size()))];
        }
        return out;
    }

    // A document type declaration whose literals and internal subset hold '>', '<', ']' and
    // quotes.
    std::string doctype()
    {
        static const std::vector<std::string> doctypes{
            "<!DOCTYPE a>",
            "<!DOCTYPE a SYSTEM \"a>b.dtd\">",
            "<!DOCTYPE a PUBLIC '-//x//\"y\">' \"z]>\">",
            "<!DOCTYPE a [\n<!ELEMENT a ANY>\n<!ENTITY e \"<b>x</b>\">\n<!ATTLIST a k CDATA '>'>\n]>",
            "<!DOCTYPE a SYSTEM 'x' [ <!-- ]> it's --> <?p ]>\"?> <!NOTATION n SYSTEM \"]>\"> ]>",
        };
        return doctypes[below(static_cast<unsigned>(doctypes.size()))];
    }

    // Contents of a comment, CDATA section or instruction: may hold '<' and '>' (and quotes,
    // when asked) but never its terminator (`avoid` is the terminator's first byte).
    std::string section_text(const std::string& avoid, bool quotes)
    {
        static const std::vector<std::string> pieces{"x", " ", "<b>", "a>b", "<", "-", "]", "?", "\n"};
        static const std::vector<std::string> quoted{"don't", "\"", "'<c>'"};
        std::string out;
        const unsigned count = below(5);
        for (unsigned i = 0; i < count; ++i) {
            const std::string& piece = quotes && chance(25) ? quoted[below(static_cast<unsigned>(quoted.size()))]
                                                            : pieces[below(static_cast<unsigned>(pieces.size()))];
            out += piece == avoid ? std::string_view("y") : std::string_view(piece);
        }
        return out;
    }

    std::mt19937_64 random_;
};

}  // namespace brindle::index::testing
