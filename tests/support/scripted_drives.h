// Indexing runs over drives whose contents a test writes down: each letter's
// files, and what happens while that drive is being "scanned" (after its
// journal position was taken, before its entries are appended).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/file_index.h"
#include "engine/index_drive.h"
#include "engine/run_indexing.h"
#include "index/build_paths.h"
#include "support/built_paths.h"

namespace zw::test {

struct ScriptedFile {
  uint64_t record = 0;
  uint64_t parent = 5;  // the root
  std::u16string path;  // below the drive's root, e.g. u"Work\\a.txt"
  bool folder = false;
};

struct ScriptedDrives {
  std::map<char16_t, std::vector<ScriptedFile>> files;  // a letter not here cannot be opened
  std::map<char16_t, std::function<void()>> whileScanning;

  DriveIndexer Indexer() const {
    return [files = files, during = whileScanning](FileIndex& index, char16_t letter) {
      auto it = files.find(letter);
      if (it == files.end()) return false;
      if (auto d = during.find(letter); d != during.end() && d->second) d->second();
      std::vector<FileEntry> local;
      for (const ScriptedFile& f : it->second) {
        FileEntry e;
        e.recordNumber = f.record;
        e.parentRecordNumber = f.parent;
        e.path = std::u16string{letter, u':', u'\\'} + f.path;
        e.name = e.path.substr(e.path.rfind(u'\\') + 1);
        e.isFolder = f.folder;
        SetDerivedNameFields(e);
        local.push_back(std::move(e));
      }
      EntryStore drive;
      drive.AppendValues(local, letter);
      AppendDriveStore(index, std::move(drive));
      return true;
    };
  }

  // One whole run over `drives`, waited for, with the name index built.
  void Run(FileIndex& index, const std::set<char16_t>& drives,
           platform::UsnJournalFactory journals = nullptr) const {
    IndexRunOptions options;
    options.indexer = Indexer();
    options.journalFactory = std::move(journals);
    // An empty set starts nothing, and then there is nothing to wait for.
    static_cast<void>(StartIndexRun(index, drives, {}, std::move(options)));
    JoinIndexThread(index);
  }
};

}  // namespace zw::test
