#include "memory/kept_report.hpp"

#include "ffi/frame.hpp"
#include "ffi/py_ref.hpp"
#include "memory/kept_pages.hpp"

namespace brindle::memory {

using namespace ffi;

namespace {

constexpr Signature kKeptMemory{"_kept_memory", "", nullptr, 0, 0};

}  // namespace

// (bytes kept, calls running): read one after the other, without the store's lock, so a thread
// that calls meanwhile may change one before the other is read.
PyObject* py_kept_memory(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&] {
        bind<0>(kKeptMemory, args, nargs, kwnames);
        return checked(Py_BuildValue("(nn)", static_cast<Py_ssize_t>(kept_bytes()),
                                     static_cast<Py_ssize_t>(calls_running())))
            .release();
    });
}

}  // namespace brindle::memory
