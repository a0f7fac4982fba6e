#include "validator/LedgerChecks.h"

#include <cstring>
#include <exception>

#include "host/HostError.h"

namespace vvalidator {

void CheckLedgers(vhost::Host& host, const std::string& what, Findings& findings, bool refused_releases) {
    vhost::SuiteLedger& suites = host.Suites();
    if (!suites.Balanced()) {
        for (const std::string& p : suites.Problems()) findings.Add(what + ": suite " + p);
        suites.Reset();
    }
    vhost::ObjectLedger& objects = host.Objects();
    if (!objects.Balanced()) {
        for (const std::string& p : objects.Problems()) {
            // A release the host refused leaves its object held; that is the host's doing.
            if (refused_releases && p.find("still holds") != std::string::npos) continue;
            findings.Add(what + ": " + p);
        }
        objects.Reset();
    }
}

PF_Err SendChecked(vhost::Host& host, const std::string& what, Findings& findings, ValidationCounters& counters,
                   const std::function<PF_Err()>& send) {
    ++counters.commands;
    PF_InData before;
    std::memcpy(&before, &host.InData(), sizeof(before));
    PF_Err err = PF_Err_INTERNAL_STRUCT_DAMAGED;
    try {
        err = send();
    } catch (const vhost::HostError& e) {
        findings.Add(what + ": " + e.what());
        return err;
    } catch (const std::exception& e) {
        findings.Add(what + ": the host failed: " + e.what());
        return err;
    }
    // The host itself refreshes these two on every command; nothing else may change.
    before.pica_basicP = host.InData().pica_basicP;
    before.num_params = host.InData().num_params;
    if (std::memcmp(&before, &host.InData(), sizeof(before)) != 0) {
        findings.Add(what + ": the effect wrote into PF_InData");
        std::memcpy(&host.InData(), &before, sizeof(before));
    }
    return err;
}

}  // namespace vvalidator
