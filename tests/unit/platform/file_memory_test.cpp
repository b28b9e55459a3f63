// Memory for input files: every block given is writable over its whole size and no two blocks
// given by one pool overlap, whatever mix of sizes is asked for.
#include "pdfmerge/platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

using namespace pdfmerge;

namespace {

constexpr size_t mib = size_t{1} << 20;

// Fills each block with its own byte, then checks that every block still holds only its byte.
void expect_disjoint_and_whole(const std::vector<std::pair<file_memory, size_t>>& blocks) {
  for (size_t i = 0; i < blocks.size(); ++i)
    std::memset(blocks[i].first.get(), static_cast<int>(i % 251) + 1, blocks[i].second);
  for (size_t i = 0; i < blocks.size(); ++i) {
    const uint8_t want = static_cast<uint8_t>(i % 251 + 1);
    const uint8_t* p = blocks[i].first.get();
    ASSERT_TRUE(std::all_of(p, p + blocks[i].second, [&](uint8_t b) { return b == want; }))
        << "block " << i << " of " << blocks[i].second << " bytes";
  }
}

} // namespace

TEST(FileMemory, BlocksOfEverySizeAreWholeAndApart) {
  // Small files, one past the first pool block, one just below and one at the size that gets
  // memory of its own, and enough small ones to need several pool blocks.
  const std::vector<size_t> sizes = {
      1,           63,      64,          65,          4096,    3 * mib, 100000,
      4 * mib - 1, 4 * mib, 5 * mib + 7, 2 * mib - 1, 2 * mib, 1};
  file_memory_pool pool;
  std::vector<std::pair<file_memory, size_t>> pooled;
  std::vector<std::pair<file_memory, size_t>> own;
  for (int round = 0; round < 3; ++round)
    for (size_t size : sizes) {
      pooled.emplace_back(pool.take(size), size);
      ASSERT_NE(pooled.back().first, nullptr) << size;
    }
  for (int k = 0; k < 300; ++k) pooled.emplace_back(pool.take(150000 + 37 * k), 150000 + 37 * k);
  for (size_t size : sizes) own.emplace_back(native_file_memory(size), size);
  expect_disjoint_and_whole(pooled);
  expect_disjoint_and_whole(own);
}

// Table memory: blocks on both sides of the size from which it is mapped, and of whole and
// partial large pages, are writable throughout and apart; a vector grown through those sizes
// keeps every element.
TEST(TableMemory, BlocksAndVectorsOfEverySize) {
  const std::vector<size_t> sizes = {1,       4095,        256 * 1024 - 1, 256 * 1024, 2 * mib - 1,
                                     2 * mib, 2 * mib + 1, 5 * mib + 3,    1};
  std::vector<std::pair<uint8_t*, size_t>> blocks;
  for (size_t size : sizes)
    blocks.emplace_back(static_cast<uint8_t*>(table_memory_take(size)), size);
  for (size_t i = 0; i < blocks.size(); ++i)
    std::memset(blocks[i].first, static_cast<int>(i) + 1, blocks[i].second);
  for (size_t i = 0; i < blocks.size(); ++i) {
    const uint8_t* p = blocks[i].first;
    EXPECT_TRUE(std::all_of(p, p + blocks[i].second, [&](uint8_t b) { return b == i + 1; }))
        << blocks[i].second;
  }
  for (const auto& [p, size] : blocks) table_memory_give(p, size);

  table_vector<uint32_t> grown;
  for (uint32_t k = 0; k < 3 * mib; ++k) grown.push_back(k * 2654435761u);
  table_vector<uint32_t> copy = grown;
  grown.clear();
  grown.shrink_to_fit();
  ASSERT_EQ(copy.size(), 3 * mib);
  for (uint32_t k = 0; k < copy.size(); ++k) ASSERT_EQ(copy[k], k * 2654435761u) << k;
}
