// The registry as one typed key/value file. Writers take a lock file, re-read
// the store, change it and replace it atomically (temp file, fsync, rename),
// so a crash leaves either the old or the new file. A file that does not
// parse is kept aside under a new name, never overwritten.
//
// The program may run as root with another user's XDG_CONFIG_HOME (sudo -E),
// so everything below the settings folder is reached through a descriptor of
// that folder, opened without following links, and every object met there
// must be the regular file or folder expected and belong to us. Anything else
// is refused: defaults are read, nothing is written, and one notice says why.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "platform/registry.h"
#include "platform/registry_file.h"

namespace zw::platform {
namespace {

constexpr char kStoreName[] = "registry";
constexpr char kLockName[] = "registry.lock";
// A settings file is a few hundred bytes; a bigger one reads as damaged.
constexpr size_t kMaxStoreBytes = size_t(1) << 20;

struct FileStore {
  std::mutex mutex;  // threads of this process; the lock file covers processes
  std::string directory;
  std::string notice;
  std::string refusal;       // waiting to be taken
  bool refusalSeen = false;  // one notice per process (per store folder)
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

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Reset(); }
  int Get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // The close result, for a file whose last write must be known to be good.
  bool Close() { return close(std::exchange(fd_, -1)) == 0; }

 private:
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  int fd_ = -1;
};

// Records why the store is not used, once; every caller then falls back to
// the defaults through the access-denied error.
uint32_t Refuse(const std::string& path, const char* why) {
  FileStore& s = Store();
  if (!s.refusalSeen) {
    s.refusalSeen = true;
    s.refusal = path + " " + why;
  }
  return kErrorAccessDenied;
}

// Why an object in the settings folder is not to be trusted; null when it is
// what we expect and ours.
const char* Distrust(const struct stat& st, bool folder) {
  if (S_ISLNK(st.st_mode)) return "is a symbolic link";
  if (folder && !S_ISDIR(st.st_mode)) return "is not a folder";
  if (!folder && !S_ISREG(st.st_mode)) return "is not a regular file";
  if (st.st_uid != geteuid()) return "belongs to another user";
  return nullptr;
}

// After an open refused with ELOOP / ENOTDIR: says what is there instead.
uint32_t RefuseWhatIsThere(int dir, const char* name, const std::string& path, bool folder,
                           int openError) {
  struct stat st {};
  if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return FromErrno(openError);
  const char* why = Distrust(st, folder);
  return why ? Refuse(path, why) : FromErrno(openError);
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

// The settings folder, checked as described at the top. The folder above it
// is reached the ordinary way (a ~/.config that links into a dotfiles tree is
// common) but must belong to us or to root: another user could rearrange it.
// `create`: the folder is made, with its parents, when missing.
uint32_t OpenFolder(bool create, Fd& out) {
  std::string dir = Directory();
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  const size_t slash = dir.rfind('/');
  const std::string parent = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : dir.substr(0, slash);
  const std::string leaf = slash == std::string::npos ? dir : dir.substr(slash + 1);
  if (leaf.empty() || leaf == "." || leaf == "..") return Refuse(dir, "is not a folder name");
  if (create && !MakeDirectories(parent)) return FromErrno(errno);
  Fd up(open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!up) return FromErrno(errno);
  struct stat st {};
  if (fstat(up.Get(), &st) != 0) return FromErrno(errno);
  if (st.st_uid != geteuid() && st.st_uid != 0) return Refuse(parent, "belongs to another user");
  if (create && mkdirat(up.Get(), leaf.c_str(), 0700) != 0 && errno != EEXIST)
    return FromErrno(errno);
  Fd fd(
      openat(up.Get(), leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    const int e = errno;
    return RefuseWhatIsThere(up.Get(), leaf.c_str(), dir, true, e);
  }
  if (fstat(fd.Get(), &st) != 0) return FromErrno(errno);
  if (const char* why = Distrust(st, true)) return Refuse(dir, why);
  if ((st.st_mode & 077) != 0 && fchmod(fd.Get(), 0700) != 0)
    return Refuse(dir, "cannot be made private to its owner");
  out = std::move(fd);
  return kErrorSuccess;
}

// Opens a name in the settings folder without following a link or waiting on
// a FIFO, and checks that it is a regular file of ours.
uint32_t OpenInFolder(int dir, const char* name, int flags, Fd& out) {
  Fd fd(openat(dir, name, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  const std::string path = Directory() + "/" + name;
  if (!fd) {
    const int e = errno;
    if (e == ELOOP) return Refuse(path, "is a symbolic link");
    if (e == ENXIO || e == EISDIR) return RefuseWhatIsThere(dir, name, path, false, e);
    return FromErrno(e);
  }
  struct stat st {};
  if (fstat(fd.Get(), &st) != 0) return FromErrno(errno);
  if (const char* why = Distrust(st, false)) return Refuse(path, why);
  out = std::move(fd);
  return kErrorSuccess;
}

// Reads the whole store: 0 and the text, kErrorFileNotFound, or another error.
uint32_t ReadFile(int dir, std::string& text) {
  text.clear();
  Fd fd;
  if (uint32_t err = OpenInFolder(dir, kStoreName, O_RDONLY, fd)) return err;
  char buffer[8192];
  for (;;) {
    ssize_t n = read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FromErrno(errno);
    if (n == 0) break;
    text.append(buffer, size_t(n));
    if (text.size() > kMaxStoreBytes) {
      text.assign(1, '\x01');  // fails to parse: handled as damaged
      break;
    }
  }
  return kErrorSuccess;
}

// Held while a writer re-reads and replaces the store.
uint32_t LockStore(int dir, Fd& lock) {
  if (uint32_t err = OpenInFolder(dir, kLockName, O_RDWR | O_CREAT, lock)) return err;
  while (flock(lock.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) return FromErrno(errno);
  }
  return kErrorSuccess;
}

// Called with the lock held: moves a damaged store aside and remembers where.
void KeepAside(int dir) {
  std::string target = "registry.damaged";
  struct stat st {};
  for (int n = 1; fstatat(dir, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && n < 1000; ++n)
    target = "registry.damaged." + std::to_string(n);
  FileStore& s = Store();
  if (renameat(dir, kStoreName, dir, target.c_str()) == 0)
    s.notice = Directory() + "/" + target;
  else if (s.notice.empty())
    s.notice = Directory() + "/" + kStoreName;  // could not move it: it stays where it is, unread
}

// Loads the store of the open folder. A damaged file reads as empty; with
// `lockHeld` it is also moved aside (re-checked under the lock, since another
// process may just have replaced it with a good one).
uint32_t Load(int dir, detail::RegistryDocument& doc, bool lockHeld) {
  std::string text;
  uint32_t err = ReadFile(dir, text);
  doc.keys.clear();
  if (err == kErrorFileNotFound) return kErrorSuccess;
  if (err) return err;
  if (detail::ParseRegistry(text, doc)) return kErrorSuccess;
  doc.keys.clear();
  if (lockHeld) {
    KeepAside(dir);
    return kErrorSuccess;
  }
  Fd lock;
  if (LockStore(dir, lock) == kErrorSuccess && ReadFile(dir, text) == kErrorSuccess) {
    if (detail::ParseRegistry(text, doc)) return kErrorSuccess;
    doc.keys.clear();
    KeepAside(dir);
  } else if (Store().notice.empty()) {
    Store().notice = Directory() + "/" + kStoreName;
  }
  return kErrorSuccess;
}

// A name nobody can have prepared in advance; O_EXCL settles the rest.
std::string TempName() {
  uint64_t bits = 0;
  if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) != ssize_t(sizeof bits)) {
    bits = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
           (uint64_t(getpid()) << 32);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name = "registry.tmp-";
  for (int shift = 60; shift >= 0; shift -= 4) name += kHex[(bits >> shift) & 0xF];
  return name;
}

// Called with the lock held.
uint32_t Save(int dir, const detail::RegistryDocument& doc) {
  const std::string text = detail::SerializeRegistry(doc);
  std::string temp;
  Fd fd;
  for (int attempt = 0; attempt < 8 && !fd; ++attempt) {
    temp = TempName();
    fd = Fd(openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd && errno != EEXIST) return FromErrno(errno);
  }
  if (!fd) return kErrorWriteFault;
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd.Get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  bool ok = done == text.size() && fsync(fd.Get()) == 0;
  ok = fd.Close() && ok;
  if (!ok || renameat(dir, temp.c_str(), dir, kStoreName) != 0) {
    const int e = errno;
    unlinkat(dir, temp.c_str(), 0);
    return ok ? FromErrno(e) : kErrorWriteFault;
  }
  fsync(dir);  // makes the rename itself durable
  return kErrorSuccess;
}

}  // namespace

void SetRegistryDirectory(const std::string& directory) {
  std::lock_guard lock(Store().mutex);
  Store().directory = directory;
  Store().refusal.clear();
  Store().refusalSeen = false;  // another folder: its own notice
}

std::string TakeRegistryDamageNotice() {
  std::lock_guard lock(Store().mutex);
  std::string notice;
  notice.swap(Store().notice);
  return notice;
}

std::string TakeRegistryRefusalNotice() {
  std::lock_guard lock(Store().mutex);
  std::string notice;
  notice.swap(Store().refusal);
  return notice;
}

namespace detail {

uint32_t SystemOpen(std::u16string_view path, bool forWrite, intptr_t& handle,
                    std::shared_ptr<RegistryKeyValues>& values) noexcept {
  try {
    std::lock_guard guard(Store().mutex);
    RegistryDocument doc;
    handle = 0;
    Fd dir;
    if (!forWrite) {
      if (uint32_t err = OpenFolder(false, dir)) return err;
      if (uint32_t err = Load(dir.Get(), doc, false)) return err;
      RegistryKeyValues* key = FindKey(doc, path, false);
      if (!key) return kErrorFileNotFound;
      values = std::make_shared<RegistryKeyValues>(std::move(*key));
      return kErrorSuccess;
    }
    if (uint32_t err = OpenFolder(true, dir)) return err;
    Fd lock;
    if (uint32_t err = LockStore(dir.Get(), lock)) return err;
    if (uint32_t err = Load(dir.Get(), doc, true)) return err;
    RegistryKeyValues* key = FindKey(doc, path, false);
    if (!key) {
      key = FindKey(doc, path, true);
      if (uint32_t err = Save(dir.Get(), doc)) return err;
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

// Re-reads the store under the lock, lets `change` edit it and writes it back.
template <typename Change>
uint32_t Rewrite(Change&& change) noexcept {
  try {
    std::lock_guard guard(Store().mutex);
    Fd dir, lock;
    if (uint32_t err = OpenFolder(true, dir)) return err;
    if (uint32_t err = LockStore(dir.Get(), lock)) return err;
    RegistryDocument doc;
    if (uint32_t err = Load(dir.Get(), doc, true)) return err;
    if (uint32_t err = change(doc)) return err;
    return Save(dir.Get(), doc);
  } catch (const std::bad_alloc&) {
    return kErrorInvalidData;
  }
}

uint32_t SystemSet(intptr_t, std::u16string_view path, std::shared_ptr<RegistryKeyValues>& values,
                   std::u16string_view name, bool erase, uint32_t type, const void* data,
                   uint32_t size) noexcept {
  std::shared_ptr<RegistryKeyValues> changed;
  uint32_t err = Rewrite([&](RegistryDocument& doc) -> uint32_t {
    RegistryKeyValues* key = FindKey(doc, path, true);
    if (erase) {
      if (!key->values.erase(FoldName(name))) return kErrorFileNotFound;
    } else {
      SetValue(*key, name, type, data, size);
    }
    changed = std::make_shared<RegistryKeyValues>(*key);
    return kErrorSuccess;
  });
  if (err == kErrorSuccess) values = std::move(changed);
  return err;
}

uint32_t SystemDeleteTree(std::u16string_view path) noexcept {
  return Rewrite([&](RegistryDocument& doc) -> uint32_t {
    if (!FindKey(doc, path, false)) return kErrorFileNotFound;
    DeleteTree(doc, path);
    return kErrorSuccess;
  });
}

}  // namespace detail
}  // namespace zw::platform
