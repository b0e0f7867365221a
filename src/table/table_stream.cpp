// The stream's callbacks run on whichever thread the consumer calls them from, with or without
// the interpreter lock: they take it only to read a caller's file object (or a str source) and
// to let go of one, and never hold it while parsing. The arrays they hand out own plain C
// memory: releasing one touches nothing of Python.
#include "table/table_stream.hpp"

#include <cerrno>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "ffi/errors.hpp"
#include "ffi/frame.hpp"
#include "ffi/py_ref.hpp"
#include "memory/running_call.hpp"
#include "read/read_errors.hpp"
#include "reader/stream/stream_parser.hpp"
#include "stream/stream_buffer.hpp"
#include "table/record_range.hpp"

namespace brindle::tables {

using namespace ffi;

namespace {

constexpr const char* kStreamCapsule = "arrow_array_stream";
constexpr const char* kSchemaCapsule = "arrow_schema";

bool interpreter_finishing() noexcept
{
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing() != 0;
#else
    return _Py_IsFinalizing() != 0;
#endif
}

// The interpreter lock, taken on any thread, held or not before.
class GilHeld {
public:
    GilHeld() noexcept : state_(PyGILState_Ensure()) {}
    ~GilHeld() { PyGILState_Release(state_); }
    GilHeld(const GilHeld&) = delete;
    GilHeld& operator=(const GilHeld&) = delete;

private:
    PyGILState_STATE state_;
};

// Lets the lock go for the scope when this thread holds it (a consumer called from Python).
class GilLetGo {
public:
    GilLetGo() noexcept : state_(PyGILState_Check() ? PyEval_SaveThread() : nullptr) {}
    ~GilLetGo()
    {
        if (state_ != nullptr) PyEval_RestoreThread(state_);
    }
    GilLetGo(const GilLetGo&) = delete;
    GilLetGo& operator=(const GilLetGo&) = delete;

private:
    PyThreadState* state_;
};

// The errno a consumer maps back to the exception brindle raises: pyarrow makes EINVAL
// ArrowInvalid (a ValueError), ENOMEM ArrowMemoryError (a MemoryError), EIO an OSError.
int errno_for(PyObject* type) noexcept
{
    if (type == PyExc_ValueError) return EINVAL;
    if (type == PyExc_MemoryError) return ENOMEM;
    return EIO;
}

// One stream's state: owned by the table object until __arrow_c_stream__, then by the C stream.
class TableState {
public:
    TableState(std::unique_ptr<stream::StreamSource> source, std::string_view tag,
               std::vector<table::ColumnSpec> columns, std::size_t batch_rows, std::size_t buffer_size,
               const PiecePlan* piece)
        : source_(std::move(source)), extractor_(std::move(columns), batch_rows)
    {
        if (piece != nullptr) range_.emplace(&extractor_, piece->end);
        reader::RecordSinks& sinks = range_ ? static_cast<reader::RecordSinks&>(*range_) : extractor_;
        parser_ = std::make_unique<reader::StreamParser>(tag, sinks, buffer_size, 0, stream::stream_buffer_blocks());
        extractor_.watch(*parser_);
        if (piece != nullptr) start_piece(*piece);
        if (extractor_.schema(&schema_) != NANOARROW_OK) throw std::bad_alloc();
    }

    // What the piece found, shared with the table object, which outlives the stream.
    const std::shared_ptr<PieceReport>& report() const noexcept { return report_; }

    ~TableState()
    {
        if (schema_.release != nullptr) schema_.release(&schema_);
        close_source();
    }
    TableState(const TableState&) = delete;
    TableState& operator=(const TableState&) = delete;

    int schema(ArrowSchema* out) noexcept { return ArrowSchemaDeepCopy(&schema_, out); }

    // The next batch, or a released array at the end. Any thread, lock held or not.
    int next(ArrowArray* out) noexcept
    {
        while (true) {
            if (extractor_.has_batch()) {
                extractor_.take_batch(out);
                return 0;
            }
            if (error_code_ != 0) return error_code_;
            if (!parser_) {
                out->release = nullptr;
                return 0;
            }
            read_and_parse();
        }
    }

    const char* last_error() const noexcept { return error_code_ != 0 ? error_.c_str() : nullptr; }

    int traverse(visitproc visit, void* arg) noexcept { return source_ ? source_->traverse(visit, arg) : 0; }

    // The source goes: a file opened here is closed; a caller's file object is let go, under
    // the lock (never while the interpreter is finishing: it is then left as it is).
    void close_source() noexcept
    {
        parser_.reset();
        if (!source_) return;
        if (source_->reads_unlocked()) {
            source_->close();
        } else if (interpreter_finishing()) {
            (void)source_.release();
            return;
        } else {
            GilHeld held;
            source_->close();
            source_.reset();
            return;
        }
        source_.reset();
    }

private:
    void start_piece(const PiecePlan& piece)
    {
        range_->watch(*parser_);
        parser_->choose_builder(piece.quote_dense);
        if (piece.first && *piece.first != piece.head_end) parser_->continue_at(piece.head_end, *piece.first);
        ancestors_ = piece.ancestors;
        report_ = std::make_shared<PieceReport>();
        if (!piece.empty) {
            report_->first = piece.first;
            return;
        }
        parser_.reset();  // no record can start in the range: nothing to read
        report_->ended = true;
    }

    // The stream is done (read to its end, stopped at the piece's end, or failed): what the
    // piece found can be read.
    void report_end() noexcept
    {
        if (!report_) return;
        if (range_->reached_end()) {
            report_->next = range_->next_record();
            report_->ancestors_kept = range_->next_ancestors() == ancestors_;
            report_->found_next = true;
        }
        report_->ended = true;
    }

    // The rows are all read: the stream reached its end, or, for a piece, the first record after
    // its range (what the stream holds after that record, more records or faults, is the next
    // piece's).
    void finish() noexcept
    {
        parser_.reset();
        report_end();
        if (extractor_.flush() != NANOARROW_OK) fail(ENOMEM, "out of memory");
    }

    void fail(int code, std::string message) noexcept
    {
        parser_.reset();
        if (report_) report_->ended = true;  // a failed piece found no next record
        try {
            error_ = std::move(message);
        } catch (const std::bad_alloc&) {
            error_.clear();
        }
        error_code_ = code;
        if (extractor_.flush() != NANOARROW_OK) error_code_ = ENOMEM;
    }

    void read_and_parse() noexcept
    {
        if (!fill()) return;
        reader::ReadError error;
        reader::StreamStep step;
        {
            GilLetGo let_go;
            step = parser_->parse(error);
        }
        if (extractor_.failed()) return fail(EINVAL, conversion_message());
        if (range_ && range_->reached_end()) return finish();
        if (step == reader::StreamStep::Failed) return fail_reading(error);
        if (step == reader::StreamStep::Finished) finish();
    }

    void fail_reading(const reader::ReadError& error) noexcept
    {
        try {
            read::throw_read_error(error);
        } catch (const PendingError& pending) {
            return fail(errno_for(pending.type), pending.message);
        } catch (...) {
        }
        fail(ENOMEM, "out of memory");
    }

    std::string conversion_message() const
    {
        const table::ConversionFault& fault = extractor_.fault();
        const table::ColumnSpec& column = extractor_.columns()[fault.column];
        static constexpr const char* kTypeNames[] = {"str", "int64", "float64", "bool"};
        return "column '" + column.name + "' of the record at byte " + std::to_string(fault.record_offset) +
               ": cannot convert '" + fault.value + "' to " + kTypeNames[static_cast<int>(column.type)];
    }

    // Fills the parser's room wholly, unless the stream ends first. False after a failure.
    bool fill() noexcept
    {
        const std::span<char> room = parser_->room();
        if (room.empty()) {
            fail(ENOMEM, "out of memory");
            return false;
        }
        if (source_->reads_unlocked()) return fill_from_source(room);
        if (interpreter_finishing()) {
            fail(EIO, "the interpreter is shutting down");
            return false;
        }
        GilHeld held;
        return fill_from_source(room);
    }

    bool fill_from_source(std::span<char> room) noexcept
    {
        std::size_t filled = 0;
        try {
            while (filled < room.size()) {
                const std::size_t got = source_->read(room.subspan(filled));
                if (got == 0) {
                    parser_->end();
                    break;
                }
                filled += got;
            }
        } catch (const PendingError& pending) {
            fail(errno_for(pending.type), pending.message);
            return false;
        } catch (const PythonError&) {
            // Only a source that reads under the lock raises through Python: it is held here.
            fail_with_python_error();
            return false;
        } catch (const std::bad_alloc&) {
            fail(ENOMEM, "out of memory");
            return false;
        } catch (...) {
            fail(EIO, "the source failed");
            return false;
        }
        parser_->commit(filled);
        return true;
    }

    // The interpreter's pending exception becomes the stream's error (its class and message).
    void fail_with_python_error() noexcept
    {
        PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
        PyErr_Fetch(&type, &value, &traceback);
        PyErr_NormalizeException(&type, &value, &traceback);
        int code = EIO;
        if (type != nullptr && PyErr_GivenExceptionMatches(type, PyExc_ValueError)) code = EINVAL;
        if (type != nullptr && PyErr_GivenExceptionMatches(type, PyExc_MemoryError)) code = ENOMEM;
        std::string message = "the source raised an exception";
        if (value != nullptr) {
            PyObject* text = PyObject_Str(value);
            const char* utf8 = text != nullptr ? PyUnicode_AsUTF8(text) : nullptr;
            if (utf8 != nullptr) message = utf8;
            Py_XDECREF(text);
        }
        PyErr_Clear();
        Py_XDECREF(type);
        Py_XDECREF(value);
        Py_XDECREF(traceback);
        fail(code, std::move(message));
    }

    std::unique_ptr<stream::StreamSource> source_;
    table::RecordExtractor extractor_;
    std::optional<table::RecordRange> range_;       // with a piece: its records, before the extractor
    std::unique_ptr<reader::StreamParser> parser_;  // null once the stream is read or failed
    std::vector<std::string> ancestors_;            // with a piece: around the file's first record
    std::shared_ptr<PieceReport> report_;           // with a piece
    ArrowSchema schema_{};
    int error_code_ = 0;  // once failed: every later call returns it
    std::string error_;
};

// The C stream's callbacks.
TableState& state_of(ArrowArrayStream* stream) { return *static_cast<TableState*>(stream->private_data); }

int stream_get_schema(ArrowArrayStream* stream, ArrowSchema* out) { return state_of(stream).schema(out); }
int stream_get_next(ArrowArrayStream* stream, ArrowArray* out)
{
    const memory::RunningCall running;
    return state_of(stream).next(out);
}
const char* stream_get_last_error(ArrowArrayStream* stream) { return state_of(stream).last_error(); }
void stream_release(ArrowArrayStream* stream)
{
    delete static_cast<TableState*>(stream->private_data);
    stream->private_data = nullptr;
    stream->release = nullptr;
}

void stream_capsule_destructor(PyObject* capsule)
{
    auto* stream = static_cast<ArrowArrayStream*>(PyCapsule_GetPointer(capsule, kStreamCapsule));
    if (stream == nullptr) {
        PyErr_WriteUnraisable(capsule);
        return;
    }
    if (stream->release != nullptr) stream->release(stream);
    delete stream;
}

void schema_capsule_destructor(PyObject* capsule)
{
    auto* schema = static_cast<ArrowSchema*>(PyCapsule_GetPointer(capsule, kSchemaCapsule));
    if (schema == nullptr) {
        PyErr_WriteUnraisable(capsule);
        return;
    }
    if (schema->release != nullptr) schema->release(schema);
    delete schema;
}

struct TableStreamObject {
    PyObject_HEAD
    TableState* state;                     // null once handed out
    std::shared_ptr<PieceReport>* report;  // with byte_range: what the piece found
};

TableState& held_state(PyObject* self)
{
    TableState* state = reinterpret_cast<TableStreamObject*>(self)->state;
    if (state == nullptr) throw_error(PyExc_ValueError, "the table's rows were already handed out");
    return *state;
}

// __arrow_c_stream__(requested_schema=None): the rows, once. A requested schema is not used
// to cast: the consumer casts, as the protocol lets it.
PyObject* table_arrow_c_stream(PyObject* self, PyObject* const*, Py_ssize_t nargs)
{
    return call_frame([&]() -> PyObject* {
        if (nargs > 1) throw_error(PyExc_TypeError, "__arrow_c_stream__() takes at most 1 argument");
        held_state(self);
        auto stream = std::make_unique<ArrowArrayStream>();
        PyRef capsule = checked(PyCapsule_New(stream.get(), kStreamCapsule, stream_capsule_destructor));
        ArrowArrayStream* const raw = stream.release();  // the capsule's now
        raw->get_schema = stream_get_schema;
        raw->get_next = stream_get_next;
        raw->get_last_error = stream_get_last_error;
        raw->release = stream_release;
        raw->private_data = std::exchange(reinterpret_cast<TableStreamObject*>(self)->state, nullptr);
        return capsule.release();
    });
}

PyObject* table_arrow_c_schema(PyObject* self, PyObject*)
{
    return call_frame([&]() -> PyObject* {
        auto schema = std::make_unique<ArrowSchema>();
        schema->release = nullptr;
        if (held_state(self).schema(schema.get()) != NANOARROW_OK) throw std::bad_alloc();
        PyRef capsule = PyRef::steal(PyCapsule_New(schema.get(), kSchemaCapsule, schema_capsule_destructor));
        if (!capsule) {
            schema->release(schema.get());
            throw_python_error();
        }
        (void)schema.release();
        return capsule.release();
    });
}

// The piece's offsets: None without byte_range; the end's once every batch has been read.
const PieceReport* piece_report(PyObject* self, bool at_end)
{
    const std::shared_ptr<PieceReport>* report = reinterpret_cast<TableStreamObject*>(self)->report;
    if (report == nullptr) return nullptr;
    if (at_end && !(*report)->ended) {
        throw_error(PyExc_ValueError, "the piece's end is known once every batch has been read");
    }
    return report->get();
}

PyObject* offset_or_none(std::optional<std::uint64_t> offset)
{
    if (!offset) Py_RETURN_NONE;
    return checked(PyLong_FromUnsignedLongLong(*offset)).release();
}

PyObject* table_first_record(PyObject* self, void*)
{
    return call_frame([&]() -> PyObject* {
        const PieceReport* report = piece_report(self, false);
        return offset_or_none(report != nullptr ? report->first : std::nullopt);
    });
}

PyObject* table_next_record(PyObject* self, void*)
{
    return call_frame([&]() -> PyObject* {
        const PieceReport* report = piece_report(self, true);
        if (report == nullptr || !report->found_next) return offset_or_none(std::nullopt);
        return offset_or_none(report->next.load());
    });
}

PyObject* table_ancestors_kept(PyObject* self, void*)
{
    return call_frame([&]() -> PyObject* {
        const PieceReport* report = piece_report(self, true);
        if (report == nullptr) Py_RETURN_NONE;
        return PyBool_FromLong(report->found_next && report->ancestors_kept);
    });
}

int table_traverse(PyObject* self, visitproc visit, void* arg)
{
    Py_VISIT(Py_TYPE(self));
    TableState* state = reinterpret_cast<TableStreamObject*>(self)->state;
    return state == nullptr ? 0 : state->traverse(visit, arg);
}

int table_clear(PyObject* self)
{
    delete std::exchange(reinterpret_cast<TableStreamObject*>(self)->state, nullptr);
    return 0;
}

void table_dealloc(PyObject* self)
{
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    delete reinterpret_cast<TableStreamObject*>(self)->state;
    delete reinterpret_cast<TableStreamObject*>(self)->report;
    type->tp_free(self);
    Py_DECREF(type);
}

PyMethodDef table_methods[] = {
    {"__arrow_c_stream__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(table_arrow_c_stream)),
     METH_FASTCALL,
     "__arrow_c_stream__(requested_schema=None)\n--\n\n"
     "The rows as an Arrow C stream of record batches, in a PyCapsule; they can be taken once."},
    {"__arrow_c_schema__", table_arrow_c_schema, METH_NOARGS,
     "__arrow_c_schema__()\n--\n\nThe schema of the rows (a struct of the columns), in a PyCapsule."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef table_getset[] = {
    {"first_record", table_first_record, nullptr,
     "With byte_range: the byte offset where the piece's records start (its first candidate for "
     "a record start, or the file's first record), or None when the range holds none.",
     nullptr},
    {"next_record", table_next_record, nullptr,
     "With byte_range, once every batch has been read: the byte offset of the first record at "
     "or after the range's end, or None when the file ended first.",
     nullptr},
    {"ancestors_kept", table_ancestors_kept, nullptr,
     "With byte_range, once every batch has been read: whether the elements open around "
     "next_record are those open around the file's first record.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot table_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(table_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(table_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(table_clear)},
    {Py_tp_methods, table_methods},
    {Py_tp_getset, table_getset},
    {0, nullptr},
};

PyType_Spec table_spec = {"brindle.TableStream", static_cast<int>(sizeof(TableStreamObject)), 0,
                          Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_HAVE_GC, table_slots};

PyTypeObject* g_table_type = nullptr;

PyTypeObject* table_type()
{
    if (g_table_type == nullptr) {
        PyObject* type = PyType_FromSpec(&table_spec);
        if (type == nullptr) throw_internal_from_python("failed to create type object for `TableStream`");
        g_table_type = reinterpret_cast<PyTypeObject*>(type);
    }
    return g_table_type;
}

}  // namespace

PyObject* make_table_stream(std::unique_ptr<stream::StreamSource> source, std::string_view tag,
                            std::vector<table::ColumnSpec> columns, std::size_t batch_rows, std::size_t buffer_size,
                            const PiecePlan* piece)
{
    PyTypeObject* type = table_type();
    auto state = std::make_unique<TableState>(std::move(source), tag, std::move(columns), batch_rows, buffer_size,
                                              piece);
    std::unique_ptr<std::shared_ptr<PieceReport>> report;
    if (state->report()) report = std::make_unique<std::shared_ptr<PieceReport>>(state->report());
    PyRef table = checked(type->tp_alloc(type, 0));
    auto* object = reinterpret_cast<TableStreamObject*>(table.get());
    object->state = state.release();
    object->report = report.release();
    return table.release();
}

}  // namespace brindle::tables
