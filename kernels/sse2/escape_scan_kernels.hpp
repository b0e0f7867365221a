#pragma once
// The writer's searches of sse2/escape_scan.hpp as functions for the kernel tables of the x86
// levels; see escape_scan_kernels.cpp.

namespace brindle::kernels::sse2 {

const char* find_escapable_text(const char* begin, const char* at, const char* end) noexcept;
const char* find_escapable_attribute(const char* begin, const char* at, const char* end) noexcept;
const char* find_suspect(const char* at, const char* end) noexcept;

}  // namespace brindle::kernels::sse2
