// Choosing the kernel table once per process.

#include <cstdlib>
#include <cstring>

#include "kernels/kernels.hpp"
#include "kernels/scalar/scalar_kernels.hpp"

#if defined(BRINDLE_KERNELS_X86)
#include "kernels/avx2/avx2_kernels.hpp"
#include "kernels/avx512/avx512_kernels.hpp"
#include "kernels/sse42/sse42_kernels.hpp"
#endif

namespace brindle::kernels {
namespace {

// The level BRINDLE_KERNELS names, or the highest when it names none.
Level requested_level() noexcept
{
    const char* name = std::getenv("BRINDLE_KERNELS");
    if (name != nullptr) {
        for (const Level level : kLevels) {
            if (std::strcmp(name, level_name(level)) == 0) {
                return level;
            }
        }
    }
    return Level::Avx512;
}

const KernelTable& choose() noexcept
{
    Level level = requested_level();
    while (!is_supported(level)) {
        level = static_cast<Level>(static_cast<int>(level) - 1);
    }
    return table_for(level);
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

bool is_supported(Level level) noexcept
{
#if defined(BRINDLE_KERNELS_X86)
    __builtin_cpu_init();  // in case this runs before the runtime's own initialisation
#endif
    switch (level) {
#if defined(BRINDLE_KERNELS_X86)
    case Level::Sse42: return __builtin_cpu_supports("sse4.2");
    case Level::Avx2: return __builtin_cpu_supports("avx2");
    case Level::Avx512: return __builtin_cpu_supports("avx512bw");
#else
    case Level::Sse42:
    case Level::Avx2:
    case Level::Avx512: return false;
#endif
    case Level::Scalar: break;
    }
    return true;
}

const KernelTable& table_for(Level level) noexcept
{
    switch (level) {
#if defined(BRINDLE_KERNELS_X86)
    case Level::Sse42: return sse42::kTable;
    case Level::Avx2: return avx2::kTable;
    case Level::Avx512: return avx512::kTable;
#endif
    default: break;
    }
    return scalar::kTable;
}

const KernelTable& active() noexcept
{
    static const KernelTable& chosen = choose();
    return chosen;
}

}  // namespace brindle::kernels
