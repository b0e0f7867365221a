// read_table's byte_range: the records of one piece of a file, so that processes can share
// one large file. The piece owns the records whose start tag begins in [start, end), and reads
// on past `end` to finish its last one and to find the first record after it.
//
// A piece that starts mid-file needs what the file says before its records (the prolog, and
// the start tags open around them), so it reads the file's head: the bytes up to the file's
// first record. It then reads on from the first candidate for a record start in its range as
// though the head were followed by it, counting offsets as the file's. When the candidate is
// no record (it lay inside a comment, CDATA, a processing instruction or an attribute value),
// or the elements around the records changed, the piece's rows are wrong: the offsets it
// reports (TableStream's first_record, next_record and ancestors_kept) let the caller check
// that the pieces meet, and read again the ones that do not.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stream/stream_source.hpp"

namespace brindle::tables {

struct PiecePlan {
    std::uint64_t end = 0;
    bool empty = false;  // no record can start in the range: nothing to read
    // Where the piece's records start (a candidate, or the file's first record); none when
    // the range holds no candidate.
    std::optional<std::uint64_t> first;
    std::uint64_t head_end = 0;          // the file's first record: the piece's bytes follow the head's from there
    bool quote_dense = false;            // the builder the file's first bytes choose
    std::vector<std::string> ancestors;  // the names of the elements open around the file's first record
};

// What a piece found, for the TableStream's properties: written by the stream (on whichever
// thread reads it), read under the interpreter lock once the stream has ended.
struct PieceReport {
    std::optional<std::uint64_t> first;  // none when the range holds no candidate
    std::atomic<bool> ended{false};      // the stream was read to its end, or failed
    std::atomic<bool> found_next{false};
    std::atomic<std::uint64_t> next{0};
    std::atomic<bool> ancestors_kept{false};
};

// With the lock held; releases it while it reads. Reads the head of the file at `path` and
// finds where the piece [start, end) starts: fills `plan`, and returns the source of the
// piece's stream (the head, then the file from plan.first on). OSError when the file cannot
// be opened or read.
std::unique_ptr<stream::StreamSource> open_piece(const std::string& path, std::string_view tag, std::uint64_t start,
                                                 std::uint64_t end, std::size_t buffer_size, PiecePlan& plan);

}  // namespace brindle::tables
