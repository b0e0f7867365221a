"""Shared helpers of the reader's tests: the same document under either index builder, and
the texts of the read errors."""

# A leading comment holding many double quotes: more than five per '<' in the first 4096
# bytes sends a document to the quote-dense builder. The quotes pair up, so nothing after
# the comment is hidden, and every later byte moves by the comment's length.
QUOTE_DENSE_PREFIX = "<!--" + '"' * 4000 + "-->"
BUILDERS = ("direct", "quote_dense")


def quote_ratio(document):
    sample = document.encode()[:4096]
    return sample.count(b'"') / max(sample.count(b"<"), 1)


def in_builder(document, builder):
    """The document as the given builder will read it, and how far its bytes moved."""
    if builder == "direct":
        # Empty comments add '<' bytes until the quotes are few enough.
        prefix = ""
        while quote_ratio(prefix + document) > 5.0:
            prefix += "<!---->"
        return prefix + document, len(prefix)
    shifted = QUOTE_DENSE_PREFIX + document
    assert quote_ratio(shifted) > 5.0, "document would not take the quote-dense builder"
    return shifted, len(QUOTE_DENSE_PREFIX.encode())


def malformed(offset, message):
    return f"malformed XML at byte {offset}: {message}"


def unclosed(offset):
    return f"malformed XML: Unclosed tag at byte {offset}"


def unknown_entity(name, offset):
    return f"unknown entity reference '&{name};' at byte {offset}"


def root_not_found(root_tag):
    return f"root tag <{root_tag}> not found in document"


def never_closed(name):
    return f"unexpected end of document: <{name}> is never closed"


WHITE_SPACE = ("\t\n\x0b\x0c\r \x85\xa0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007"
               "\u2008\u2009\u200a\u2028\u2029\u202f\u205f\u3000")


def trim_white_space(text):
    """Trims the characters with the Unicode White_Space property (str.strip also takes
    U+001C..U+001F, which are not white space)."""
    return text.strip(WHITE_SPACE)


def as_tuple(node):
    """A node tree as nested plain values, without recursion on depth."""
    result = []
    stack = [(node, result)]
    while stack:
        current, into = stack.pop()
        children = []
        into.append((current.name, current.attrs, current.text, children))
        for child in reversed(current.children):
            stack.append((child, children))
    return result[0]
