// A folder of this process's own for the files a driver hands the tools
// (the tools read and write files by name), in memory where the system has
// /dev/shm, removed with everything in it when the process exits.
#pragma once

#include <cstddef>
#include <string>

namespace vfuzz {

// The folder's path, ending in '/'; made on first use. Throws HostError when it cannot be.
const std::string& ScratchDir();

// Writes `size` bytes to `name` in the scratch folder and returns its path.
std::string ScratchFile(const std::string& name, const void* data, size_t size);

}  // namespace vfuzz
