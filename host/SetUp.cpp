#include "host/SetUp.h"

#include "host/ApiNames.h"
#include "host/HostError.h"

namespace vhost {

void ThrowIfError(PF_Err err, const std::string& what) {
    if (err != PF_Err_NONE) throw HostError(what + " with error " + DescribeError(err));
}

PF_OutData SetUpEffect(Host& host) {
    const std::string plugin = "plug-in '" + host.Module().Path() + "'";
    ThrowIfError(host.GlobalSetup(), plugin + " failed global set-up");
    const PF_OutData global = host.OutData();
    ThrowIfError(host.ParamsSetup(), plugin + " failed parameter set-up");
    return global;
}

void RequireBalancedLedgers(const Host& host) {
    const std::string problems = host.LedgerReport();
    if (!problems.empty()) {
        throw HostError("plug-in '" + host.Module().Path() + "' did not give back what it took: " + problems);
    }
}

}  // namespace vhost
