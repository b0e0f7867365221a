// Allocation failures: every allocation a build makes is made to fail in turn, and the
// build must report OutOfMemory (never throw, never crash); once enough allocations
// succeed, the index equals the one built without failures.
//
// This program replaces the global operator new, so it is a test program of its own.

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "index/structural/structural_index.hpp"
#include "index_test_support.hpp"

namespace {

// Allocations left before the next one fails; negative means no failures.
long allocations_left = -1;

void* allocate(std::size_t size) {
    if (allocations_left == 0) {
        throw std::bad_alloc();
    }
    if (allocations_left > 0) {
        --allocations_left;
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace brindle::index {
namespace {

using testing::Builder;

struct NamedBuilder {
    const char* name;
    Builder build;
};

class OutOfMemory : public ::testing::TestWithParam<NamedBuilder> {};

TEST_P(OutOfMemory, EveryFailingAllocationIsReported) {
    // long enough for initial capacities and growth of every array
    std::string document = "<?xml version=\"1.0\"?><r>";
    for (int i = 0; i < 400; ++i) {
        document += "<e k='" + std::to_string(i) + "'>t<![CDATA[c]]><!--x--></e>";
    }
    document += "</r>";
    StructuralIndex reference;
    ASSERT_EQ(GetParam().build(document, reference).status, BuildStatus::Ok);

    int failures = 0;
    for (long budget = 0;; ++budget) {
        StructuralIndex index;
        allocations_left = budget;
        const BuildResult result = GetParam().build(document, index);
        allocations_left = -1;
        if (result.status == BuildStatus::OutOfMemory) {
            ++failures;
            ASSERT_LT(result.offset, document.size()) << "budget " << budget;
            continue;
        }
        ASSERT_EQ(result.status, BuildStatus::Ok) << "budget " << budget;
        EXPECT_EQ(testing::tags_of(index), testing::tags_of(reference));
        EXPECT_EQ(testing::texts_of(index), testing::texts_of(reference));
        break;
    }
    // the initial arrays and their growth: at least one failure per array
    EXPECT_GE(failures, 7);
}

INSTANTIATE_TEST_SUITE_P(Builders, OutOfMemory,
                         ::testing::Values(NamedBuilder{"Direct", &build_direct},
                                           NamedBuilder{"QuoteDense", &build_quote_dense}),
                         [](const auto& info) { return std::string(info.param.name); });

// Windows: the builder itself and each window's arrays are allocations that may fail; a
// failure ends the build with OutOfMemory, and with room enough every window succeeds.
TEST(OutOfMemoryInWindows, EveryFailingAllocationIsReported) {
    std::string document = "<r>";
    for (int i = 0; i < 300; ++i) {
        document += "<e>t<![CDATA[c]]></e>";
    }
    document += "</r>";
    int failures = 0;
    for (long budget = 0;; ++budget) {
        StructuralIndex window;
        allocations_left = budget;
        DirectWindows windows(document, window, 64);
        BuildResult result{};
        std::size_t tags = 0;
        do {
            result = windows.next();
            tags += window.tag_count();
        } while (!windows.done());
        allocations_left = -1;
        if (result.status == BuildStatus::OutOfMemory) {
            ++failures;
            ASSERT_LT(result.offset, document.size()) << "budget " << budget;
            continue;
        }
        ASSERT_EQ(result.status, BuildStatus::Ok) << "budget " << budget;
        EXPECT_EQ(tags, 2U + 300U * 3U);
        break;
    }
    // the builder and the seven arrays of the first window at least
    EXPECT_GE(failures, 8);
}

}  // namespace
}  // namespace brindle::index
