// A mistake in what the user gave (a file, an option, a parameter or key
// file), as opposed to a failure of the host or the module: the message names
// the file, option or value and says what was expected.
#pragma once

#include <stdexcept>
#include <string>

namespace vsupport {

class InputError : public std::runtime_error {
public:
    explicit InputError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace vsupport
