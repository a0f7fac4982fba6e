// The invariants a strict host holds a plug-in to after every command, and the
// tools that drive it to them, one job to a file: the findings (Findings.h),
// the ledger and send checks after every command (LedgerChecks.h), the
// pixels a render starts from (FrameFill.h), the render invariants
// (RenderInvariants.h), random parameter values (RandomParams.h) and the
// overlay event driver (EventDriver.h). Shared by the validator's checks, the
// fuzz driver and the tests, which include them all through this header.
#pragma once

#include "validator/EventDriver.h"
#include "validator/Findings.h"
#include "validator/LedgerChecks.h"
#include "validator/RandomParams.h"
#include "validator/RenderInvariants.h"
