// PNG row predictors: hand-worked cases for each predictor and edge, and agreement with a
// version that removes each predictor byte by moving the rest of the buffer, including what
// that leaves in the buffer after the restored rows.
#include "inflate/inflate.h"

#include "inflate_reference.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using bytes = std::vector<uint8_t>;

struct unfilter_case {
  const char* name;
  bytes input;
  int32_t row_bytes;
  int rc;
  bytes restored; // expected first bytes of the buffer afterwards
};

const unfilter_case cases[] = {
    {"predictor 0 on the first row is removed like any other",
     {0, 1, 2, 3, 0, 4, 5, 6},
     3,
     0,
     {1, 2, 3, 4, 5, 6}},
    {"sub adds the left neighbour, modulo 256", {1, 10, 20, 250}, 3, 0, {10, 30, 24}},
    {"up on the first row leaves it unchanged", {2, 5, 6, 7}, 3, 0, {5, 6, 7}},
    {"up adds the byte above", {0, 1, 2, 3, 2, 10, 10, 255}, 3, 0, {1, 2, 3, 11, 12, 2}},
    {"average on the first row halves the left neighbour", {3, 10, 20, 30}, 3, 0, {10, 25, 42}},
    {"average sums before reducing modulo 256", {0, 200, 250, 3, 1, 0}, 2, 0, {200, 250, 101, 175}},
    {"paeth on the first row predicts from the left alone", {4, 1, 2, 3}, 3, 0, {1, 3, 6}},
    // Row above is 2 3; restored left byte 0; so a = 0, b = 3, c = 2: pa = pc = 1 < pb = 2.
    {"paeth tie between left and upper-left picks left",
     {0, 2, 3, 4, 254, 10},
     2,
     0,
     {2, 3, 0, 10}},
    // Row above is 1 3; a = 0, b = 3, c = 1: pb = pc = 1 < pa = 2.
    {"paeth tie between up and upper-left picks up", {0, 1, 3, 4, 255, 10}, 2, 0, {1, 3, 0, 13}},
    // Row above is 15 20; a = 10, b = 20, c = 15: pc = 0.
    {"paeth picks upper-left when it is nearest", {0, 15, 20, 4, 251, 0}, 2, 0, {15, 20, 10, 15}},
    {"whole rows then a partial row: the partial bytes are ignored",
     {1, 1, 1, 0, 9, 9, 2, 7},
     2,
     0,
     {1, 2, 9, 9}},
    {"more rows than bytes per row",
     {0, 1, 2, 3, 2, 1, 1, 1, 2, 1, 1, 1, 2, 1, 1, 1, 2, 1, 1, 1, 2, 1, 1, 1},
     3,
     0,
     {1, 2, 3, 2, 3, 4, 3, 4, 5, 4, 5, 6, 5, 6, 7, 6, 7, 8}},
    {"predictor 5 in the third row fails after two restored rows",
     {1, 1, 1, 2, 1, 1, 5, 7, 7},
     2,
     -1,
     {1, 2, 2, 3, 5, 7, 7}},
    {"predictor 255 in the first row fails with the buffer untouched",
     {255, 1, 2},
     2,
     -1,
     {255, 1, 2}},
    {"row_bytes 0", {0, 1, 2}, 0, -1, {0, 1, 2}},
    {"row_bytes negative", {0, 1, 2}, -3, -1, {0, 1, 2}},
    {"shorter than one row", {1, 5, 5}, 3, 0, {1, 5, 5}},
    {"empty buffer", {}, 1, 0, {}},
};

TEST(PngUnfilter, Cases) {
  for (const unfilter_case& c : cases) {
    SCOPED_TRACE(c.name);
    bytes data = c.input;
    EXPECT_EQ(inflate::inflate_png_unfilter(data.data(), data.size(), c.row_bytes), c.rc);
    ASSERT_GE(data.size(), c.restored.size());
    EXPECT_EQ(bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(c.restored.size())),
              c.restored);

    bytes want = c.input;
    EXPECT_EQ(inflate_reference::png_unfilter(want.data(), want.size(), c.row_bytes), c.rc);
    EXPECT_EQ(data, want) << "whole buffer differs from the row-by-row version";
  }
}

// Random buffers of every small shape, with the occasional invalid predictor: result and the
// whole buffer afterwards must match the row-by-row version exactly.
TEST(PngUnfilter, SameBufferAsMovingTheRestEachRow) {
  std::mt19937 rng(99);
  for (int round = 0; round < 20000; ++round) {
    const auto row_bytes = static_cast<int32_t>(1 + rng() % 9);
    bytes input(rng() % 80);
    for (auto& b : input) b = static_cast<uint8_t>(rng());
    for (size_t i = 0; i < input.size(); i += static_cast<size_t>(row_bytes) + 1) {
      const uint32_t r = rng() % 40;
      input[i] = static_cast<uint8_t>(r < 39 ? r % 5 : 5 + rng() % 251);
    }
    bytes got = input;
    bytes want = input;
    const int rc = inflate::inflate_png_unfilter(got.data(), got.size(), row_bytes);
    ASSERT_EQ(rc, inflate_reference::png_unfilter(want.data(), want.size(), row_bytes))
        << "round " << round;
    ASSERT_EQ(got, want) << "round " << round << ", row_bytes " << row_bytes;
  }
}

} // namespace
