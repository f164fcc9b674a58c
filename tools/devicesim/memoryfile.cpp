#include "devicesim/memoryfile.h"

#include "devicesim/posixio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace orvel::devicesim {

Load loadMemory(const std::string &path, Memory &memory, std::string &error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return Load::Missing;
        error = withErrno(path);
        return Load::Failed;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size != static_cast<off_t>(kMemorySize)) {
        close(fd);
        error = path + ": a memory file must hold exactly 8192 bytes";
        return Load::Failed;
    }
    std::size_t got = 0;
    while (got < memory.size()) {
        const ssize_t n = read(fd, memory.data() + got, memory.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    if (got != memory.size()) {
        error = path + ": short read";
        return Load::Failed;
    }
    return Load::Loaded;
}

bool saveMemory(const std::string &path, const Memory &memory) {
    const std::string tmp = path + ".tmp";
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        complain(withErrno(tmp));
        return false;
    }
    const bool written = writeAll(fd, memory.data(), memory.size());
    if (!written) complain(withErrno(tmp));
    close(fd);
    if (!written || rename(tmp.c_str(), path.c_str()) != 0) {
        if (written) complain(withErrno(path));
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

namespace {

// The name may be taken only by a regular file of ours, or be free.
bool replaceable(int dir, const std::string &name) {
    struct stat st {};
    if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
    errno = EEXIST;
    return S_ISREG(st.st_mode) && st.st_uid == geteuid();
}

bool writeIn(int dir, const std::string &tmp, const Memory &memory) {
    unlinkat(dir, tmp.c_str(), 0);
    const int fd =
        openat(dir, tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool written = fchmod(fd, 0600) == 0 && writeAll(fd, memory.data(), memory.size()) &&
                         fsync(fd) == 0;
    close(fd);
    return written;
}

}  // namespace

bool saveUnitMemory(const std::string &folder, unsigned number, const Memory &memory) {
    const std::string name = std::to_string(number) + ".bin";
    const std::string tmp = "." + name + "." + std::to_string(getpid()) + ".tmp";
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        complain(withErrno(folder));
        return false;
    }
    const bool saved = replaceable(dir, name) && writeIn(dir, tmp, memory) &&
                       renameat(dir, tmp.c_str(), dir, name.c_str()) == 0;
    if (!saved) {
        complain(withErrno(folder + "/" + name));
        unlinkat(dir, tmp.c_str(), 0);
    }
    close(dir);
    return saved;
}

}  // namespace orvel::devicesim
