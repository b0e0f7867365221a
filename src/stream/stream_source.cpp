#include "stream/stream_source.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ffi/convert.hpp"
#include "ffi/errors.hpp"
#include "ffi/saved_error.hpp"
#include "files/open_path.hpp"
#include "read/document_text.hpp"

namespace brindle::stream {

using namespace ffi;

namespace {

class PathSource final : public StreamSource {
public:
    explicit PathSource(const std::string& path) : fd_(files::open_path(path, O_RDONLY)) {}
    ~PathSource() override { close(); }

    std::size_t read(std::span<char> room) override
    {
        while (true) {
            const ssize_t got = ::read(fd_, room.data(), room.size());
            if (got >= 0) return static_cast<std::size_t>(got);
            if (errno != EINTR) throw_os_error(errno);
        }
    }

    bool reads_unlocked() const noexcept override { return true; }

    // A read-only descriptor has nothing to flush, so a failing close loses nothing.
    void close() noexcept override
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// Reads with readinto into a memoryview of the room, released after each call so that the file
// object cannot keep writing into the buffer; or with read, copying the bytes it returns.
class FileObjectSource final : public StreamSource {
public:
    FileObjectSource(PyObject* file, PyRef method, bool into)
        : file_(PyRef::borrow(file)), method_(std::move(method)), into_(into)
    {}

    std::size_t read(std::span<char> room) override { return into_ ? read_into(room) : read_bytes(room); }
    void close() noexcept override
    {
        method_.reset();
        file_.reset();
    }

    int traverse(visitproc visit, void* arg) noexcept override
    {
        Py_VISIT(file_.get());
        Py_VISIT(method_.get());
        return 0;
    }

private:
    std::size_t read_into(std::span<char> room)
    {
        PyRef view = checked(PyMemoryView_FromMemory(room.data(), static_cast<Py_ssize_t>(room.size()), PyBUF_WRITE));
        PyRef result = PyRef::steal(PyObject_CallOneArg(method_.get(), view.get()));
        release_view(view.get());
        if (!result) throw_source_error("readinto");
        return count_read_into(result.get(), room.size());
    }

    // readinto's count: an int from 0 to the room's size. A bool is not taken for a count.
    static std::size_t count_read_into(PyObject* result, std::size_t room)
    {
        if (result == Py_None) throw_nothing_ready("readinto");
        if (!PyLong_Check(result) || PyBool_Check(result)) {
            throw_error(PyExc_TypeError, "readinto() returned " + type_name(result) + ", not int");
        }
        int overflow = 0;
        const long long got = PyLong_AsLongLongAndOverflow(result, &overflow);
        if (got == -1 && PyErr_Occurred()) throw_python_error();
        if (overflow != 0 || got < 0 || static_cast<unsigned long long>(got) > room) {
            PyRef text = checked(PyObject_Str(result));
            throw_error(PyExc_ValueError, "readinto() returned " + std::string(utf8_view(text.get()).value_or("?")) +
                                              ", outside the buffer");
        }
        return static_cast<std::size_t>(got);
    }

    std::size_t read_bytes(std::span<char> room)
    {
        PyRef size = checked(PyLong_FromSize_t(room.size()));
        PyRef result = PyRef::steal(PyObject_CallOneArg(method_.get(), size.get()));
        if (!result) throw_source_error("read");
        if (result.get() == Py_None) throw_nothing_ready("read");
        if (!PyObject_CheckBuffer(result.get())) {
            throw_error(PyExc_TypeError, "read() returned " + type_name(result.get()) + ", not bytes");
        }
        Py_buffer bytes;
        if (PyObject_GetBuffer(result.get(), &bytes, PyBUF_SIMPLE) < 0) throw_python_error();
        const auto got = static_cast<std::size_t>(bytes.len);
        if (got <= room.size()) std::memcpy(room.data(), bytes.buf, got);
        PyBuffer_Release(&bytes);
        if (got > room.size()) {
            throw_error(PyExc_ValueError, "read() returned more bytes than were asked for");
        }
        return got;
    }

    // The source's own exception passes through as it is, but for StopIteration: a for loop over
    // the stream would take it for the end and quietly lose every record after it, so it
    // becomes a RuntimeError caused by it, as a generator's own StopIteration does.
    [[noreturn]] static void throw_source_error(const char* method)
    {
        if (!PyErr_ExceptionMatches(PyExc_StopIteration)) throw_python_error();
        PyRef stop = SavedError::fetch().release();
        const std::string message = std::string(method) + "() raised StopIteration";
        PyRef error = checked(PyObject_CallFunction(PyExc_RuntimeError, "s", message.c_str()));
        PyException_SetContext(error.get(), Py_NewRef(stop.get()));
        PyException_SetCause(error.get(), stop.release());
        SavedError(std::move(error)).restore();
        throw_python_error();
    }

    // A non-blocking source with no bytes ready: a stream cannot wait for them without spinning.
    [[noreturn]] static void throw_nothing_ready(const char* method)
    {
        PyRef error = checked(PyObject_CallFunction(
            PyExc_BlockingIOError, "is", EAGAIN,
            (std::string(method) + "() returned None: the source has no bytes ready; a stream reads only from a "
                                   "blocking source")
                .c_str()));
        SavedError(std::move(error)).restore();
        throw_python_error();
    }

    // With readinto's own exception, if any, still to come out.
    static void release_view(PyObject* view)
    {
        SavedError pending = SavedError::fetch();
        PyRef released = PyRef::steal(PyObject_CallMethod(view, "release", nullptr));
        if (released) return;
        if (!pending) throw_python_error();
        PyErr_Clear();
    }

    static std::string type_name(PyObject* value) { return Py_TYPE(value)->tp_name; }

    PyRef file_;
    PyRef method_;
    bool into_;
};

// The str's code units encoded a stretch at a time, as many as the room can hold in the longest
// form; an ASCII str's units are its bytes.
class StrSource final : public StreamSource {
public:
    explicit StrSource(PyObject* text) : text_(PyRef::borrow(text))
    {
        if (!PyUnicode_Check(text)) throw_type_mismatch(text, "str");
#if PY_VERSION_HEX < 0x030C0000
        if (PyUnicode_READY(text) < 0) throw_python_error();  // a str made by the legacy calls
#endif
        kind_ = PyUnicode_KIND(text);
        ascii_ = PyUnicode_IS_ASCII(text);
        length_ = static_cast<std::size_t>(PyUnicode_GET_LENGTH(text));
    }

    std::size_t read(std::span<char> room) override
    {
        const void* data = PyUnicode_DATA(text_.get());
        if (ascii_) {
            const std::size_t count = std::min(room.size(), length_ - next_);
            std::memcpy(room.data(), static_cast<const char*>(data) + next_, count);
            next_ += count;
            return count;
        }
        if (!pending_.empty()) return take_pending(room);
        const std::size_t longest = kind_ == PyUnicode_1BYTE_KIND ? 2 : kind_ == PyUnicode_2BYTE_KIND ? 3 : 4;
        const std::size_t count = std::min(std::max<std::size_t>(room.size() / longest, 1), length_ - next_);
        if (count == 0) return 0;
        if (room.size() < count * longest) return encode_one(room);
        const char* end = read::encode_utf8(static_cast<const char*>(data) + next_ * static_cast<std::size_t>(kind_),
                                            kind_, count, room.data());
        if (end == nullptr) throw_unencodable();
        next_ += count;
        return static_cast<std::size_t>(end - room.data());
    }

    void close() noexcept override { text_.reset(); }

private:
    // A room too small for one unit's longest form: the unit goes through a scratch array, and
    // its bytes that do not fit wait for the next call.
    std::size_t encode_one(std::span<char> room)
    {
        char scratch[4];
        const char* const units = static_cast<const char*>(PyUnicode_DATA(text_.get())) +
                                  next_ * static_cast<std::size_t>(kind_);
        const char* const end = read::encode_utf8(units, kind_, 1, scratch);
        if (end == nullptr) throw_unencodable();
        pending_.assign(scratch, static_cast<std::size_t>(end - scratch));
        ++next_;
        return take_pending(room);
    }

    std::size_t take_pending(std::span<char> room)
    {
        const std::size_t count = std::min(room.size(), pending_.size());
        std::memcpy(room.data(), pending_.data(), count);
        pending_.erase(0, count);
        return count;
    }

    // The interpreter's own error for a str without a UTF-8 form.
    [[noreturn]] void throw_unencodable() const
    {
        if (utf8_view(text_.get())) throw_internal("a str without a UTF-8 form was encoded");
        throw_python_error();
    }

    PyRef text_;
    int kind_;
    bool ascii_;
    std::size_t length_;
    std::size_t next_ = 0;  // the next code unit to encode
    std::string pending_;   // bytes of a unit that did not fit the room
};

}  // namespace

std::unique_ptr<StreamSource> open_path_source(const std::string& path) { return std::make_unique<PathSource>(path); }

std::unique_ptr<StreamSource> file_object_source(PyObject* file)
{
    for (const bool into : {true, false}) {
        PyRef method = PyRef::steal(PyObject_GetAttrString(file, into ? "readinto" : "read"));
        if (method) return std::make_unique<FileObjectSource>(file, std::move(method), into);
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_python_error();
        PyErr_Clear();
    }
    throw_type_mismatch(file, "path or binary file object");
}

std::unique_ptr<StreamSource> str_source(PyObject* text) { return std::make_unique<StrSource>(text); }

}  // namespace brindle::stream
