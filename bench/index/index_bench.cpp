// Throughput of the index kernels on generated documents of about 20 MB, next to memchr over
// the same bytes. Each figure is the best of several passes over the whole document, in
// GB/s (10^9 bytes per second) of the thread's processor time.

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "index/structural/builder_choice.hpp"
#include "index/structural/structural_index.hpp"
#include "kernels/kernels.hpp"

namespace {

using namespace brindle::index;
namespace kernels = brindle::kernels;

constexpr std::size_t kTargetBytes = 20'000'000;
constexpr int kPasses = 5;

std::uint64_t sink = 0;  // results feed this so no pass can be optimised away

std::string repeat_until_full(const std::function<std::string(std::mt19937&, std::size_t)>& piece)
{
    std::mt19937 random(2024);
    std::string document = "<root>\n";
    for (std::size_t i = 0; document.size() < kTargetBytes; ++i) {
        document += piece(random, i);
    }
    return document + "</root>\n";
}

std::string word(std::mt19937& random)
{
    static const char* words[] = {"alpha", "beta", "gamma", "delta", "market", "river", "stone",
                                  "Paris", "Oslo", "order", "value", "north",  "quiet", "ledger"};
    return words[random() % (sizeof words / sizeof *words)];
}

// Small elements with short text, as in exported records.
std::string record_like()
{
    return repeat_until_full([](std::mt19937& random, std::size_t i) {
        return "  <record id=\"" + std::to_string(i) + "\">\n    <name>" + word(random) + " " + word(random) +
               "</name>\n    <email>" + word(random) + "@example.org</email>\n    <age>" +
               std::to_string(random() % 90) + "</age>\n    <city>" + word(random) + "</city>\n  </record>\n";
    });
}

// Self-closing elements carrying most of their data in attributes.
std::string attribute_heavy()
{
    return repeat_until_full([](std::mt19937& random, std::size_t i) {
        return "  <item id=\"" + std::to_string(i) + "\" name=\"" + word(random) + " " + word(random) + "\" price=\"" +
               std::to_string(random() % 10000) + ".50\" category=\"" + word(random) + "\" stock=\"" +
               std::to_string(random() % 500) + "\" sku=\"AB-" + std::to_string(random() % 9999) + "\"/>\n";
    });
}

// Long paragraphs of character data between few tags.
std::string text_heavy()
{
    return repeat_until_full([](std::mt19937& random, std::size_t) {
        std::string paragraph = "  <p>";
        while (paragraph.size() < 1500) {
            paragraph += word(random) + (random() % 9 == 0 ? ".\n" : " ");
        }
        return paragraph + "</p>\n";
    });
}

// Many short attributes per tag: more than five double quotes per '<'.
std::string quote_dense()
{
    return repeat_until_full([](std::mt19937& random, std::size_t) {
        std::string row = "  <r";
        for (char key = 'a'; key <= 'l'; ++key) {
            row += std::string(" ") + key + "=\"" + std::to_string(random() % 100) + "\"";
        }
        return row + "/>\n";
    });
}

// The processor time of this thread, in seconds: on a machine shared with other work, time
// spent waiting for a core does not count against a pass.
double thread_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double best_gbps(std::size_t bytes, const std::function<std::uint64_t()>& pass)
{
    double best = 0;
    for (int i = 0; i < kPasses; ++i) {
        const double start = thread_seconds();
        sink += pass();
        const double took = thread_seconds() - start;
        best = std::max(best, static_cast<double>(bytes) / took / 1e9);
    }
    return best;
}

// Visits every '<' of the document, one search per occurrence.
template <typename Search>
std::uint64_t every_less_than(std::string_view document, Search search)
{
    std::uint64_t count = 0;
    for (std::size_t at = search(0); at < document.size(); at = search(at + 1)) {
        ++count;
    }
    return count;
}

using Builder = BuildResult (*)(std::string_view, StructuralIndex&) noexcept;

// Builds into `index`: a fresh one for each pass, as a read does, or one kept from the pass
// before, whose arrays already hold their memory (no page faults, no growth).
std::uint64_t build(std::string_view document, Builder builder, StructuralIndex& index)
{
    const BuildResult result = builder(document, index);
    if (result.status != BuildStatus::Ok) {
        std::fprintf(stderr, "build failed at %llu\n", static_cast<unsigned long long>(result.offset));
    }
    return index.tag_count();
}

// Builds the direct index a window of 16384 tags at a time, as the reader does, into a fresh
// index per pass; the window's arrays are reused from one window to the next.
std::uint64_t build_in_windows(std::string_view document)
{
    StructuralIndex window;
    IndexWindows windows(WindowInput{document}, window, 16384);
    std::uint64_t tags = 0;
    do {
        if (windows.next().status != BuildStatus::Ok) {
            std::fprintf(stderr, "build failed\n");
        }
        tags += window.tag_count();
    } while (!windows.done());
    return tags;
}

void measure(const char* name, const std::string& text)
{
    const std::string_view document = text;
    const std::size_t n = document.size();
    const auto memchr_at = [&](std::size_t from) -> std::size_t {
        const void* hit = std::memchr(document.data() + from, '<', n - from);
        return hit == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(hit) - document.data());
    };
    const auto* bytes = reinterpret_cast<const unsigned char*>(document.data());
    const auto find_at = [&](std::size_t from) { return kernels::find_byte(document, from, '<'); };

    const double memchr_scan = best_gbps(n, [&] { return std::memchr(document.data(), 0x01, n) == nullptr ? 1U : 0U; });
    std::string find_scans;
    for (const kernels::Level level : kernels::kLevels) {
        if (!kernels::is_supported(level)) {
            find_scans += "       -";
            continue;
        }
        const auto search = kernels::table_for(level).find_byte;
        char column[16];
        std::snprintf(column, sizeof column, " %7.2f", best_gbps(n, [&] { return search(bytes, n, 0, 0x01); }));
        find_scans += column;
    }
    const double memchr_each = best_gbps(n, [&] { return every_less_than(document, memchr_at); });
    const double find_each = best_gbps(n, [&] { return every_less_than(document, find_at); });
    const auto fresh = [&](Builder builder) {
        return best_gbps(n, [&] {
            StructuralIndex index;
            return build(document, builder, index);
        });
    };
    const auto reused = [&](Builder builder) {
        StructuralIndex index;
        return best_gbps(n, [&] { return build(document, builder, index); });
    };
    const double direct = fresh(&build_direct);
    const double direct_reused = reused(&build_direct);
    const double direct_windows = best_gbps(n, [&] { return build_in_windows(document); });
    const double dense = fresh(&build_quote_dense);
    const double dense_reused = reused(&build_quote_dense);
    std::printf("%-16s %5.1f %4s %7.2f%s %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f\n", name,
                static_cast<double>(n) / 1e6, prefers_quote_dense(document) ? "QD" : "D", memchr_scan,
                find_scans.c_str(), memchr_each, find_each, direct, direct_reused, direct_windows, dense, dense_reused);
}

}  // namespace

int main()
{
    std::printf("GB/s, best of %d passes. scan: search for a byte that never occurs, by memchr and by the\n"
                "find_byte of each kernel level; each<: one search per '<'. The builders and each< use the\n"
                "active level: %s.\n"
                "pick: the builder the reader would choose (D direct, QD quote-dense).\n"
                "fresh: a new index per pass; reused: the index of the pass before;\n"
                "windows: 16384 tags at a time into one window's arrays, as the reader builds the direct index.\n\n",
                kPasses, kernels::level_name(kernels::active().level));
    std::printf("%-16s %5s %4s %7s %7s %7s %7s %7s %7s %7s %7s %7s %7s %7s %7s\n", "document", "MB", "pick", "memchr",
                "scalar", "sse42", "avx2", "avx512", "memchr", "find_b", "direct", "direct", "direct", "qdense",
                "qdense");
    std::printf("%-16s %5s %4s %7s %7s %7s %7s %7s %7s %7s %7s %7s %7s %7s %7s\n", "", "", "", "scan", "scan", "scan",
                "scan", "scan", "each<", "each<", "fresh", "reused", "windows", "fresh", "reused");
    measure("record-like", record_like());
    measure("attribute-heavy", attribute_heavy());
    measure("text-heavy", text_heavy());
    measure("quote-dense", quote_dense());
    return sink == 0xFFFFFFFFFFFFFFFFULL ? 1 : 0;
}
