// Files written whole or not at all: the content goes to a temporary file
// beside the target, which then replaces the target in one rename. On any
// failure the temporary file is removed and the target is left as it was.
#pragma once

#include <functional>
#include <string>

namespace vhost {

// A name for a temporary file in the same folder as `path`, unique in this process.
std::string TempPathBeside(const std::string& path);

// Calls `write` with the temporary file's name, then renames it over `path`.
// Errors from `write` pass through after the temporary file is removed; a
// failed rename throws HostError naming `path` and the reason, after `what: `
// when `what` is given.
void WriteAtomically(const std::string& path, const std::function<void(const std::string& temp)>& write,
                     const std::string& what = "");

// `text` as the whole content of `path`, atomically; `what` starts error messages ("--trace").
void WriteTextAtomically(const std::string& path, const std::string& text, const std::string& what);

}  // namespace vhost
