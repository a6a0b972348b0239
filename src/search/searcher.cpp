#include "search/searcher.h"

#include <algorithm>
#include <future>
#include <system_error>

namespace zw {

namespace {

// Entries read per hold of the name index lock in a linear scan, so that a
// writer appending a drive gets in between.
constexpr uint32_t kScanChunk = 4096;
constexpr uint64_t kProgressStep = 1000;

bool ScanMatches(EntryRef e, const SearchQuery& q) {
  if (q.composed || q.initials) return Matches(e, q);
  if (e.name().FindFolded(q.foldedPattern) == NameText::npos) return false;
  return q.foldedExtension.empty() || e.extension().EqualsFolded(q.foldedExtension);
}

// Scans [first, last) in chunks, each under the lock shared; calls
// deliver(matches) after each chunk with the lock released. Stops when `stop`
// is raised or the entries are detached. `last` is re-read through `end`.
template <class End, class Deliver>
void ScanRange(const NameIndex& index, const SearchQuery& q, uint32_t first, End&& end,
               const std::atomic<bool>& stop, Deliver&& deliver) {
  std::vector<uint32_t> matches;
  uint32_t i = first;
  while (!stop.load(std::memory_order_relaxed)) {
    matches.clear();
    {
      const EntryReadView hold(index.Guarded());
      if (!index.Attached(hold)) return;
      const EntryStore& entries = hold.entries();
      const uint32_t last = std::min<uint32_t>(end(entries), static_cast<uint32_t>(entries.size()));
      if (i >= last) return;
      const uint32_t chunkEnd = std::min(last, i + kScanChunk);
      for (; i < chunkEnd; ++i) {
        if (ScanMatches(entries[i], q)) matches.push_back(i);
      }
    }
    deliver(matches);
  }
}

}  // namespace

std::vector<std::pair<uint32_t, uint32_t>> ParallelScanRanges(uint32_t entryCount,
                                                              unsigned hardwareThreads) {
  uint64_t t = hardwareThreads == 0 ? 4 : std::min(hardwareThreads, 8u);
  const uint64_t n = entryCount;
  const uint64_t chunk = (n + t - 1) / t;
  std::vector<std::pair<uint32_t, uint32_t>> ranges;
  for (uint64_t k = 0; k < t && k * chunk < n; ++k) {
    ranges.emplace_back(static_cast<uint32_t>(k * chunk),
                        static_cast<uint32_t>(std::min(n, (k + 1) * chunk)));
  }
  return ranges;
}

struct Searcher::Job {
  SearchQuery query;
  ResultSet* results = nullptr;
  const NameIndex* index = nullptr;
  SearchCallback progress;
  SearchCallback done;
  uint64_t generation = 0;
  uint64_t numbering = 0;  // of the entries the search delivers numbers of
  uint64_t number = 0;
  std::shared_ptr<std::atomic<bool>> stop;
};

Searcher::Searcher(bool parallel, bool progressive)
    : parallelSearch(parallel), progressiveSearch(progressive) {}

Searcher::~Searcher() {
  StopAll();
}

void Searcher::StopAll() {
  cancelRequested.exchange(true);
  std::vector<Worker> workers;
  {
    std::lock_guard hold(workersMutex_);
    workers.swap(workers_);
  }
  for (Worker& w : workers) w.stop->store(true);
  for (Worker& w : workers) {
    if (w.thread.joinable()) w.thread.join();
  }
  running.exchange(false);
}

void Searcher::ReapFinished() {
  std::lock_guard hold(workersMutex_);
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->finished->load()) {
      it->thread.join();  // already past its last statement
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

void Searcher::StartSearch(const SearchQuery& query, ResultSet* resultSet, SearchCallback progress,
                           SearchCallback done) {
  cancelRequested.exchange(true);
  {
    std::lock_guard hold(workersMutex_);
    for (Worker& w : workers_) w.stop->store(true);
  }
  ReapFinished();
  if (nameIndex_ == nullptr || resultSet == nullptr) {
    running.exchange(false);
    if (done) done(0);
    return;
  }
  auto job = std::make_shared<Job>();
  job->generation = resultSet->Clear();  // from here on, older searches are stale
  // Read before the search reads any entry: a renumbering after it fails
  // every delivery of numbers found before it.
  job->numbering = resultSet->Numbering();
  if (MatchesNothing(query)) {
    running.exchange(false);
    if (done) done(0);
    return;
  }
  job->query = query;
  job->results = resultSet;
  job->index = nameIndex_;
  job->progress = std::move(progress);
  job->done = std::move(done);
  job->stop = std::make_shared<std::atomic<bool>>(false);
  auto finished = std::make_shared<std::atomic<bool>>(false);

  cancelRequested.exchange(false);
  std::unique_lock hold(workersMutex_);
  workers_.reserve(workers_.size() + 1);  // a started thread must find its place
  job->number = ++latestSearch_;
  running.exchange(true);
  try {
    std::thread thread([this, job, finished]() noexcept {
      Run(*job);
      finished->store(true);
    });
    workers_.push_back({std::move(thread), job->stop, std::move(finished)});
  } catch (const std::system_error&) {
    // No thread to be had: answer here rather than leave the window waiting
    // for a done that never comes.
    hold.unlock();
    Run(*job);
  }
}

void Searcher::Ended(const Job& job) {
  std::lock_guard hold(workersMutex_);
  if (job.number == latestSearch_) running.exchange(false);
}

void Searcher::Run(Job& job) noexcept {
  bool failed = false;
  try {
    bool ngram = false;
    {
      const EntryReadView hold(job.index->Guarded());
      ngram = job.index->Tables(hold).ngramEnabled;
    }
    const SearchQuery& q = job.query;
    const bool scanMode = q.mode == MatchMode::Suffix || q.mode == MatchMode::Contains;
    // The entries renumbered under a search: what it found (and delivered)
    // is thrown away and it searches again, under the new numbers.
    do {
      if (ngram && q.mode == MatchMode::Contains && !q.foldedPattern.empty()) {
        RunOnePass(job);
      } else if (scanMode && parallelSearch) {
        RunParallel(job);
      } else if (scanMode && progressiveSearch) {
        RunProgressive(job);
      } else {
        RunOnePass(job);
      }
    } while (!job.stop->load() && job.results->RestartIfRenumbered(job.generation, job.numbering));
  } catch (...) {
    // Out of memory: said so, rather than passing off a partial answer.
    failed = true;
  }
  bool reported = false;
  job.results->IfCurrent(job.generation, [&](std::vector<uint32_t>& entries) {
    if (job.stop->load()) return;
    Ended(job);  // before done: whoever hears of it must find the search over
    reported = true;
    if (job.done) job.done(failed ? kSearchFailed : entries.size());
  });
  if (!reported) Ended(job);  // superseded, by a new search or a Clear
}

void Searcher::RunOnePass(Job& job) {
  std::vector<uint32_t> found = RunQuery(*job.index, job.query);
  const bool reportProgress =
      job.query.mode == MatchMode::Suffix && (parallelSearch || progressiveSearch);
  job.results->IfCurrent(job.generation, job.numbering, [&](std::vector<uint32_t>& entries) {
    entries = std::move(found);
    if (reportProgress && job.progress) job.progress(entries.size());
  });
}

void Searcher::RunParallel(Job& job) {
  if (job.query.mode == MatchMode::Suffix) {
    RunOnePass(job);
    return;
  }
  uint32_t n = 0;
  {
    const EntryReadView hold(job.index->Guarded());
    if (job.index->Attached(hold)) n = static_cast<uint32_t>(hold.entries().size());
  }
  const unsigned hw = hardwareThreads != 0 ? hardwareThreads : std::thread::hardware_concurrency();
  const auto ranges = ParallelScanRanges(n, hw);
  const std::atomic<bool>& stop = *job.stop;

  auto scanTask = [&job, &stop](uint32_t first, uint32_t last) {
    std::vector<uint32_t> out;
    out.reserve((last - first) / 10);
    ScanRange(
        *job.index, job.query, first, [last](const auto&) { return last; }, stop,
        [&](const std::vector<uint32_t>& m) { out.insert(out.end(), m.begin(), m.end()); });
    return out;
  };

  std::vector<std::future<std::vector<uint32_t>>> tasks;
  for (const auto& [first, last] : ranges) {
    try {
      tasks.push_back(std::async(std::launch::async, scanTask, first, last));
    } catch (const std::system_error&) {
      // No thread to be had: this range runs when its turn comes.
      std::promise<std::vector<uint32_t>> p;
      p.set_value(scanTask(first, last));
      tasks.push_back(p.get_future());
    }
  }
  std::vector<uint32_t> local;
  for (auto& task : tasks) {
    std::vector<uint32_t> part = task.get();
    local.insert(local.end(), part.begin(), part.end());
    if (progressiveSearch) {
      job.results->IfCurrent(job.generation, job.numbering, [&](std::vector<uint32_t>& entries) {
        entries.insert(entries.end(), part.begin(), part.end());
        if (job.progress) job.progress(entries.size());
      });
    }
  }
  if (stop.load()) return;
  job.results->IfCurrent(job.generation, job.numbering, [&](std::vector<uint32_t>& entries) {
    if (!progressiveSearch) entries = std::move(local);
    if (job.progress) job.progress(entries.size());
  });
}

void Searcher::RunProgressive(Job& job) {
  if (job.query.mode == MatchMode::Suffix) {
    RunOnePass(job);
    return;
  }
  uint64_t last = 0;
  auto noLimit = [](const EntryStore& entries) { return static_cast<uint32_t>(entries.size()); };
  ScanRange(*job.index, job.query, 0, noLimit, *job.stop, [&](const std::vector<uint32_t>& m) {
    if (m.empty()) return;
    job.results->IfCurrent(job.generation, job.numbering, [&](std::vector<uint32_t>& entries) {
      for (uint32_t e : m) {
        entries.push_back(e);
        if (entries.size() >= last + kProgressStep) {
          last = entries.size();
          if (job.progress) job.progress(last);
        }
      }
    });
  });
  job.results->IfCurrent(job.generation, [&](std::vector<uint32_t>& entries) {
    if (job.progress) job.progress(entries.size());
  });
}

}  // namespace zw
