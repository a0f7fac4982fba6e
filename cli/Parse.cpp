#include "cli/Parse.h"

namespace vcli {

CLI::Validator NonEmpty() {
    return CLI::Validator(
        [](std::string& value) {
            return value.find_first_not_of(" \t") == std::string::npos ? std::string("the value is empty")
                                                                         : std::string();
        },
        "", "");
}

}  // namespace vcli
