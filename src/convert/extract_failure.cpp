#include "convert/extract_failure.hpp"

#include <string_view>
#include <unordered_set>

#include "convert/dict_form.hpp"
#include "ffi/convert.hpp"
#include "ffi/saved_error.hpp"
#include "node/sequence_items.hpp"

namespace brindle::convert {

using namespace ffi;

namespace {

constexpr std::string_view kEnumHeader = "failed to extract enum HashmapTypes ('String | Vec | NullableString | Map')";
constexpr std::string_view kTypeErrorPrefix = "TypeError: ";
constexpr std::string_view kStrFailed = "<exception str() failed>";

std::string_view variant_name(HashmapTypes variant) { return kHashmapVariantNames[static_cast<std::size_t>(variant)]; }

// "\n- variant Vec (Vec): TypeError: failed to extract field HashmapTypes::Vec.0, caused by "
void append_line_start(std::string& out, HashmapTypes variant)
{
    const std::string_view name = variant_name(variant);
    out += "\n- variant ";
    out += name;
    out += " (";
    out += name;
    out += "): TypeError: failed to extract field HashmapTypes::";
    out += name;
    out += ".0, caused by ";
}

void append_line(std::string& out, HashmapTypes variant, std::string_view reason)
{
    append_line_start(out, variant);
    out += reason;
}

std::string mismatch_text(PyObject* value, const char* expected)
{
    std::string text(kTypeErrorPrefix);
    text += type_mismatch_message(value, expected);
    return text;
}

// The UTF-8 of a str; lone surrogates become U+FFFD rather than failing.
std::string lossy_utf8(PyObject* text)
{
    if (const std::optional<std::string_view> utf8 = utf8_view(text)) return std::string(*utf8);
    PyErr_Clear();
    PyRef raw = checked(PyUnicode_AsEncodedString(text, "utf-8", "surrogatepass"));
    PyRef clean = checked(PyUnicode_DecodeUTF8(PyBytes_AS_STRING(raw.get()), PyBytes_GET_SIZE(raw.get()), "replace"));
    return to_text_copy(clean.get());
}

std::string class_name(PyObject* type)
{
    if (std::optional<std::string> name = qualname_text(type)) return *std::move(name);
    if (PyErr_Occurred() && pending_exception_must_propagate()) throw_python_error();
    PyErr_Clear();
    return kUnknownTypeName;
}

// "ValueError: message" for one exception object. str() runs the exception's own code; an
// interrupt or MemoryError coming back from it ends the call, any other failure is shown.
std::string exception_line(PyObject* exception)
{
    std::string text = class_name(reinterpret_cast<PyObject*>(Py_TYPE(exception)));
    text += ": ";
    PyRef message = PyRef::steal(PyObject_Str(exception));
    if (!message) {
        if (pending_exception_must_propagate()) throw_python_error();
        PyErr_Clear();
        text += kStrFailed;
        return text;
    }
    text += lossy_utf8(message.get());
    return text;
}

// Every enclosing sequence failed in the same way for String, NullableString and Map: it is
// neither a str nor None nor a dict.
struct SequenceReasons {
    std::string not_str;
    std::string not_dict;
};

std::string nested_message(const std::string& innermost, const std::vector<PyObject*>& sequences)
{
    std::vector<SequenceReasons> reasons;
    reasons.reserve(sequences.size());
    std::size_t length = innermost.size();
    for (PyObject* sequence : sequences) {
        reasons.push_back({mismatch_text(sequence, "str"), mismatch_text(sequence, "dict")});
        length += 600 + 2 * reasons.back().not_str.size() + reasons.back().not_dict.size();
    }
    std::string out;
    out.reserve(length);
    // Outermost first: each level's text up to its Vec reason, which is the next level's error.
    for (std::size_t level = sequences.size(); level-- > 0;) {
        out += kEnumHeader;
        append_line(out, HashmapTypes::String, reasons[level].not_str);
        append_line_start(out, HashmapTypes::Vec);
        if (level > 0) out += kTypeErrorPrefix;  // the inner level's enum error, shown as "TypeError: ..."
    }
    out += innermost;
    // Then each level's remaining lines, innermost first.
    for (const SequenceReasons& level : reasons) {
        append_line(out, HashmapTypes::NullableString, level.not_str);
        append_line(out, HashmapTypes::Map, level.not_dict);
    }
    return out;
}

}  // namespace

ExtractFailure ExtractFailure::pending(PyObject* type, std::string message)
{
    return {PyRef(), PendingError{type, std::move(message)}};
}

ExtractFailure ExtractFailure::type_mismatch(PyObject* value, const char* expected)
{
    return pending(PyExc_TypeError, type_mismatch_message(value, expected));
}

void ExtractFailure::throw_as_argument(std::string_view parameter) const
{
    if (!exception) throw_with_note(error, parameter);
    SavedError(PyRef::borrow(exception.get())).restore();
    throw_pending_with_note(parameter);
}

ExtractedText extract_text(PyObject* value)
{
    if (!PyUnicode_Check(value)) return {{}, ExtractFailure::type_mismatch(value, "str")};
    const std::optional<std::string_view> utf8 = utf8_view(value);
    if (!utf8) return {{}, ExtractFailure::fetch()};
    return {*utf8, std::nullopt};
}

ExtractFailure ExtractFailure::fetch()
{
    if (!PyErr_Occurred()) return pending(PyExc_SystemError, "attempted to fetch exception but none was set");
    if (pending_exception_must_propagate()) throw_python_error();
    return {SavedError::fetch().release(), PendingError{}};
}

std::string failure_text(const ExtractFailure& failure)
{
    if (!failure.exception) return class_name(failure.error.type) + ": " + failure.error.message;
    std::string text = exception_line(failure.exception.get());
    std::unordered_set<PyObject*> seen{failure.exception.get()};
    PyRef cause = PyRef::steal(PyException_GetCause(failure.exception.get()));
    while (cause && seen.insert(cause.get()).second) {
        text += ", caused by ";
        text += exception_line(cause.get());
        cause = PyRef::steal(PyException_GetCause(cause.get()));
    }
    return text;
}

std::string all_variants_failed_message(const std::array<std::string, 4>& reasons)
{
    std::string out(kEnumHeader);
    append_line(out, HashmapTypes::String, reasons[0]);
    append_line(out, HashmapTypes::Vec, reasons[1]);
    append_line(out, HashmapTypes::NullableString, reasons[2]);
    append_line(out, HashmapTypes::Map, reasons[3]);
    return out;
}

std::string scalar_failed_message(PyObject* value, const ExtractFailure* string_reason,
                                  const ExtractFailure* map_reason)
{
    std::array<std::string, 4> reasons;
    reasons[0] = string_reason ? failure_text(*string_reason) : mismatch_text(value, "str");
    if (PyUnicode_Check(value)) {
        reasons[1] = std::string(kTypeErrorPrefix) + "Can't extract `str` to `Vec`";
    } else {
        node::abstract_sequence_type();  // the message names this class; it must exist, as for the constructor
        reasons[1] = mismatch_text(value, "Sequence");
    }
    reasons[2] = reasons[0];
    reasons[3] = map_reason ? failure_text(*map_reason) : mismatch_text(value, "dict");
    return all_variants_failed_message(reasons);
}

void throw_nested_failure(const ExtractFailure& innermost, const std::vector<PyObject*>& sequences)
{
    if (sequences.empty()) innermost.throw_as_argument("dict_");
    if (sequences.size() > kMaxDescribedNesting) {
        throw_with_note(PendingError{PyExc_TypeError, "failed to extract enum HashmapTypes: the failing value lies " +
                                                          std::to_string(sequences.size()) +
                                                          " sequences deep, too deep to describe"},
                        "dict_");
    }
    throw_with_note(PendingError{PyExc_TypeError, nested_message(failure_text(innermost), sequences)}, "dict_");
}

}  // namespace brindle::convert
