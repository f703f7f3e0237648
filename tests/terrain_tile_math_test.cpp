// The reduction and merge arithmetic against a plain reading of the formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "support/reference.h"
#include "terrain/tile_math.h"

namespace kelvarin {
namespace {

using Samples = std::vector<std::uint16_t>;

using test::referenceReduce;

Samples randomSamples(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<unsigned> value(0, 65535);
    Samples samples(count);
    for (auto& sample : samples) sample = static_cast<std::uint16_t>(value(generator));
    return samples;
}

struct BlockCase {
    std::uint16_t topLeft, topRight, bottomLeft, bottomRight;
    std::uint16_t maximum, average;
};

class ReduceBlock : public ::testing::TestWithParam<BlockCase> {};

TEST_P(ReduceBlock, GivesMaximumAndTruncatedAverage) {
    const BlockCase& block = GetParam();
    const Samples in = {block.topLeft, block.topRight, block.bottomLeft, block.bottomRight};
    std::uint16_t out = 0xABCD;
    reduceByMaximum(in.data(), 2, 2, &out);
    EXPECT_EQ(out, block.maximum);
    out = 0xABCD;
    reduceByAverage(in.data(), 2, 2, &out);
    EXPECT_EQ(out, block.average);
}

INSTANTIATE_TEST_SUITE_P(Blocks, ReduceBlock,
                         ::testing::Values(BlockCase{0, 65535, 0, 0, 65535, 16383},
                                           BlockCase{1, 2, 2, 2, 2, 1},
                                           BlockCase{65535, 65535, 65535, 65535, 65535, 65535},
                                           BlockCase{0, 0, 0, 0, 0, 0},
                                           BlockCase{40000, 30000, 50000, 20000, 50000, 35000},
                                           BlockCase{7, 9, 65534, 3, 65534, 16388}),
                         [](const auto& info) {
                             const BlockCase& b = info.param;
                             return "Block_" + std::to_string(b.topLeft) + "_" + std::to_string(b.topRight) + "_" +
                                    std::to_string(b.bottomLeft) + "_" + std::to_string(b.bottomRight);
                         });

struct MergeCase {
    std::uint16_t a, b, merged;
};

class MergePair : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergePair, HalvesTheSumWithoutOverflow) {
    const MergeCase& pair = GetParam();
    std::uint16_t out = 0;
    mergeHalves(&pair.a, &pair.b, 1, &out);
    EXPECT_EQ(out, pair.merged);
}

INSTANTIATE_TEST_SUITE_P(Pairs, MergePair,
                         ::testing::Values(MergeCase{100, 201, 150}, MergeCase{3, 4, 3}, MergeCase{65535, 65535, 65535},
                                           MergeCase{65535, 65534, 65534}, MergeCase{0, 1, 0}, MergeCase{0, 0, 0}),
                         [](const auto& info) {
                             return "Pair_" + std::to_string(info.param.a) + "_" + std::to_string(info.param.b);
                         });

class ReduceRandom : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ReduceRandom, MatchesTheDefinitionForBothMethods) {
    const std::size_t side = GetParam();
    const Samples in = randomSamples(side * side, static_cast<unsigned>(side));
    for (bool maximum : {true, false}) {
        Samples out(side * side / 4, 0xFFFF);
        (maximum ? reduceByMaximum : reduceByAverage)(in.data(), side, side, out.data());
        EXPECT_EQ(out, referenceReduce(in, side, maximum)) << "side " << side << (maximum ? " max" : " avg");
        // Band by band (two rows, then the rest) gives the same result as the whole map.
        Samples banded(side * side / 4, 0xFFFF);
        (maximum ? reduceByMaximum : reduceByAverage)(in.data(), side, 2, banded.data());
        (maximum ? reduceByMaximum : reduceByAverage)(in.data() + 2 * side, side, side - 2, banded.data() + side / 2);
        EXPECT_EQ(banded, out) << "side " << side << (maximum ? " max" : " avg");
    }
}

INSTANTIATE_TEST_SUITE_P(Sides, ReduceRandom, ::testing::Values(2, 4, 16, 64, 130),
                         [](const auto& info) { return "Side" + std::to_string(info.param); });

TEST(MergeHalves, WorksInPlaceOnEitherOperand) {
    const Samples a = randomSamples(257, 1), b = randomSamples(257, 2);
    Samples expected(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) expected[i] = static_cast<std::uint16_t>((unsigned{a[i]} + b[i]) / 2);

    Samples intoA = a;
    mergeHalves(intoA.data(), b.data(), a.size(), intoA.data());
    EXPECT_EQ(intoA, expected);
    Samples intoB = b;
    mergeHalves(a.data(), intoB.data(), a.size(), intoB.data());
    EXPECT_EQ(intoB, expected);
}

TEST(LittleEndian, LowByteFirst) {
    const unsigned char fileBytes[6] = {0x34, 0x12, 0xFF, 0x00, 0x00, 0xFF};
    std::uint16_t samples[3];
    std::memcpy(samples, fileBytes, sizeof samples);
    littleEndianToHost(samples, 3);
    EXPECT_EQ(samples[0], 0x1234);
    EXPECT_EQ(samples[1], 0x00FF);
    EXPECT_EQ(samples[2], 0xFF00);
}

}  // namespace
}  // namespace kelvarin
