#include "foundation/flat_index_map.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace fnd {
namespace {

// Keys whose identity hashes share their low bits, as aligned addresses do,
// must still all be kept and found after the table has grown several times.
TEST(FlatIndexMap, KeepsEveryKeyThroughGrowth) {
  std::vector<std::uint64_t> storage(5000);
  FlatIndexMap<const std::uint64_t*> map;
  for (std::size_t i = 0; i < storage.size(); i += 2) {
    auto [index, inserted] = map.tryEmplace(&storage[i], i);
    EXPECT_TRUE(inserted);
    EXPECT_EQ(index, i);
  }
  EXPECT_EQ(map.size(), storage.size() / 2);
  for (std::size_t i = 0; i < storage.size(); ++i) {
    if (i % 2 == 0) {
      EXPECT_EQ(map.find(&storage[i]), std::optional<std::uint64_t>(i));
    } else {
      EXPECT_EQ(map.find(&storage[i]), std::nullopt);
    }
  }
}

TEST(FlatIndexMap, AKeyKeepsItsFirstIndex) {
  FlatIndexMap<std::string_view> map;
  EXPECT_EQ(map.find("absent"), std::nullopt);
  const std::string first = "$class";
  const std::string same = "$class";
  EXPECT_EQ(map.tryEmplace(first, 3), std::make_pair(std::uint64_t{3}, true));
  EXPECT_EQ(map.tryEmplace(same, 9), std::make_pair(std::uint64_t{3}, false));
  EXPECT_EQ(map.tryEmplace("$classes", 4), std::make_pair(std::uint64_t{4}, true));
  EXPECT_EQ(map.size(), 2u);

  FlatIndexMap<std::uint64_t> numbers;
  EXPECT_TRUE(numbers.tryEmplace(0, 7).second);
  EXPECT_EQ(numbers.find(0), std::optional<std::uint64_t>(7));
  EXPECT_EQ(numbers.find(1), std::nullopt);
}

}  // namespace
}  // namespace fnd
