#pragma once

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

namespace orvane {

/// Splits [0, count) into contiguous shares, one per thread (the calling one included; 0
/// threads takes one per processor core), and runs work(share, begin, end) on each, `share`
/// numbering the shares 0, 1, ... in the order of their items. Shares are
/// never smaller than `minimum` items, so small jobs stay on the calling thread; when no
/// thread can be started the calling thread does that share too. The shares are disjoint,
/// so work that writes only the items of its share gives the same result however it is
/// split.
template <typename Work>
void RunInShares(std::uint32_t count, unsigned threads, std::uint32_t minimum, const Work& work) {
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  threads = std::min<unsigned>(threads, std::max<std::uint32_t>(1, count / std::max(1u, minimum)));
  if (threads <= 1) {
    if (count != 0) work(0u, std::uint32_t{0}, count);
    return;
  }
  std::vector<std::thread> helpers;
  std::uint32_t begin = 0;
  for (unsigned t = 0; t < threads; ++t) {
    const auto end = static_cast<std::uint32_t>(std::uint64_t{count} * (t + 1) / threads);
    if (t + 1 == threads) {
      work(t, begin, end);
    } else {
      try {
        helpers.emplace_back([&work, t, begin, end] { work(t, begin, end); });
      } catch (const std::system_error&) {
        work(t, begin, end);
      }
    }
    begin = end;
  }
  for (std::thread& helper : helpers) helper.join();
}

}  // namespace orvane
