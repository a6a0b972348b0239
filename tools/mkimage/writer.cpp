#include "writer.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/utf.h"
#include "ntfs3g.h"

namespace zw::gen {
namespace {

constexpr MFT_REF kNoRef = ~MFT_REF(0);

const ntfschar* Units(const std::u16string& s) {
  return reinterpret_cast<const ntfschar*>(s.data());
}

MFT_REF RefOf(ntfs_inode* ni) {
  return MK_MREF(ni->mft_no, le16_to_cpu(ni->mrec->sequence_number));
}

// The one folder open while a node is written. It is closed after every
// node: keeping a folder open across nodes lets libntfs-3g open a second,
// diverging copy of it (its inode cache, the name syncs of hard links), which
// corrupted large images. libntfs-3g's own cache makes reopening cheap.
class FolderSlot {
 public:
  explicit FolderSlot(ntfs_volume* vol) : vol_(vol) {}
  ~FolderSlot() { Close(); }
  FolderSlot(const FolderSlot&) = delete;
  FolderSlot& operator=(const FolderSlot&) = delete;

  ntfs_inode* Get(MFT_REF ref) {
    Close();
    ni_ = ntfs_inode_open(vol_, MREF(ref));
    ref_ = ni_ != nullptr ? ref : kNoRef;
    return ni_;
  }
  // For calls that close the folder themselves (ntfs_delete).
  void Forget() {
    ni_ = nullptr;
    ref_ = kNoRef;
  }
  void Close() {
    if (ni_ != nullptr) ntfs_inode_close(ni_);
    Forget();
  }

 private:
  ntfs_volume* vol_;
  ntfs_inode* ni_ = nullptr;
  MFT_REF ref_ = kNoRef;
};

std::string Utf8(const std::u16string& s) {
  return zw::ToUtf8(s);
}

void Fill(std::vector<uint8_t>& buf, uint32_t seed) {
  uint32_t x = seed * 2654435761u + 1;
  for (uint8_t& b : buf) {
    x = x * 1103515245u + 12345u;
    b = uint8_t(x >> 16);
  }
}

// Windows gives long names a second, 8.3 name in the DOS namespace; a few
// files here get one, so records with a DOS name beside the long one exist.
bool WantsDosName(const Node& n, uint32_t i) {
  return !n.isFolder && n.flags == 0 && n.name.size() > 12 && i % 29 == 3;
}

// A short name unique in any folder: letters of the long name, the node
// number in base 36, "~1", and the extension's first letters.
std::string DosNameFor(const Node& n, uint32_t i) {
  auto upper = [](char16_t c) -> char {
    if (c >= u'a' && c <= u'z') return char(c - 32);
    if ((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) return char(c);
    return 0;
  };
  std::string number;
  for (uint32_t v = i; v != 0 || number.empty(); v /= 36)
    number.insert(number.begin(), "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[v % 36]);
  std::string stem;
  size_t dot = n.name.rfind(u'.');
  for (size_t k = 0; k < n.name.size() && k < dot && stem.size() + number.size() < 6; ++k)
    if (char c = upper(n.name[k])) stem += c;
  std::string name = stem + number.substr(number.size() > 6 ? number.size() - 6 : 0) + "~1";
  std::string ext;
  for (size_t k = dot == std::u16string::npos ? n.name.size() : dot + 1;
       k < n.name.size() && ext.size() < 3; ++k)
    if (char c = upper(n.name[k])) ext += c;
  return ext.empty() ? name : name + "." + ext;
}

class Writer {
 public:
  Writer(ntfs_volume* vol, const std::vector<Node>& nodes, const WriteOptions& o, WriteReport& r)
      : vol_(vol), nodes_(nodes), options_(o), report_(r), dirs_(vol), refs_(nodes.size(), kNoRef) {
    data_.resize(size_t(64) * 1024);
  }

  bool Run(std::string& error);

 private:
  bool CreateNode(uint32_t i);
  bool CreateNodeInFolder(uint32_t i);
  bool AddDosName(uint32_t i);
  bool WriteData(ntfs_inode* ni, uint32_t i, uint64_t size);
  bool WriteFragmented(ntfs_inode* ni, uint32_t i, uint64_t size);
  bool AddStreams(ntfs_inode* ni);
  bool DeleteNode(uint32_t i);
  void BlockAfter(const runlist_element* rl, s64 clusters);
  void BlockMftGrowth();
  uint32_t MftRuns() const {
    uint32_t runs = 0;
    for (const runlist_element* rl = vol_->mft_na->rl; rl != nullptr && rl->length != 0; ++rl)
      if (rl->lcn >= 0) ++runs;
    return runs;
  }
  void ReleaseBlocks();
  MFT_REF ParentRef(uint32_t i) const {
    return nodes_[i].parent == kRoot ? MK_MREF(FILE_root, FILE_root) : refs_[nodes_[i].parent];
  }
  void Fail(uint32_t i, const char* what) {
    ++report_.failures;
    if (report_.failures <= 20)
      std::fprintf(stderr, "zw-mkimage: %s failed for %s (%s)\n", what,
                   Utf8(PathOf(nodes_, i)).c_str(), std::strerror(errno));
  }

  ntfs_volume* vol_;
  const std::vector<Node>& nodes_;
  const WriteOptions& options_;
  WriteReport& report_;
  FolderSlot dirs_;
  std::vector<MFT_REF> refs_;
  std::vector<uint8_t> data_;
  std::vector<runlist*> blocks_;
};

bool Writer::WriteData(ntfs_inode* ni, uint32_t i, uint64_t size) {
  if (size == 0) return true;
  ntfs_attr* na = ntfs_attr_open(ni, AT_DATA, AT_UNNAMED, 0);
  if (na == nullptr) return false;
  // Small files carry real bytes (resident or one or two clusters); most
  // large ones are holes, so a million-entry image stays small, and every
  // sixteenth gets a real head so non-resident runs with data exist too.
  uint64_t real = size <= 2048 ? size : (i % 16 == 0 ? std::min<uint64_t>(size, 8192) : 0);
  bool ok = true;
  if (real > 0) {
    Fill(data_, i);
    ok = ntfs_attr_pwrite(na, 0, s64(real), data_.data()) == s64(real);
  }
  if (ok && size > real) ok = ntfs_attr_truncate(na, s64(size)) == 0;
  ntfs_attr_close(na);
  return ok;
}

// Appends a cluster at a time and takes the cluster after each piece away
// for a while, so that every piece becomes a run of its own.
bool Writer::WriteFragmented(ntfs_inode* ni, uint32_t i, uint64_t size) {
  ntfs_attr* na = ntfs_attr_open(ni, AT_DATA, AT_UNNAMED, 0);
  if (na == nullptr) return false;
  bool ok = true;
  const uint64_t piece = vol_->cluster_size;
  Fill(data_, i);
  for (uint64_t pos = 0; ok && pos < size; pos += piece) {
    s64 n = s64(std::min<uint64_t>(piece, size - pos));
    ok = ntfs_attr_pwrite(na, s64(pos), n, data_.data()) == n;
    if (ok && ntfs_attr_map_whole_runlist(na) == 0) BlockAfter(na->rl, 1);
  }
  ntfs_attr_close(na);
  return ok;
}

bool Writer::AddStreams(ntfs_inode* ni) {
  Fill(data_, 7);
  for (int s = 0; s < kManyStreamsCount; ++s) {
    char16_t name[16] = u"stream00";
    name[6] = char16_t(u'0' + s / 10);
    name[7] = char16_t(u'0' + s % 10);
    if (ntfs_attr_add(ni, AT_DATA, reinterpret_cast<ntfschar*>(name), 8, data_.data(), 120) != 0)
      return false;
  }
  return true;
}

bool Writer::CreateNode(uint32_t i) {
  bool ok = CreateNodeInFolder(i);
  int saved = errno;
  dirs_.Close();
  if (ok && WantsDosName(nodes_[i], i)) report_.nodes[i].dosName = AddDosName(i);
  errno = saved;
  return ok;
}

bool Writer::AddDosName(uint32_t i) {
  ntfs_inode* dir = ntfs_inode_open(vol_, MREF(ParentRef(i)));
  ntfs_inode* ni = dir != nullptr ? ntfs_inode_open(vol_, MREF(refs_[i])) : nullptr;
  if (ni == nullptr) {
    if (dir != nullptr) ntfs_inode_close(dir);
    return false;
  }
  std::string dos = DosNameFor(nodes_[i], i);
  // Closes both inodes, as libntfs-3g's own callers rely on.
  if (ntfs_set_ntfs_dos_name(ni, dir, dos.c_str(), dos.size(), 0) != 0) {
    Fail(i, "setting the DOS name");
    return false;
  }
  return true;
}

bool Writer::CreateNodeInFolder(uint32_t i) {
  const Node& n = nodes_[i];
  Written& w = report_.nodes[i];
  MFT_REF parentRef = ParentRef(i);
  if (parentRef == kNoRef) {
    errno = ENOENT;
    Fail(i, "parent folder missing:");
    return false;
  }
  ntfs_inode* dir = dirs_.Get(parentRef);
  if (dir == nullptr) {
    Fail(i, "opening the folder");
    return false;
  }
  if (n.flags & kHardLink) {
    if (n.linkOf >= nodes_.size() || refs_[n.linkOf] == kNoRef) {
      errno = ENOENT;
      Fail(i, "hard link target missing:");
      return false;
    }
    ntfs_inode* target = ntfs_inode_open(vol_, MREF(refs_[n.linkOf]));
    if (target == nullptr) {
      Fail(i, "opening the link target");
      return false;
    }
    bool ok = ntfs_link(target, dir, Units(n.name), u8(n.name.size())) == 0;
    if (!ok) Fail(i, "ntfs_link");
    w.record = target->mft_no;
    w.size = report_.nodes[n.linkOf].size;
    // The _in_dir close: syncing the names must not open `dir` a second time.
    ntfs_inode_close_in_dir(target, dir);
    w.ok = ok;
    return ok;
  }
  ntfs_inode* ni = ntfs_create(dir, const_cpu_to_le32(0), Units(n.name), u8(n.name.size()),
                               n.isFolder ? S_IFDIR : S_IFREG);
  if (ni == nullptr) {
    Fail(i, "ntfs_create");
    return false;
  }
  refs_[i] = RefOf(ni);
  w.record = ni->mft_no;
  bool ok = true;
  if (!n.isFolder) {
    if (n.flags & kFragmented)
      ok = WriteFragmented(ni, i, n.size);
    else
      ok = WriteData(ni, i, n.size);
    if (ok && (n.flags & kManyStreams)) ok = AddStreams(ni);
    if (!ok) Fail(i, "writing data");
  }
  w.size = n.isFolder ? 0 : n.size;
  if (ntfs_inode_close_in_dir(ni, dir) != 0 && ok) {
    ok = false;
    Fail(i, "closing");
  }
  w.ok = true;  // the name exists even when its data fell short
  return ok;
}

bool Writer::DeleteNode(uint32_t i) {
  const Node& n = nodes_[i];
  if (refs_[i] == kNoRef) return false;
  ntfs_inode* dir = dirs_.Get(ParentRef(i));
  ntfs_inode* ni = dir != nullptr ? ntfs_inode_open(vol_, MREF(refs_[i])) : nullptr;
  if (ni == nullptr) {
    Fail(i, "opening for delete");
    dirs_.Close();
    return false;
  }
  std::string path = "/" + Utf8(PathOf(nodes_, i, u'/'));
  // ntfs_delete closes both inodes, whatever the outcome.
  int rc = ntfs_delete(vol_, path.c_str(), ni, dir, Units(n.name), u8(n.name.size()));
  dirs_.Forget();
  if (rc != 0) {
    Fail(i, "ntfs_delete");
    return false;
  }
  return true;
}

// Marks clusters right after the last run of `rl` as used, so that the
// attribute's next growth must start a new run elsewhere. The clusters are
// given back at the end and stay free.
void Writer::BlockAfter(const runlist_element* rl, s64 clusters) {
  if (rl == nullptr) return;
  LCN end = -1;
  for (; rl->length != 0; ++rl)
    if (rl->lcn >= 0) end = rl->lcn + rl->length;
  if (end < 0) return;
  runlist* block = ntfs_cluster_alloc(vol_, 0, clusters, end, DATA_ZONE);
  if (block != nullptr) blocks_.push_back(block);
}

void Writer::BlockMftGrowth() {
  BlockAfter(vol_->mft_na->rl, std::max<s64>(1, (256 * 1024) >> vol_->cluster_size_bits));
}

void Writer::ReleaseBlocks() {
  for (runlist* rl : blocks_) {
    ntfs_cluster_free_from_rl(vol_, rl);
    free(rl);
  }
  blocks_.clear();
}

bool Writer::Run(std::string& error) {
  report_.nodes.assign(nodes_.size(), Written{});
  const auto start = std::chrono::steady_clock::now();
  // About a dozen gaps: several extents, but few enough runs for the base
  // record of $MFT, which libntfs-3g cannot extend with an attribute list.
  const uint32_t blockEvery = std::max<uint32_t>(64, uint32_t(nodes_.size() / 12));
  for (uint32_t i = 0; i < nodes_.size(); ++i) {
    if (!CreateNode(i) && errno == EIO) {
      // libntfs-3g leaves the volume inconsistent after an I/O error; going
      // on would only pile up failures (or worse) on a broken image.
      error = "I/O error while writing " + Utf8(PathOf(nodes_, i)) + "; giving up";
      return false;
    }
    if (options_.fragmentMft && i % blockEvery == blockEvery / 2) BlockMftGrowth();
    if (options_.progress && (i + 1) % 50000 == 0) {
      double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::fprintf(stderr, "zw-mkimage: %u of %zu nodes written, $MFT in %u runs (%.0f s)\n", i + 1,
                   nodes_.size(), MftRuns(), s);
    }
  }
  // Deleting last leaves the freed records free, as on a used volume.
  for (uint32_t i = 0; i < nodes_.size(); ++i)
    if ((nodes_[i].flags & kDeleted) && report_.nodes[i].ok) {
      report_.nodes[i].deleted = DeleteNode(i);
    }
  dirs_.Close();
  ReleaseBlocks();
  report_.mftRuns = MftRuns();
  return true;
}

// libntfs-3g's lines on stderr, without the one it prints for every delete
// outside its FUSE driver (there is no inode cache here to update).
int LogToStderr(const char* function, const char* file, int line, u32 level, void* data,
                const char* format, va_list args) {
  if (std::strncmp(format, "Could not delete inode cache entry", 34) == 0) return 0;
  const int saved = errno;
  char text[1024];
  std::vsnprintf(text, sizeof text, format, args);
  size_t len = std::strlen(text);
  while (len > 0 && text[len - 1] == '\n') text[--len] = '\0';
  if (level & NTFS_LOG_LEVEL_PERROR)
    std::fprintf(stderr, "zw-mkimage: libntfs-3g: %s: %s\n", text, std::strerror(saved));
  else
    std::fprintf(stderr, "zw-mkimage: libntfs-3g: %s\n", text);
  errno = saved;
  return int(len);
}

}  // namespace

bool WriteTree(const std::string& image, const std::vector<Node>& nodes,
               const WriteOptions& options, WriteReport& report, std::string& error) {
  // libntfs-3g's own reasons for a failure are worth seeing.
  ntfs_log_set_handler(LogToStderr);
  ntfs_log_set_levels(NTFS_LOG_LEVEL_ERROR | NTFS_LOG_LEVEL_PERROR | NTFS_LOG_LEVEL_CRITICAL);
  ntfs_volume* vol = ntfs_mount(image.c_str(), NTFS_MNT_EXCLUSIVE);
  if (vol == nullptr) {
    error = image + ": ntfs_mount failed (" + std::strerror(errno) + ")";
    return false;
  }
  bool ok;
  {
    Writer w(vol, nodes, options, report);
    ok = w.Run(error);
  }
  if (ntfs_umount(vol, FALSE) != 0 && ok) {
    error = image + ": ntfs_umount failed (" + std::strerror(errno) + ")";
    ok = false;
  }
  return ok;
}

}  // namespace zw::gen
