// The UTF-8 bytes of read_string's document. An ASCII str lends its own bytes; any other str is
// encoded here, with the interpreter lock released, into a buffer the read owns. Asking the
// interpreter for the UTF-8 form instead would encode under the lock (holding every other
// thread back for the whole encoding) and would keep a UTF-8 copy of the document attached to
// the caller's str for as long as the str lives.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <string_view>

#include "memory/kept_pages.hpp"

namespace brindle::read {

// Encodes `count` code units of a str's `kind` (PyUnicode_1BYTE_KIND ...) to UTF-8 at `out`, which
// has room for 2, 3 or 4 bytes per unit (by kind); returns the end, or null at a surrogate.
char* encode_utf8(const void* units, int kind, std::size_t count, char* out) noexcept;

class DocumentText {
public:
    // With the lock held; `text` must be a str that outlives this object (the caller's
    // argument). Throws the TypeError of any other value.
    explicit DocumentText(PyObject* text);
    ~DocumentText();
    DocumentText(const DocumentText&) = delete;
    DocumentText& operator=(const DocumentText&) = delete;

    // Without the lock: makes the UTF-8 bytes. False when the str holds a surrogate code point,
    // which has no UTF-8 form (then, with the lock, `throw_unencodable`). Throws std::bad_alloc.
    bool encode();

    // With the lock held: throws the error the interpreter gives for a str without a UTF-8 form,
    // as the failure of the `xml_string` argument.
    [[noreturn]] void throw_unencodable() const;

    std::string_view view() const noexcept { return view_; }

private:
    void make_room(std::size_t least, std::size_t most);

    PyObject* text_;
    std::string_view view_;
    memory::Pages encoded_;  // the UTF-8 of a non-ASCII str
};

}  // namespace brindle::read
