#include "retrieval/retrieval_search.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "imaging/image_ex.h"
#include "pqz/huffman_decoder.h"
#include "pqz/pqz_header.h"
#include "retrieval/color_feature.h"
#include "retrieval/edge_feature.h"
#include "retrieval/ranking.h"

namespace orvane {
namespace {

// Candidates scored at once by one thread, as many as the base walks take side by side.
constexpr std::size_t kScoredTogether = HuffmanDecoder::kMaxWalksTogether;

// The last three characters of the name are "pqz" in any case.
bool NamedLikePqz(const std::string& name) {
  if (name.size() < 3) return false;
  const char* tail = name.c_str() + name.size() - 3;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  return lower(tail[0]) == 'p' && lower(tail[1]) == 'q' && lower(tail[2]) == 'z';
}

}  // namespace

unsigned RetrievalSearch::ThreadCount(std::size_t candidates) const {
  unsigned threads = m_nThreads != 0 ? m_nThreads : std::thread::hardware_concurrency();
  if (threads == 0) threads = 1;
  return static_cast<unsigned>(std::min<std::size_t>(threads, candidates));
}

bool RetrievalSearch::ScoreInParallel(
    std::size_t count, std::size_t group,
    const std::function<void(std::size_t, std::size_t)>& score) const {
  // The calling thread reports the steps of a group and only then releases the group to the
  // scorers, so that the progress steps come in order, each before its file is read, and a
  // cancelled step is never scored. Helper threads take released groups in order; the
  // calling thread scores too whenever it is more than a few groups ahead of them.
  const std::size_t groups = (count + group - 1) / group;
  const unsigned threads = ThreadCount(groups);
  std::mutex mutex;
  std::condition_variable released_cv;
  std::size_t released = 0, next = 0, done = 0;
  bool stop = false;
  // Takes the next released candidate; false when there is none (and, with `wait`, none
  // will come).
  const auto take = [&](std::unique_lock<std::mutex>& lock, bool wait, std::size_t& j) {
    if (wait) released_cv.wait(lock, [&] { return stop || next < released; });
    if (stop || next >= released) return false;
    j = next++;
    return true;
  };
  const auto finish = [&](std::unique_lock<std::mutex>& lock) {
    ++done;
    if (done == released) released_cv.notify_all();
    (void)lock;
  };
  std::exception_ptr failure;
  const auto run = [&](std::size_t g) {
    try {
      score(g * group, std::min(group, count - g * group));
    } catch (...) {
      std::lock_guard<std::mutex> guard(mutex);
      if (!failure) failure = std::current_exception();
    }
  };
  std::vector<std::thread> helpers;
  const auto stop_helpers = [&] {
    {
      std::lock_guard<std::mutex> guard(mutex);
      stop = true;
    }
    released_cv.notify_all();
    for (std::thread& t : helpers) t.join();
  };
  try {
    for (unsigned t = 1; t < threads; ++t) {
      helpers.emplace_back([&] {
        std::unique_lock<std::mutex> lock(mutex);
        std::size_t j;
        while (take(lock, true, j)) {
          lock.unlock();
          run(j);
          lock.lock();
          finish(lock);
        }
      });
    }
  } catch (...) {
    stop_helpers();
    throw;
  }
  // With helpers the calling thread lets them have up to two groups each before it scores
  // one itself; alone it scores every group as soon as it is released.
  const std::size_t ahead = threads > 1 ? 2 * static_cast<std::size_t>(threads) : 0;
  bool canceled = false;
  try {
    for (std::size_t j = 0; j < count; ++j) {
      if (!Report(SearchPhase::kCalculating, j, count)) {
        canceled = true;
        break;
      }
      if ((j + 1) % group != 0 && j + 1 != count) continue;  // the group has more steps
      std::unique_lock<std::mutex> lock(mutex);
      ++released;
      released_cv.notify_one();
      std::size_t k;
      while (released - done > ahead && take(lock, false, k)) {
        lock.unlock();
        run(k);
        lock.lock();
        finish(lock);
      }
    }
    if (!canceled) {
      std::unique_lock<std::mutex> lock(mutex);
      std::size_t k;
      while (take(lock, false, k)) {
        lock.unlock();
        run(k);
        lock.lock();
        finish(lock);
      }
      released_cv.wait(lock, [&] { return done == released; });
    }
  } catch (...) {
    stop_helpers();
    throw;
  }
  stop_helpers();
  if (failure) std::rethrow_exception(failure);
  return !canceled;
}

RetrievalSearch::Probe RetrievalSearch::ProbeOf(const FileRecord& record) {
  if (record.m_nType != TYPE_NOT_LOADED) return {record.m_nType};
  if (!NamedLikePqz(record.m_strName)) return {};
  std::uint16_t flag = 0;
  PqzHeader header;
  if (ProbePqzFile(record.m_strPath, &flag, &header) != kSuccess) return {};
  const std::int64_t bases = std::int64_t{header.CoeffOffset} - header.BaseOffset;
  return {flag, bases > 0 ? static_cast<std::uint64_t>(bases) : 0};
}

bool RetrievalSearch::TakeTypes(
    const std::vector<FileRecord>& records,
    const std::function<bool(std::size_t, const Probe&)>& take) const {
  const std::size_t total = records.size();
  const unsigned threads = ThreadCount(total);
  if (threads <= 1) {
    for (std::size_t i = 0; i < total; ++i) {
      if (!take(i, ProbeOf(records[i]))) return false;
    }
    return true;
  }
  // Every thread probes the next unclaimed record; this thread takes the records in order,
  // probing itself while the one it wants is not ready.
  std::vector<Probe> probes(total);
  std::unique_ptr<std::atomic<bool>[]> ready(new std::atomic<bool>[total]);
  for (std::size_t i = 0; i < total; ++i) ready[i].store(false, std::memory_order_relaxed);
  std::atomic<std::size_t> claimed{0};
  std::atomic<bool> stop{false};
  const auto probe_next = [&] {
    const std::size_t j = claimed.fetch_add(1, std::memory_order_relaxed);
    if (j >= total) return false;
    probes[j] = ProbeOf(records[j]);
    ready[j].store(true, std::memory_order_release);
    return true;
  };
  // However this function is left, the helpers are stopped and joined first.
  std::vector<std::thread> helpers;
  struct Joiner {
    std::atomic<bool>& stop;
    std::vector<std::thread>& threads;
    ~Joiner() {
      stop.store(true, std::memory_order_relaxed);
      for (std::thread& t : threads) t.join();
    }
  } joiner{stop, helpers};
  for (unsigned t = 1; t < threads; ++t) {
    helpers.emplace_back([&] {
      while (!stop.load(std::memory_order_relaxed) && probe_next()) {
      }
    });
  }
  for (std::size_t i = 0; i < total; ++i) {
    while (!ready[i].load(std::memory_order_acquire)) {
      if (!probe_next()) std::this_thread::yield();  // a helper is probing it
    }
    if (!take(i, probes[i])) return false;
  }
  return true;
}

ResultCode RetrievalSearch::Run(const std::string& queryPath, std::uint16_t queryType,
                                std::vector<FileRecord>& records) const {
  if (!IsFeatureKind(m_nFeature) || m_nColorWeight < 0 || m_nColorWeight > 100) {
    return kInvalidValues;
  }
  try {
    // Loading: the candidates are copies, so that the caller's list stays untouched until the
    // ranked list is complete (a cancelled or failed search changes nothing).
    const std::size_t total = records.size();
    std::vector<FileRecord> candidates;
    std::vector<std::uint64_t> baseBytes;  // of each candidate
    const auto take = [&](std::size_t i, const Probe& probe) {
      if (!probe.type) return true;  // skipped records show no progress step
      if (*probe.type == queryType) {
        candidates.push_back(records[i]);
        baseBytes.push_back(probe.baseBytes);
      }
      return Report(SearchPhase::kLoading, i, total);
    };
    if (!TakeTypes(records, take)) return kCanceled;
    if (candidates.empty()) return kNotPqzFile;

    // Calculating. A query that cannot be read would leave empty descriptors and rank the
    // files by nothing, so the search stops instead of reporting a meaningless order.
    const double weight = m_nColorWeight / 100.0;
    ColorFeature color(m_nFeature);
    EdgeFeature edge(EdgeFeature::kDefaultMaxBases);
    if (color.LoadQuery(queryPath) != kSuccess || edge.LoadQuery(queryPath) != kSuccess) {
      return kReadFailed;
    }
    const std::size_t count = candidates.size();
    // Candidates are scored a few at a time: the averages and the bases of all of them are
    // decoded side by side. They are taken by the size of their bases, so that the walks of
    // one group end at about the same time instead of the longest going on alone; each keeps
    // its place in the list, which decides the order of equal scores.
    std::vector<std::size_t> order(count);
    for (std::size_t k = 0; k < count; ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return baseBytes[a] < baseBytes[b]; });
    const auto score = [&](std::size_t first, std::size_t n) {
      const std::string* paths[kScoredTogether] = {};
      double colors[kScoredTogether] = {}, edges[kScoredTogether] = {};
      for (std::size_t k = 0; k < n; ++k) paths[k] = &candidates[order[first + k]].m_strPath;
      color.SimilarityTogether(paths, n, colors);
      edge.SimilarityTogether(paths, n, edges);
      for (std::size_t k = 0; k < n; ++k) {
        ScoreRecord(candidates[order[first + k]], edges[k], colors[k], weight);
      }
    };
    if (!ScoreInParallel(count, kScoredTogether, score)) return kCanceled;

    // Replacing.
    RankRecords(candidates);
    std::vector<FileRecord> ranked;
    ranked.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
      ranked.push_back(std::move(candidates[k]));
      if (!Report(SearchPhase::kReplacing, k, count)) return kCanceled;
    }
    records = std::move(ranked);
    return kSuccess;
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
}

}  // namespace orvane
