// Holding off the cyclic garbage collector while a call builds a large acyclic result.
//
// Every few hundred new containers the collector runs, and with millions of new dicts and lists
// its passes cost several times the building itself. A result made only of new dicts, lists
// and strings holds no cycle, and no Python code runs while it is built, so nothing collectable
// can appear meanwhile. The collector's previous state is restored on every path out; its
// allocation count carries the new objects, so it looks at them at its next natural run.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace brindle::convert {

class GcPause {
public:
    GcPause() noexcept : was_enabled_(PyGC_Disable() != 0) {}
    ~GcPause()
    {
        if (was_enabled_) PyGC_Enable();
    }
    GcPause(const GcPause&) = delete;
    GcPause& operator=(const GcPause&) = delete;

private:
    bool was_enabled_;
};

}  // namespace brindle::convert
