// The harnesses' one way to fail: print what was expected and why it matters, then abort,
// which libFuzzer reports as a crash and saves the input for.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace brindle::fuzz {

[[noreturn, gnu::cold]] inline void fail(const char* file, int line, const char* condition, const char* meaning)
{
    std::fprintf(stderr, "%s:%d: expected %s (%s)\n", file, line, condition, meaning);
    std::abort();
}

}  // namespace brindle::fuzz

// A macro only so the message can name the file, the line and the condition's text.
#define EXPECT(condition, meaning)                                                                                     \
    ((condition) ? void() : ::brindle::fuzz::fail(__FILE__, __LINE__, #condition, meaning))
