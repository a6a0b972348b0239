// Runs searches on worker threads: one pass through the name index, a linear
// scan split over several tasks, or a linear scan that delivers as it goes.
//
// A new search never waits for the one before: the old worker is told to stop
// and left to end on its own, and the generation kept by the ResultSet keeps it
// from delivering anything. The workers are still owned here, though: the
// destructor stops and joins every one of them, so none outlives the Searcher,
// the ResultSet or the name index it reads. Destroy the Searcher before the
// ResultSet it was given.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "search/name_index.h"
#include "search/query.h"
#include "search/result_set.h"

namespace zw {

// Reports a count of results. Called on the worker thread with the ResultSet
// locked (that is what makes a superseded search unable to report), so it must
// only post or signal, never touch the ResultSet.
using SearchCallback = std::function<void(uint64_t count)>;

// What `done` receives instead of a count when the search failed (out of
// memory): the ResultSet then holds no answer, only what was delivered.
inline constexpr uint64_t kSearchFailed = UINT64_MAX;

// The [first, last) ranges of the parallel scan for `entryCount` entries when
// the system reports `hardwareThreads` (0: unknown).
std::vector<std::pair<uint32_t, uint32_t>> ParallelScanRanges(uint32_t entryCount,
                                                              unsigned hardwareThreads);

class Searcher {
 public:
  Searcher(bool parallelSearch, bool progressiveSearch);
  ~Searcher();
  Searcher(const Searcher&) = delete;
  Searcher& operator=(const Searcher&) = delete;

  // Set by the window before each search.
  void SetNameIndex(const NameIndex* index) { nameIndex_ = index; }

  // Never blocks on a running search. `progress` and `done` run on a worker
  // under the result set's lock: they may post a message, but must not take
  // the name index lock (that order deadlocks once a writer waits).
  void StartSearch(const SearchQuery& query, ResultSet* resultSet, SearchCallback progress,
                   SearchCallback done);

  // Stops every running worker and waits for them (shutdown, tests).
  void StopAll();

  // Raised by StartSearch; lowered when that search ends, delivered or
  // superseded (also by a Clear of its ResultSet), before its done is called.
  // Only the latest search lowers it, so it never hides a newer one.
  std::atomic<bool> running{false};
  std::atomic<bool> cancelRequested{false};
  const bool parallelSearch;
  const bool progressiveSearch;
  // What the parallel path believes the machine has; 0 asks the system.
  unsigned hardwareThreads = 0;

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> stop;
    std::shared_ptr<std::atomic<bool>> finished;
  };
  struct Job;

  void Run(Job& job) noexcept;
  void RunOnePass(Job& job);
  void RunParallel(Job& job);
  void RunProgressive(Job& job);
  void ReapFinished();
  void Ended(const Job& job);

  const NameIndex* nameIndex_ = nullptr;
  // Taken after the ResultSet's lock when both are held.
  std::mutex workersMutex_;
  std::vector<Worker> workers_;
  uint64_t latestSearch_ = 0;  // numbers the searches that raise `running`
};

}  // namespace zw
