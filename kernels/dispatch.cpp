// Choosing the kernel table once per process.

#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <span>

#include "kernels/kernels.hpp"
#include "kernels/scalar/scalar_kernels.hpp"

#if defined(BRINDLE_KERNELS_X86)
#include <cpuid.h>

#include "kernels/avx2/avx2_kernels.hpp"
#include "kernels/avx512/avx512_kernels.hpp"
#include "kernels/sse42/sse42_kernels.hpp"
#endif

namespace brindle::kernels {
namespace {

#if defined(BRINDLE_KERNELS_X86)
// What this processor runs and the operating system keeps across a switch of threads, read with
// cpuid and xgetbv here rather than through __builtin_cpu_supports: that one is answered by the
// compiler's runtime library, which differs by toolchain, and the one the release wheels link
// (zig's compiler-rt) answered "no" for every feature, so the wheels ran the scalar kernels.
struct X86Levels {
    bool sse42 = false;
    bool avx2 = false;
    bool avx512bw = false;
};

X86Levels read_x86_levels() noexcept
{
    X86Levels levels;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
        return levels;
    }
    levels.sse42 = (ecx & bit_SSE4_2) != 0;
    if ((ecx & bit_OSXSAVE) == 0 || (ecx & bit_AVX) == 0) {
        return levels;  // no AVX, or an operating system that does not save its registers
    }
    // XCR0 names the register state the operating system saves: bits 1-2 the XMM and YMM
    // registers, bits 5-7 the AVX-512 mask registers and the upper halves of the ZMM ones.
    unsigned xcr0 = 0, xcr0_high = 0;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0_high) : "c"(0));
    const bool saves_ymm = (xcr0 & 0x06u) == 0x06u;
    const bool saves_zmm = (xcr0 & 0xe6u) == 0xe6u;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) {
        return levels;
    }
    levels.avx2 = saves_ymm && (ebx & bit_AVX2) != 0;
    levels.avx512bw = saves_zmm && (ebx & bit_AVX512F) != 0 && (ebx & bit_AVX512BW) != 0;
    return levels;
}

const X86Levels& x86_levels() noexcept
{
    static const X86Levels levels = read_x86_levels();
    return levels;
}
#endif

// One entry of an architecture's list: a level, whether this processor runs it, its table.
struct Choice {
    Level level;
    bool (*runs)() noexcept;
    const KernelTable* table;
};

bool always() noexcept { return true; }

// Each architecture's levels, the preferred first, ending with the scalar level, which every
// processor runs. A new architecture's levels (NEON, say) are one more list here, with their
// check of the processor.
#if defined(BRINDLE_KERNELS_X86)
constexpr Choice kChoices[] = {
    {Level::Avx512, []() noexcept { return x86_levels().avx512bw; }, &avx512::kTable},
    {Level::Avx2, []() noexcept { return x86_levels().avx2; }, &avx2::kTable},
    {Level::Sse42, []() noexcept { return x86_levels().sse42; }, &sse42::kTable},
    {Level::Scalar, always, &scalar::kTable},
};
#else
constexpr Choice kChoices[] = {
    {Level::Scalar, always, &scalar::kTable},
};
#endif
static_assert(std::size(kChoices) > 0 && kChoices[std::size(kChoices) - 1].level == Level::Scalar,
              "every list ends with the scalar level");

constexpr auto kPriority = [] {
    std::array<Level, std::size(kChoices)> levels{};
    for (std::size_t i = 0; i < levels.size(); ++i) levels[i] = kChoices[i].level;
    return levels;
}();

const Choice* find_choice(Level level) noexcept
{
    for (const Choice& choice : kChoices) {
        if (choice.level == level) return &choice;
    }
    return nullptr;
}

// Where the search of the list starts: at the level BRINDLE_KERNELS names, when this build
// holds it, else at the top.
std::size_t first_candidate() noexcept
{
    const char* name = std::getenv("BRINDLE_KERNELS");
    if (name != nullptr) {
        for (std::size_t i = 0; i < std::size(kChoices); ++i) {
            if (std::strcmp(name, level_name(kChoices[i].level)) == 0) return i;
        }
    }
    return 0;
}

const KernelTable& choose() noexcept
{
    for (std::size_t i = first_candidate(); i < std::size(kChoices); ++i) {
        if (kChoices[i].runs()) return *kChoices[i].table;
    }
    return scalar::kTable;  // not reached: the scalar level ends every list
}

}  // namespace

const char* level_name(Level level) noexcept
{
    switch (level) {
    case Level::Sse42: return "sse42";
    case Level::Avx2: return "avx2";
    case Level::Avx512: return "avx512";
    case Level::Scalar: break;
    }
    return "scalar";
}

std::span<const Level> levels_by_priority() noexcept { return kPriority; }

bool is_supported(Level level) noexcept
{
    const Choice* choice = find_choice(level);
    return choice != nullptr && choice->runs();
}

const KernelTable& table_for(Level level) noexcept
{
    const Choice* choice = find_choice(level);
    return choice != nullptr ? *choice->table : scalar::kTable;
}

const KernelTable& active() noexcept
{
    static const KernelTable& chosen = choose();
    return chosen;
}

}  // namespace brindle::kernels
