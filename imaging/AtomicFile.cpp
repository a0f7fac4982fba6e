#include "AtomicFile.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "HostError.h"

namespace vhost {

std::string TempPathBeside(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return dir + "." + base + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

void WriteAtomically(const std::string& path, const std::function<void(const std::string& temp)>& write,
                     const std::string& what) {
    const std::string temp = TempPathBeside(path);
    try {
        write(temp);
    } catch (...) {
        std::remove(temp.c_str());
        throw;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        std::remove(temp.c_str());
        throw HostError((what.empty() ? "" : what + ": ") + "cannot write '" + path + "': " + std::strerror(err));
    }
}

void WriteTextAtomically(const std::string& path, const std::string& text, const std::string& what) {
    WriteAtomically(path, [&](const std::string& temp) {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (out) out << text;
        if (out) out.flush();
        if (!out) throw HostError(what + ": cannot write '" + path + "': " + std::strerror(errno));
    }, what);
}

}  // namespace vhost
