#include "pqz/bit_stream.h"

#include <vector>

#include <gtest/gtest.h>

#include "pqz_test_support.h"

namespace orvane {
namespace {

std::vector<std::uint8_t> Written(const BitStream& s) { return {s.Data(), s.Data() + s.Length()}; }

TEST(BitStream, PacksBitsMostSignificantFirstAcrossBytes) {
  BitStream s;
  ASSERT_EQ(s.Write(0b101, 3), kSuccess);
  ASSERT_EQ(s.Write(0b1, 1), kSuccess);
  ASSERT_EQ(s.Write(0xF0F, 12), kSuccess);
  // 101 1 1111 0000 1111
  EXPECT_EQ(Written(s), (std::vector<std::uint8_t>{0xBF, 0x0F}));
}

TEST(BitStream, WritesOnlyTheLowBitsOfAValue) {
  BitStream s;
  ASSERT_EQ(s.Write(0xFFFFFFF5u, 4), kSuccess);
  EXPECT_EQ(Written(s), (std::vector<std::uint8_t>{0x50}));
}

TEST(BitStream, CountsAPartlyFilledLastByte) {
  BitStream s;
  ASSERT_EQ(s.Write(0x1FF, 9), kSuccess);
  EXPECT_EQ(s.Length(), 2u);
  EXPECT_EQ(Written(s), (std::vector<std::uint8_t>{0xFF, 0x80}));
}

TEST(BitStream, RefusesMoreThan32BitsWith22) {
  BitStream s;
  EXPECT_EQ(s.Write(1, 33), kInvalidValues);
  EXPECT_EQ(s.Length(), 0u);
  ASSERT_EQ(s.Write(0xDEADBEEF, 32), kSuccess);
  s.Rewind();
  std::uint32_t v = 0;
  EXPECT_EQ(s.Read(33, v), kInvalidValues);
  ASSERT_EQ(s.Read(32, v), kSuccess);
  EXPECT_EQ(v, 0xDEADBEEFu);
}

TEST(BitStream, ReadsBackMixedWidths) {
  BitStream s;
  const std::uint32_t values[] = {1, 0, 5, 1000, 0x7FFFFFFF, 3, 0};
  const int widths[] = {1, 3, 3, 10, 31, 2, 0};
  for (int i = 0; i < 7; ++i) ASSERT_EQ(s.Write(values[i], widths[i]), kSuccess);
  s.Rewind();
  for (int i = 0; i < 7; ++i) {
    std::uint32_t v = 99;
    ASSERT_EQ(s.Read(widths[i], v), kSuccess);
    EXPECT_EQ(v, values[i]) << "value " << i;
  }
}

TEST(BitStream, GrowsIn64KiBStepsWithoutLosingBits) {
  BitStream s;
  ASSERT_EQ(s.Write(1, 1), kSuccess);
  EXPECT_EQ(s.Capacity(), 65536u);
  // Bytes of alternating patterns across the first growth.
  for (std::uint32_t i = 0; i < 70000; ++i) ASSERT_EQ(s.Write(i & 0xFF, 8), kSuccess);
  EXPECT_EQ(s.Capacity() % 65536, 0u);
  EXPECT_GE(s.Capacity(), 70001u);
  s.Rewind();
  std::uint32_t v;
  ASSERT_EQ(s.Read(1, v), kSuccess);
  for (std::uint32_t i = 0; i < 70000; ++i) {
    ASSERT_EQ(s.Read(8, v), kSuccess);
    ASSERT_EQ(v, i & 0xFF) << "byte " << i;
  }
}

TEST(BitStream, AppendedStreamsGiveTheBitsOfOneStream) {
  // Every offset of the joint inside a byte, and pieces with and without a partial last byte.
  for (int lead = 0; lead < 8; ++lead) {
    for (int tail : {0, 1, 7, 8, 31, 32, 33, 77}) {
      BitStream whole, head, piece;
      ASSERT_EQ(whole.Write(0x5A, lead), kSuccess);
      ASSERT_EQ(head.Write(0x5A, lead), kSuccess);
      for (int i = 0; i < tail; ++i) {
        const std::uint32_t bit = (i * 7 + lead) % 3 == 0;
        ASSERT_EQ(whole.Write(bit, 1), kSuccess);
        ASSERT_EQ(piece.Write(bit, 1), kSuccess);
      }
      ASSERT_EQ(head.Append(piece), kSuccess);
      ASSERT_EQ(head.BitPosition(), whole.BitPosition()) << lead << " " << tail;
      ASSERT_EQ(head.Length(), whole.Length());
      for (std::size_t b = 0; b < whole.Length(); ++b) {
        EXPECT_EQ(head.Data()[b], whole.Data()[b]) << lead << " " << tail << " byte " << b;
      }
    }
  }
}

TEST(BitStream, ReadsZerosAfterThePayloadAndFailsPastTheBuffer) {
  BitStream s;
  const std::uint8_t payload[] = {0xFF, 0xFF, 0xFF};
  ASSERT_EQ(s.Assign(payload, 3), kSuccess);
  EXPECT_EQ(s.Length(), 3u);
  ASSERT_EQ(s.Capacity(), 65536u);
  std::uint32_t v;
  ASSERT_EQ(s.Read(24, v), kSuccess);
  EXPECT_EQ(v, 0xFFFFFFu);
  ASSERT_EQ(s.Read(32, v), kSuccess);
  EXPECT_EQ(v, 0u) << "bits between the payload and the buffer end read as 0";
  ASSERT_EQ(s.Skip(65536 * 8 - 24 - 32 - 1), kSuccess);
  EXPECT_EQ(s.Read(2, v), kOutOfRange);
  EXPECT_EQ(s.BitPosition(), 65536u * 8 - 1) << "a failed read consumes nothing";
  ASSERT_EQ(s.ReadBit(v), kSuccess);
  EXPECT_EQ(s.ReadBit(v), kOutOfRange);
  EXPECT_EQ(s.Skip(1), kOutOfRange);
}

TEST(BitStream, LoadsAPayloadIntoABufferRoundedPastIt) {
  std::vector<std::uint8_t> bytes(65536, 0xA5);
  bytes.push_back(0x11);  // one byte more than the read asks for
  test::TempFile file(bytes);
  BitStream s;
  ASSERT_EQ(s.Load(file.get(), 65536), kSuccess);
  EXPECT_EQ(s.Length(), 65536u);
  EXPECT_EQ(s.Capacity(), 131072u) << "(L / 64 KiB + 1) x 64 KiB";
  std::uint32_t v;
  ASSERT_EQ(s.Skip(65536 * 8), kSuccess);
  ASSERT_EQ(s.Read(8, v), kSuccess);
  EXPECT_EQ(v, 0u) << "only the payload is read from the file";
}

TEST(BitStream, RefusesAPayloadLongerThanTheFileWith14) {
  test::TempFile file(std::vector<std::uint8_t>(100, 1));
  BitStream s;
  EXPECT_EQ(s.Load(file.get(), 101), kReadFailed);
  // A length far beyond the file must fail the same way, without reserving memory for it.
  test::TempFile again(std::vector<std::uint8_t>(100, 1));
  EXPECT_EQ(s.Load(again.get(), 0x7FFFFFFF), kReadFailed);
  EXPECT_LT(s.Capacity(), 1u << 20);
}

// One stream loading section after section (the buffer of one is kept for the next): each
// load holds its payload and zeros to the end of the step, whatever the loads, writes and
// failures before it left there.
TEST(BitStream, EveryLoadHoldsItsPayloadAndZerosAfterIt) {
  const auto load = [](BitStream& s, std::size_t length, std::uint8_t fill, std::size_t inFile) {
    test::TempFile file(std::vector<std::uint8_t>(inFile, fill));
    return s.Load(file.get(), static_cast<std::uint32_t>(length), inFile);
  };
  const auto expectLoaded = [](const BitStream& s, std::size_t length, std::uint8_t fill) {
    ASSERT_EQ(s.Length(), length);
    ASSERT_EQ(s.Capacity(), 65536u);
    for (std::size_t i = 0; i < s.Capacity(); ++i) {
      ASSERT_EQ(s.Data()[i], i < length ? fill : 0) << "byte " << i << " of " << length;
    }
    ASSERT_EQ(s.BitPosition(), 0u);
  };
  BitStream s;
  ASSERT_EQ(load(s, 5000, 0xEE, 6000), kSuccess);
  expectLoaded(s, 5000, 0xEE);
  ASSERT_EQ(load(s, 300, 0x11, 300), kSuccess);  // shorter: the old bytes are gone
  expectLoaded(s, 300, 0x11);
  EXPECT_EQ(load(s, 900, 0x22, 800), kReadFailed);  // the file ends early
  EXPECT_EQ(s.Capacity(), 0u);
  ASSERT_EQ(load(s, 40, 0x33, 40), kSuccess);
  expectLoaded(s, 40, 0x33);
  s.Seek(40 * 8);
  ASSERT_EQ(s.Write(0xFFFF, 16), kSuccess);  // written past the payload: not kept
  ASSERT_EQ(load(s, 10, 0x44, 10), kSuccess);
  expectLoaded(s, 10, 0x44);
  ASSERT_EQ(load(s, 70000, 0x55, 70000), kSuccess);  // more than one step
  EXPECT_EQ(s.Capacity(), 131072u);
  ASSERT_EQ(load(s, 0, 0, 0), kSuccess);
  expectLoaded(s, 0, 0);
}

}  // namespace
}  // namespace orvane
