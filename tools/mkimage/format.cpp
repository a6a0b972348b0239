#include "format.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

namespace zw::gen {
namespace {

// Runs a program without a shell (paths may hold spaces) and waits for it.
// Its stderr is kept and shown only when it fails: mkntfs warns about every
// image file not being a block device.
bool Run(const std::vector<std::string>& args, std::string& error) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    error = args[0] + ": pipe failed";
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  std::string messages;
  if (rc == 0) {
    char buf[4096];
    for (ssize_t n; (n = read(pipeFds[0], buf, sizeof buf)) != 0;) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) break;
      messages.append(buf, size_t(n));
    }
  }
  close(pipeFds[0]);
  if (rc != 0) {
    error = args[0] + ": cannot start (" + std::strerror(rc) + ")";
    return false;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      error = args[0] + ": wait failed";
      return false;
    }
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    error = args[0] + ": failed (status " + std::to_string(status) + "): " + messages;
    return false;
  }
  return true;
}

bool PatchSerial(int fd, uint64_t offset, uint64_t serial) {
  unsigned char bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(serial >> (8 * i));
  return pwrite(fd, bytes, 8, off_t(offset + 0x48)) == 8;
}

}  // namespace

bool FormatImage(const std::string& path, const FormatOptions& o, std::string& error) {
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = path + ": cannot create (" + std::strerror(errno) + ")";
    return false;
  }
  auto fail = [&](const std::string& why) {
    error = why;
    close(fd);
    unlink(path.c_str());
    return false;
  };
  if (ftruncate(fd, off_t(o.sizeBytes)) != 0)
    return fail(path + ": cannot size (" + std::strerror(errno) + ")");

  std::vector<std::string> args = {
      "mkntfs", "-F",    "-f", "-q", "-Q", "-T", "-I", "-s", std::to_string(o.sectorSize),
      "-L",     o.label, "-p", "0",  "-H", "0",  "-S", "0"};
  if (o.clusterSize != 0) {
    args.push_back("-c");
    args.push_back(std::to_string(o.clusterSize));
  }
  args.push_back(path);
  std::string runError;
  if (!Run(args, runError)) return fail(path + ": " + runError);

  // mkntfs picks a random serial; a fixed one keeps images comparable. The
  // backup boot sector sits in the last sector the volume claims.
  unsigned char boot[512];
  if (pread(fd, boot, sizeof boot, 0) != sizeof boot)
    return fail(path + ": cannot read boot sector");
  uint64_t sectors = 0;
  for (int i = 0; i < 8; ++i) sectors |= uint64_t(boot[0x28 + i]) << (8 * i);
  if (!PatchSerial(fd, 0, o.serial) || !PatchSerial(fd, sectors * o.sectorSize, o.serial))
    return fail(path + ": cannot write the volume serial");
  if (close(fd) != 0) {
    unlink(path.c_str());
    error = path + ": close failed";
    return false;
  }
  return true;
}

}  // namespace zw::gen
