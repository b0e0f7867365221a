// A stream's buffer memory: small buffers from the C allocator, large ones (a long record
// carried over and read again) from the per-process store of kept pages, so that what many
// threads' streams leave behind stays within the store's bound rather than in the C allocator's
// per-thread heaps.
#pragma once

#include "reader/stream/buffer_blocks.hpp"

namespace brindle::stream {

reader::BufferBlocks& stream_buffer_blocks() noexcept;

}  // namespace brindle::stream
