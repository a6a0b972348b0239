// The registry as one typed key/value file. Writers take a lock file, re-read
// the store, change it and replace it atomically (temp file, fsync, rename),
// so a crash leaves either the old or the new file. A file that does not
// parse is kept aside under a new name, never overwritten.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>

#include "platform/registry.h"
#include "platform/registry_store.h"

namespace zw::platform {
namespace {

struct FileStore {
  std::mutex mutex;  // threads of this process; the lock file covers processes
  std::string directory;
  std::string notice;
};

FileStore& Store() {
  static FileStore store;
  return store;
}

std::string Directory() {
  FileStore& s = Store();
  if (!s.directory.empty()) return s.directory;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return std::string(xdg) + "/zanderwyn";
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] ? home : ".") + "/.config/zanderwyn";
}

uint32_t FromErrno(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return kErrorFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kErrorAccessDenied;
    default:
      return kErrorWriteFault;
  }
}

// mkdir -p, private to the user.
bool MakeDirectories(const std::string& dir) {
  for (size_t i = 1; i <= dir.size(); ++i) {
    if (i < dir.size() && dir[i] != '/') continue;
    std::string part = dir.substr(0, i);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// Reads the whole file: 0 and the text, kErrorFileNotFound, or another error.
uint32_t ReadFile(const std::string& path, std::string& text) {
  text.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FromErrno(errno);
  char buffer[8192];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int e = errno;
      close(fd);
      return FromErrno(e);
    }
    if (n == 0) break;
    text.append(buffer, size_t(n));
    if (text.size() > (64u << 20)) {  // no settings file is this big
      close(fd);
      text.clear();
      text += '\x01';  // fails to parse: handled as damaged
      return kErrorSuccess;
    }
  }
  close(fd);
  return kErrorSuccess;
}

class LockFile {
 public:
  explicit LockFile(const std::string& dir) {
    if (!MakeDirectories(dir)) return;
    fd_ = open((dir + "/registry.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~LockFile() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Called with the lock held: moves a damaged store aside and remembers where.
void KeepAside(const std::string& dir, const std::string& file) {
  std::string target = dir + "/registry.damaged";
  struct stat st;
  for (int n = 1; lstat(target.c_str(), &st) == 0 && n < 1000; ++n)
    target = dir + "/registry.damaged." + std::to_string(n);
  FileStore& s = Store();
  if (rename(file.c_str(), target.c_str()) == 0)
    s.notice = target;
  else if (s.notice.empty())
    s.notice = file;  // could not move it: it stays where it is, unread
}

// Loads the store. A damaged file reads as empty; with `lockHeld` it is also
// moved aside (re-checked under the lock, since another process may just
// have replaced it with a good one).
uint32_t Load(detail::RegistryDocument& doc, bool lockHeld) {
  std::string dir = Directory();
  std::string file = dir + "/registry";
  std::string text;
  uint32_t err = ReadFile(file, text);
  doc.keys.clear();
  if (err == kErrorFileNotFound) return kErrorSuccess;
  if (err) return err;
  if (detail::ParseRegistry(text, doc)) return kErrorSuccess;
  doc.keys.clear();
  if (lockHeld) {
    KeepAside(dir, file);
  } else {
    LockFile lock(dir);
    if (lock.Held() && ReadFile(file, text) == kErrorSuccess) {
      if (detail::ParseRegistry(text, doc)) return kErrorSuccess;
      doc.keys.clear();
      KeepAside(dir, file);
    } else if (Store().notice.empty()) {
      Store().notice = file;
    }
  }
  return kErrorSuccess;
}

// Called with the lock held.
uint32_t Save(const detail::RegistryDocument& doc) {
  std::string dir = Directory();
  std::string text = detail::SerializeRegistry(doc);
  std::string temp = dir + "/registry.tmp-" + std::to_string(getpid());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return FromErrno(errno);
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  bool ok = done == text.size() && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temp.c_str(), (dir + "/registry").c_str()) != 0) {
    int e = errno;
    unlink(temp.c_str());
    return ok ? FromErrno(e) : kErrorWriteFault;
  }
  int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);  // makes the rename itself durable
    close(dfd);
  }
  return kErrorSuccess;
}

}  // namespace

void SetRegistryDirectory(const std::string& directory) {
  std::lock_guard lock(Store().mutex);
  Store().directory = directory;
}

std::string RegistryFilePath() {
  std::lock_guard lock(Store().mutex);
  return Directory() + "/registry";
}

std::string TakeRegistryDamageNotice() {
  std::lock_guard lock(Store().mutex);
  std::string notice;
  notice.swap(Store().notice);
  return notice;
}

namespace detail {

uint32_t SystemOpen(std::u16string_view path, bool forWrite, intptr_t& handle,
                    std::shared_ptr<RegistryKeyValues>& values) noexcept {
  try {
    std::lock_guard guard(Store().mutex);
    RegistryDocument doc;
    handle = 0;
    if (!forWrite) {
      if (uint32_t err = Load(doc, false)) return err;
      RegistryKeyValues* key = FindKey(doc, path, false);
      if (!key) return kErrorFileNotFound;
      values = std::make_shared<RegistryKeyValues>(std::move(*key));
      return kErrorSuccess;
    }
    std::string dir = Directory();
    LockFile lock(dir);
    if (!lock.Held()) return FromErrno(errno);
    if (uint32_t err = Load(doc, true)) return err;
    RegistryKeyValues* key = FindKey(doc, path, false);
    if (!key) {
      key = FindKey(doc, path, true);
      if (uint32_t err = Save(doc)) return err;
    }
    values = std::make_shared<RegistryKeyValues>(*key);
    return kErrorSuccess;
  } catch (const std::bad_alloc&) {
    return kErrorInvalidData;
  }
}

void SystemClose(intptr_t) noexcept {}

uint32_t SystemQuery(intptr_t, const RegistryKeyValues* values, std::u16string_view name,
                     uint32_t* type, void* data, uint32_t* size) noexcept {
  if (!values) return kErrorInvalidHandle;
  return QueryValues(*values, name, type, data, size);
}

uint32_t SystemSet(intptr_t, std::u16string_view path, std::shared_ptr<RegistryKeyValues>& values,
                   std::u16string_view name, bool erase, uint32_t type, const void* data,
                   uint32_t size) noexcept {
  try {
    std::lock_guard guard(Store().mutex);
    LockFile lock(Directory());
    if (!lock.Held()) return FromErrno(errno);
    RegistryDocument doc;
    if (uint32_t err = Load(doc, true)) return err;
    RegistryKeyValues* key = FindKey(doc, path, true);
    if (erase) {
      if (!key->values.erase(FoldName(name))) return kErrorFileNotFound;
    } else {
      SetValue(*key, name, type, data, size);
    }
    if (uint32_t err = Save(doc)) return err;
    values = std::make_shared<RegistryKeyValues>(*key);
    return kErrorSuccess;
  } catch (const std::bad_alloc&) {
    return kErrorInvalidData;
  }
}

uint32_t SystemDeleteTree(std::u16string_view path) noexcept {
  try {
    std::lock_guard guard(Store().mutex);
    LockFile lock(Directory());
    if (!lock.Held()) return FromErrno(errno);
    RegistryDocument doc;
    if (uint32_t err = Load(doc, true)) return err;
    if (!FindKey(doc, path, false)) return kErrorFileNotFound;
    DeleteTree(doc, path);
    return Save(doc);
  } catch (const std::bad_alloc&) {
    return kErrorInvalidData;
  }
}

}  // namespace detail
}  // namespace zw::platform
