// The scope in which a read walks its document and makes its Node objects.
#pragma once

#include <optional>

#include "entities/node.hpp"
#include "ffi/frame.hpp"

namespace brindle {

// The read makes its Node objects as it walks, so it runs unlocked only where the interpreter
// allows objects to be made without the lock.
class UnlockedForNodes {
public:
    UnlockedForNodes()
    {
        if (kNodesWithoutLock) released_.emplace();
    }

private:
    std::optional<GilRelease> released_;
};

}  // namespace brindle
