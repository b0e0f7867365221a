#include "stream/record_iterator.hpp"

#include <atomic>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "ffi/errors.hpp"
#include "ffi/frame.hpp"
#include "memory/running_call.hpp"
#include "node/node.hpp"
#include "read/read_errors.hpp"
#include "reader/stream/stream_parser.hpp"
#include "stream/node_records.hpp"
#include "stream/stream_buffer.hpp"

namespace brindle::stream {

using namespace ffi;

namespace {

// One stream's state. Every member function runs with the lock held; reading a path and
// parsing a buffer release it.
class RecordStream {
public:
    RecordStream(std::unique_ptr<StreamSource> source, std::string_view tag, std::size_t buffer_size)
        : source_(std::move(source)),
          parser_(std::make_unique<reader::StreamParser>(tag, records_, buffer_size, 0, stream_buffer_blocks()))
    {}
    ~RecordStream() { finish(); }

    // A new reference to the next record, or null (no exception set) after the last.
    PyObject* next()
    {
        Running running(running_);
        while (true) {
            if (next_ready_ < ready_.size()) return take_ready();
            if (deferred_) {
                std::exception_ptr failure = std::exchange(deferred_, nullptr);
                finish();
                std::rethrow_exception(failure);
            }
            if (!parser_) return nullptr;
            try {
                read_and_parse();
            } catch (...) {
                finish();
                throw;
            }
        }
    }

    void close()
    {
        Running running(running_);
        finish();
    }

    // The collector's view: a file object that holds the iterator makes a cycle through it,
    // which clearing the iterator breaks (never while it is reading).
    int traverse(visitproc visit, void* arg) noexcept { return source_->traverse(visit, arg); }
    void clear() noexcept
    {
        if (!running_) finish();
    }

private:
    // Marks the stream as being read for its lifetime; a second reader, from another thread or
    // from the file object's own read, fails (atomically so, also where threads run without a
    // global lock).
    class Running {
    public:
        explicit Running(std::atomic<bool>& flag) : flag_(flag)
        {
            if (flag_.exchange(true)) throw_error(PyExc_ValueError, "the stream is already being read by another call");
        }
        ~Running() { flag_.store(false); }
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;

    private:
        std::atomic<bool>& flag_;
    };

    PyObject* take_ready()
    {
        PyRef node = std::move(ready_[next_ready_++]);
        if (next_ready_ == ready_.size()) {
            ready_.clear();
            next_ready_ = 0;
        }
        return node.release();
    }

    // Fills the parser's room and walks it; Ctrl-C stops the stream between buffers. A path is
    // read without the lock (it may be a pipe another Python thread writes); the walk makes the
    // records' nodes without it too where the interpreter allows objects to be made so.
    void read_and_parse()
    {
        if (PyErr_CheckSignals() < 0) throw_python_error();
        if (source_->reads_unlocked()) {
            GilRelease released;
            fill();
        } else {
            fill();
        }
        reader::ReadError error;
        reader::StreamStep step;
        {
            std::optional<GilRelease> released;
            if (node::kNodesWithoutLock) released.emplace();
            step = parser_->parse(error);
        }
        records_.take_ready(ready_);
        if (step == reader::StreamStep::Finished) finish_reading();
        if (step != reader::StreamStep::Failed) return;
        try {
            read::throw_read_error(error);  // raised once the records before the fault are out
        } catch (...) {
            deferred_ = std::current_exception();
        }
        finish_reading();
    }

    // Fills the room wholly, unless the stream ends first.
    void fill()
    {
        const std::span<char> room = parser_->room();
        if (room.empty()) throw std::bad_alloc();
        std::size_t filled = 0;
        while (filled < room.size()) {
            const std::size_t got = source_->read(room.subspan(filled));
            if (got == 0) {
                parser_->end();
                break;
            }
            filled += got;
        }
        parser_->commit(filled);
    }

    // The parser and the source go; records not yet taken stay to be yielded.
    void finish_reading() noexcept
    {
        parser_.reset();
        records_.drop_unfinished();
        source_->close();
    }

    void finish() noexcept
    {
        finish_reading();
        ready_.clear();
        next_ready_ = 0;
        deferred_ = nullptr;
    }

    std::unique_ptr<StreamSource> source_;
    NodeRecords records_;
    std::unique_ptr<reader::StreamParser> parser_;  // null once the stream is read or stopped
    std::vector<PyRef> ready_;                      // records made and not yet yielded
    std::size_t next_ready_ = 0;
    std::exception_ptr deferred_;  // the fault after the ready records
    std::atomic<bool> running_{false};
};

struct RecordIteratorObject {
    PyObject_HEAD
    RecordStream* stream;
};

RecordStream& stream_of(PyObject* self) { return *reinterpret_cast<RecordIteratorObject*>(self)->stream; }

PyObject* record_iterator_next(PyObject* self)
{
    return call_frame([&] {
        const memory::RunningCall running;
        return stream_of(self).next();
    });
}

PyObject* record_iterator_close(PyObject* self, PyObject*)
{
    return call_frame([&] {
        const memory::RunningCall running;
        stream_of(self).close();
        Py_RETURN_NONE;
    });
}

int record_iterator_traverse(PyObject* self, visitproc visit, void* arg)
{
    Py_VISIT(Py_TYPE(self));
    RecordStream* stream = reinterpret_cast<RecordIteratorObject*>(self)->stream;
    return stream == nullptr ? 0 : stream->traverse(visit, arg);
}

int record_iterator_clear(PyObject* self)
{
    RecordStream* stream = reinterpret_cast<RecordIteratorObject*>(self)->stream;
    if (stream != nullptr) stream->clear();
    return 0;
}

void record_iterator_dealloc(PyObject* self)
{
    auto* iterator = reinterpret_cast<RecordIteratorObject*>(self);
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    delete iterator->stream;
    type->tp_free(self);
    Py_DECREF(type);
}

PyMethodDef record_iterator_methods[] = {
    {"close", record_iterator_close, METH_NOARGS,
     "close()\n--\n\nStops the stream: a file that the iterator opened is closed now."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot record_iterator_slots[] = {
    {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
    {Py_tp_iternext, reinterpret_cast<void*>(record_iterator_next)},
    {Py_tp_dealloc, reinterpret_cast<void*>(record_iterator_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(record_iterator_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(record_iterator_clear)},
    {Py_tp_methods, record_iterator_methods},
    {0, nullptr},
};

PyType_Spec record_iterator_spec = {"brindle.RecordIterator", static_cast<int>(sizeof(RecordIteratorObject)), 0,
                                    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_HAVE_GC,
                                    record_iterator_slots};

PyTypeObject* g_record_iterator_type = nullptr;

PyTypeObject* record_iterator_type()
{
    if (g_record_iterator_type == nullptr) {
        PyObject* type = PyType_FromSpec(&record_iterator_spec);
        if (type == nullptr) throw_internal_from_python("failed to create type object for `RecordIterator`");
        g_record_iterator_type = reinterpret_cast<PyTypeObject*>(type);
    }
    return g_record_iterator_type;
}

}  // namespace

PyObject* make_record_iterator(std::unique_ptr<StreamSource> source, std::string_view tag, std::size_t buffer_size)
{
    PyTypeObject* type = record_iterator_type();
    auto stream = std::make_unique<RecordStream>(std::move(source), tag, buffer_size);
    PyRef iterator = checked(type->tp_alloc(type, 0));
    reinterpret_cast<RecordIteratorObject*>(iterator.get())->stream = stream.release();
    return iterator.release();
}

}  // namespace brindle::stream
