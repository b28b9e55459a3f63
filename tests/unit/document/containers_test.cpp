// Growth of the containers, the output buffer, the object index and releasing a document.
#include "doc_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using namespace pdfmerge;

namespace {

TEST(Containers, VectorsGrowByDoublingFromTheirFirstCapacity) {
  const struct {
    int pushes;
    size_t objvec_cap, pagevec_cap;
  } cases[] = {{1, 128, 64},    {64, 128, 64},   {65, 128, 128},
               {128, 128, 128}, {129, 256, 256}, {257, 512, 512}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pushes);
    objvec objects;
    pagevec pages;
    for (int i = 0; i < c.pushes; ++i) {
      objvec_push(objects, obj_entry{.num = i + 1});
      pagevec_push(pages, pageinfo{i + 1, 90});
    }
    EXPECT_EQ(objects.size(), static_cast<size_t>(c.pushes));
    EXPECT_EQ(pages.size(), static_cast<size_t>(c.pushes));
    EXPECT_EQ(objects.capacity(), c.objvec_cap);
    EXPECT_EQ(pages.capacity(), c.pagevec_cap);
    EXPECT_EQ(objects.back().num, c.pushes);
    EXPECT_EQ(pages.back().num, c.pushes);
    EXPECT_EQ(pages.back().rotation, 90);
  }
}

TEST(Containers, ArenaBlockArrayDoublesFromFour) {
  const struct {
    int allocs;
    size_t cap;
  } cases[] = {{1, 4}, {4, 4}, {5, 8}, {9, 16}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.allocs);
    struct arena a;
    for (int i = 0; i < c.allocs; ++i) {
      uint8_t* block = arena_alloc(a, 16);
      ASSERT_NE(block, nullptr);
      std::memset(block, i, 16); // each block is writable over its whole size
    }
    EXPECT_EQ(a.blocks.size(), static_cast<size_t>(c.allocs));
    EXPECT_EQ(a.blocks.capacity(), c.cap);
    for (int i = 0; i < c.allocs; ++i) EXPECT_EQ(a.blocks[static_cast<size_t>(i)][15], i);
  }
}

// Blocks are cut from chunks: whatever the mix of sizes (small ones filling several doubling
// chunks, large ones with chunks of their own), every block is writable over its whole size and
// no two blocks overlap, also after the room past a block's use is given back and after a
// failed block is dropped.
TEST(Containers, ArenaBlocksAreWholeAndApart) {
  struct arena a;
  std::vector<std::pair<uint8_t*, size_t>> live;
  auto take = [&](size_t size) {
    uint8_t* p = arena_alloc(a, size);
    EXPECT_NE(p, nullptr) << size;
    live.emplace_back(p, size);
    return p;
  };
  for (int k = 0; k < 400; ++k) {
    take(1000 + 997 * static_cast<size_t>(k % 50));
    if (k % 7 == 0) {
      // An attempt that came to hold less than its room.
      take(40000);
      arena_shrink_last(a, 123);
      live.back().second = 123;
    }
    if (k % 11 == 0) {
      take(30000); // a failed attempt
      arena_drop_last(a);
      live.pop_back();
    }
    if (k % 97 == 0) take(size_t{3} << 20);
  }
  ASSERT_EQ(a.blocks.size(), live.size());
  for (size_t i = 0; i < live.size(); ++i)
    std::memset(live[i].first, static_cast<int>(i % 251) + 1, live[i].second);
  for (size_t i = 0; i < live.size(); ++i) {
    const uint8_t want = static_cast<uint8_t>(i % 251 + 1);
    const uint8_t* p = live[i].first;
    ASSERT_TRUE(std::all_of(p, p + live[i].second, [&](uint8_t b) { return b == want; }))
        << "block " << i << " of " << live[i].second << " bytes";
  }
}

// Room given back is used again: the next block begins where the kept bytes of a shrunk block
// end, or where a dropped block began; a dropped block with a chunk of its own releases it.
// (Under the address checker every block is apart, so that over-reads stay visible.)
TEST(Containers, ArenaReusesRoomGivenBack) {
  if (exact_blocks()) GTEST_SKIP() << "every block is allocated apart under the address checker";
  struct arena a;
  uint8_t* first = arena_alloc(a, 5000);
  arena_shrink_last(a, 100);
  uint8_t* second = arena_alloc(a, 5000);
  EXPECT_EQ(second, first + 112); // 100 bytes, aligned to 16
  arena_drop_last(a);
  EXPECT_EQ(arena_alloc(a, 64), second);
  const size_t chunks = a.chunks.size();
  ASSERT_NE(arena_alloc(a, size_t{4} << 20), nullptr);
  EXPECT_EQ(a.chunks.size(), chunks + 1);
  arena_drop_last(a);
  EXPECT_EQ(a.chunks.size(), chunks);
  EXPECT_EQ(a.blocks.size(), 2u);
}

TEST(Buf, EmptyTextCreatesTheFirstStorage) {
  buf out;
  buf_str(out, "");
  ASSERT_NE(out.data, nullptr);
  EXPECT_EQ(out.cap, 1048576u);
  EXPECT_EQ(out.len, 0u);
  EXPECT_EQ(out.data.get()[0], 0);
}

TEST(Buf, AppendsAndTerminates) {
  buf out;
  buf_str(out, "abc");
  buf_str(out, "de");
  buf_append(out, "\0f", 2);
  ASSERT_NE(out.data, nullptr);
  EXPECT_EQ(out.len, 7u);
  EXPECT_EQ(std::memcmp(out.data.get(), "abcde\0f\0", 8), 0);
}

TEST(Buf, ReserveDoublesUntilTheNeedFits) {
  const struct {
    uint64_t extra;
    uint64_t cap;
  } cases[] = {
      {3000000, 4194304},
      {1048576 - 11, 1048576}, // 10 used + extra + NUL fits exactly
      {1048576 - 10, 2097152},
      {0, 1048576},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.extra);
    buf out;
    buf_str(out, "0123456789");
    ASSERT_EQ(out.cap, 1048576u);
    buf_reserve(out, c.extra);
    ASSERT_NE(out.data, nullptr);
    EXPECT_EQ(out.cap, c.cap);
    EXPECT_EQ(out.len, 10u);
    EXPECT_EQ(std::memcmp(out.data.get(), "0123456789", 11), 0);
  }
}

TEST(Buf, UnsatisfiableReserveLeavesNoStorage) {
  buf out;
  buf_str(out, "0123456789");
  buf_reserve(out, UINT64_MAX - 5);
  EXPECT_EQ(out.data, nullptr);
  EXPECT_EQ(out.len, 0u);
  EXPECT_EQ(out.cap, 0u);
  EXPECT_TRUE(out.failed);
  // A later append must not start afresh: that would pass off the tail of a text as all of
  // it (a page's content array that lost its first parts).
  buf_str(out, "x");
  EXPECT_EQ(out.data, nullptr);
  EXPECT_EQ(out.len, 0u);
  EXPECT_TRUE(out.failed);
}

TEST(ObjIndex, FindsTheFirstEntryOfEachNumber) {
  objvec objects;
  for (int32_t num : {5, 3, 5, 9, 3, 1}) objvec_push(objects, obj_entry{.num = num});
  obj_index index;
  obj_index_build(index, objects);
  const struct {
    int32_t num, pos;
  } cases[] = {{5, 0}, {3, 1}, {9, 3}, {1, 5}, {2, -1}, {0, -1}, {-1, -1}, {10, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.num);
    EXPECT_EQ(obj_index_find(index, c.num), c.pos);
  }
  EXPECT_EQ(obj_index_find(obj_index{}, 5), -1);
}

TEST(ObjIndex, RebuildReplacesTheOldIndex) {
  objvec objects;
  objvec_push(objects, obj_entry{.num = 4});
  obj_index index;
  obj_index_build(index, objects);
  objects.clear();
  objvec_push(objects, obj_entry{.num = 6});
  obj_index_build(index, objects);
  EXPECT_EQ(obj_index_find(index, 4), -1);
  EXPECT_EQ(obj_index_find(index, 6), 0);
}

void expect_initial(const doc& d) {
  EXPECT_EQ(d.data, nullptr);
  EXPECT_EQ(d.len, 0);
  EXPECT_EQ(d.root_num, -1);
  EXPECT_EQ(d.encrypted, 0);
  EXPECT_TRUE(d.objects.empty());
  EXPECT_EQ(d.objects.capacity(), 0u);
  EXPECT_TRUE(d.arena.blocks.empty());
  EXPECT_EQ(d.arena.blocks.capacity(), 0u);
  EXPECT_TRUE(d.pages.empty());
  EXPECT_EQ(d.pages.capacity(), 0u);
  EXPECT_EQ(d.catalog_num, -1);
  EXPECT_EQ(d.max_num, 0);
  EXPECT_TRUE(d.index.by_num.empty());
}

TEST(DocFree, ResetsEveryFieldAndMayRepeat) {
  doc never_loaded;
  doc_free(never_loaded);
  doc_free(never_loaded);
  expect_initial(never_loaded);

  doc d = testdoc::make_doc({"1 0 obj\n<< /Type /Page >>\nendobj"}, {{2, "<< >>"}});
  d.root_num = 1;
  d.catalog_num = 1;
  d.encrypted = 1;
  pagevec_push(d.pages, {1, 0});
  ASSERT_NE(d.data, nullptr);
  ASSERT_FALSE(d.arena.blocks.empty());
  doc_free(d);
  expect_initial(d);
  doc_free(d);
  expect_initial(d);
}

} // namespace
