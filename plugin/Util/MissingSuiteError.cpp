#include "plugin/Util/AEGP_SuiteHandler.h"

void AEGP_SuiteHandler::MissingSuiteError() const {
    // A plain host error code; only the entry point catches it.
    throw PF_Err(PF_Err_BAD_CALLBACK_PARAM);
}
