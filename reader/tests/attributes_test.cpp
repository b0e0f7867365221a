// Property: an attribute map keeps insertion order and refuses a key it holds, whether it is
// searched linearly or through its hash index (past eight entries) and after copying; the
// parser fills it in document order and reports the first repeated name where it stands.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reader/tree/attr_map.hpp"
#include "reader_test_support.hpp"

namespace brindle::reader {
namespace {

using testing::Builder;

std::vector<std::string> keys_of(const AttrMap& map)
{
    std::vector<std::string> keys;
    for (const auto& entry : map) keys.emplace_back(entry.key);
    return keys;
}

TEST(AttrMap, OrderAndDuplicatesAtEverySize)
{
    for (const int count : {1, 8, 9, 300}) {  // searched linearly up to 8 entries, then hashed
        SCOPED_TRACE(count);
        std::vector<std::string> keys;  // in no sorted order
        for (int i = 1; i <= count; ++i) keys.push_back(testing::join("k", std::to_string(i * 7919 % 100003)));
        AttrMap map;
        for (const std::string& key : keys) ASSERT_TRUE(map.insert(key, key));
        for (const std::string& key : keys) EXPECT_FALSE(map.insert(key, "again"));
        map.insert_or_assign(keys.front(), "replaced");  // keeps its place
        const AttrMap copy = map;
        for (const AttrMap* each : {static_cast<const AttrMap*>(&map), &copy}) {
            EXPECT_EQ(keys_of(*each), keys);
            EXPECT_EQ(*each->find(keys.front()), "replaced");
            EXPECT_EQ(*each->find(keys.back()), count == 1 ? "replaced" : keys.back());
            EXPECT_FALSE(each->find("absent"));
        }
    }
}

class ParsedAttributes : public ::testing::TestWithParam<Builder> {};

TEST_P(ParsedAttributes, DocumentOrderAndFirstDuplicate)
{
    for (const int count : {3, 12, 100}) {
        SCOPED_TRACE(count);
        std::string tag = "<a";
        std::string expected = "a";
        for (int i = count; i > 0; --i) {  // names in no sorted order
            tag += testing::join(" n", std::to_string(i), "='", std::to_string(i), "'");
            expected += testing::join(i == count ? "{n" : ",n", std::to_string(i), "=", std::to_string(i));
        }
        testing::Read read(testing::in_builder(tag + "/>", GetParam()).document, "a");
        EXPECT_EQ(testing::describe(read), expected + "}");
        // the first repeat, then a second one and a later syntax fault: the first is reported
        const testing::Placed placed = testing::in_builder(tag + " n2='x' n1='y' z/>", GetParam());
        testing::Read repeated(placed.document, "a");
        ASSERT_FALSE(repeated.ok);
        EXPECT_EQ(repeated.error.message, MalformedMessage::DuplicateAttribute);
        EXPECT_EQ(repeated.error.name, "n2");
        EXPECT_EQ(repeated.error.offset, placed.document.find("n2='x'"));
    }
}

INSTANTIATE_TEST_SUITE_P(Builders, ParsedAttributes, testing::kBothBuilders, testing::builder_name);

}  // namespace
}  // namespace brindle::reader
