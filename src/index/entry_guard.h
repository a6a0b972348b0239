// The entries and the two locks that keep their readers and writers apart.
// The store is reachable only through the views below, each of which takes
// what its use needs, in the one order: the writer mutex, then the shared
// lock. A view lives for one operation; nothing read through it (an EntryRef,
// a name view) is kept after it ends.
//
// Readers on any thread take an EntryReadView (the lock shared). The one
// writer at a time takes an EntryWriter (the writer mutex): it reads the
// entries while readers go on, and makes an EntryWriteView from itself (the
// lock exclusively) for as long as it changes them. What is guarded with the
// entries (the name index's tables) asks for the same views.
#pragma once

#include <mutex>
#include <optional>
#include <shared_mutex>

#include "index/entry_store.h"
#include "platform/shared_mutex.h"

namespace zw {

class GuardedEntries;

// Proof that the holder may read the entries: it holds the lock shared, or
// the writer mutex (which keeps every change out).
class EntryAccess {
 public:
  EntryAccess(const EntryAccess&) = delete;
  EntryAccess& operator=(const EntryAccess&) = delete;
  const EntryStore& entries() const { return *store_; }
  // Which entries are held: a guarded table checks it is theirs.
  const GuardedEntries& guarded() const { return *guarded_; }

 protected:
  explicit EntryAccess(const GuardedEntries& guarded);
  ~EntryAccess() = default;

 private:
  const GuardedEntries* guarded_;
  const EntryStore* store_;
};

// Proof that the holder is the one writer: it holds the writer mutex.
class WriterAccess : public EntryAccess {
 protected:
  using EntryAccess::EntryAccess;
  ~WriterAccess() = default;
};

class GuardedEntries {
 public:
  GuardedEntries() = default;
  GuardedEntries(const GuardedEntries&) = delete;
  GuardedEntries& operator=(const GuardedEntries&) = delete;

 private:
  friend class EntryAccess;
  friend class EntryReadView;
  friend class EntryWriter;
  friend class EntryWriteView;
  EntryStore store_;
  mutable std::mutex writer_;
  // Writer-first: a live change gets in between searches started back to back.
  mutable platform::SharedMutex lock_;
};

inline EntryAccess::EntryAccess(const GuardedEntries& guarded)
    : guarded_(&guarded), store_(&guarded.store_) {}

// A reader: the lock shared, for as long as the view lives.
class EntryReadView final : public EntryAccess {
 public:
  explicit EntryReadView(const GuardedEntries& guarded)
      : EntryAccess(guarded), hold_(guarded.lock_) {}

 private:
  std::shared_lock<platform::SharedMutex> hold_;
};

// The writer while readers go on: the writer mutex alone.
class EntryWriter final : public WriterAccess {
 public:
  explicit EntryWriter(GuardedEntries& guarded)
      : WriterAccess(guarded), held_(guarded), hold_(guarded.writer_) {}

 private:
  friend class EntryWriteView;
  GuardedEntries& held_;
  std::unique_lock<std::mutex> hold_;
};

// A change: the writer mutex (an EntryWriter's, or its own), then the lock
// exclusively.
class EntryWriteView final : public WriterAccess {
 public:
  explicit EntryWriteView(GuardedEntries& guarded)
      : WriterAccess(guarded),
        store_(guarded.store_),
        writer_(guarded.writer_),
        exclusive_(guarded.lock_) {}
  explicit EntryWriteView(EntryWriter& writer)
      : WriterAccess(writer.held_), store_(writer.held_.store_), exclusive_(writer.held_.lock_) {}

  EntryStore& store() const { return store_; }

 private:
  EntryStore& store_;
  std::unique_lock<std::mutex> writer_;  // empty when an EntryWriter holds it
  std::unique_lock<platform::SharedMutex> exclusive_;
};

// The entry at `n`, or none when `n` is past the end. During a run the drives
// already appended are there, the one being scanned is not yet.
inline std::optional<EntryRef> LookupEntry(const EntryAccess& access, uint32_t n) {
  if (n >= access.entries().size()) return std::nullopt;
  return access.entries()[n];
}

}  // namespace zw
