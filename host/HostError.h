// Errors of the reference host itself (a module that will not load, a suite
// misused), as opposed to the PF_Err codes a plug-in returns. What a user
// typed is an input error (support/InputError.h), wherever it is parsed.
#pragma once

#include <stdexcept>
#include <string>

namespace vhost {

class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace vhost
