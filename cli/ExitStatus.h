// A command that ends with a status of its own (130 after Ctrl-C) throws this
// once everything it has to say is printed; main returns the code.
#pragma once

namespace vcli {

struct ExitStatus {
    int code;
};

}  // namespace vcli
