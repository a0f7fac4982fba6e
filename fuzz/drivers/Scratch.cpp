#include "fuzz/drivers/Scratch.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/HostError.h"

namespace vfuzz {

namespace {

std::string& Dir() {
    static std::string dir;
    return dir;
}

void RemoveDir() {
    const std::string& dir = Dir();
    if (dir.empty()) return;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
                ::unlink((dir + e->d_name).c_str());
            }
        }
        ::closedir(d);
    }
    ::rmdir(dir.c_str());
}

}  // namespace

const std::string& ScratchDir() {
    std::string& dir = Dir();
    if (!dir.empty()) return dir;
    struct stat st {};
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm"
                              : tmp && *tmp                                       ? tmp
                                                                                  : "/tmp";
    std::string pattern = base + "/vellora-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        throw vhost::HostError("cannot make a scratch folder in '" + base + "': " + std::strerror(errno));
    }
    dir = pattern + "/";
    std::atexit(RemoveDir);
    return dir;
}

std::string ScratchFile(const std::string& name, const void* data, size_t size) {
    const std::string path = ScratchDir() + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw vhost::HostError("cannot write '" + path + "': " + std::strerror(errno));
    const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written) throw vhost::HostError("cannot write '" + path + "': " + std::strerror(errno));
    return path;
}

}  // namespace vfuzz
