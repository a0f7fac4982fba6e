#include "validator/RandomParams.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>

#include "api/FixedPoint.h"
#include "validator/Findings.h"

namespace vvalidator {

const char* ValueKindName(ValueKind kind) {
    switch (kind) {
        case ValueKind::Valid:
            return "valid";
        case ValueKind::Snapped:
            return "at the ends of the ranges";
        case ValueKind::Hostile:
            return "hostile";
    }
    return "?";
}

namespace {

using vfixed::kOne;

PF_Fixed FixedIn(uint64_t word, double lo, double hi) {
    const double v = lo + Unit(word) * (hi - lo);
    return static_cast<PF_Fixed>(std::llround(std::clamp(v, -32768.0, 32767.0) * kOne));
}

const double kHostileDoubles[] = {0.0,
                                  -0.0,
                                  -1.0,
                                  -15000.0,
                                  -1e6,
                                  std::numeric_limits<double>::quiet_NaN(),
                                  -std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  DBL_MAX,
                                  -DBL_MAX,
                                  std::numeric_limits<double>::denorm_min(),
                                  -std::numeric_limits<double>::denorm_min(),
                                  DBL_MIN / 4.0,
                                  1e-310,
                                  15000.001,
                                  1e300,
                                  static_cast<double>(FLT_MAX) * 4.0,
                                  static_cast<double>(FLT_MAX),
                                  0.5,
                                  1e-30};
const A_long kHostileFixed[] = {0,       -1,       -kOne,    INT_MIN,   INT_MAX,  INT_MIN + 1,
                                INT_MAX - 1, 101 * kOne, 200 * kOne, -100 * kOne, 0x7FFF0000, 1};
const A_long kHostileChoices[] = {0, -1, INT_MIN, INT_MAX, 127, -128, 256, 65536, 0x7FFF};

template <class T, size_t N>
T Pick(const T (&table)[N], uint64_t word) {
    return table[word % N];
}

}  // namespace

std::string RandomizeParams(vhost::Host& host, const RandomWord& next, ValueKind kind) {
    std::vector<PF_ParamDef>& params = host.Params();
    std::string text;
    for (size_t i = 1; i < params.size(); ++i) {
        PF_ParamDef& p = params[i];
        // Hostile sets mix hostile values with ordinary ones, as a damaged project would.
        const bool hostile = kind == ValueKind::Hostile && (next() & 1);
        const bool snapped = kind == ValueKind::Snapped;
        const uint64_t w = next();
        switch (p.param_type) {
            case PF_Param_POPUP: {
                const A_long n = std::max<A_long>(1, p.u.pd.num_choices);
                p.u.pd.value = hostile ? Pick(kHostileChoices, w)
                               : snapped ? ((w & 1) ? n : 1)
                                         : 1 + static_cast<A_long>(w % static_cast<uint64_t>(n));
                if (hostile && (w >> 32) % 3 == 0) p.u.pd.value = n + 1;
                break;
            }
            case PF_Param_CHECKBOX:
                p.u.bd.value = hostile ? ((w & 2) ? Pick(kHostileChoices, w >> 8) : 2) : static_cast<A_long>(w & 1);
                break;
            case PF_Param_FLOAT_SLIDER: {
                const double lo = p.u.fs_d.valid_min, hi = p.u.fs_d.valid_max;
                if (hostile) {
                    p.u.fs_d.value = Pick(kHostileDoubles, w);
                } else if (snapped) {
                    p.u.fs_d.value = (w & 1) ? hi : lo;
                } else if (w & 1) {
                    p.u.fs_d.value = lo + Unit(next()) * (hi - lo);
                } else {
                    // Most masks people make are a few hundred pixels across.
                    const double u = Unit(next());
                    p.u.fs_d.value = lo + u * u * std::min(hi - lo, 800.0);
                }
                break;
            }
            case PF_Param_FIX_SLIDER: {
                const PF_Fixed lo = p.u.fd.valid_min, hi = p.u.fd.valid_max;
                p.u.fd.value = hostile  ? Pick(kHostileFixed, w)
                               : snapped ? ((w & 1) ? hi : lo)
                                         : static_cast<PF_Fixed>(lo + static_cast<int64_t>(Unit(next()) *
                                                                                           (static_cast<double>(hi) - lo)));
                break;
            }
            case PF_Param_ANGLE:
                p.u.ad.value = hostile  ? Pick(kHostileFixed, w)
                               : snapped ? ((w & 1) ? 360 * kOne : 0)
                                         : FixedIn(next(), -720.0, 720.0);
                break;
            case PF_Param_POINT:
                if (hostile) {
                    p.u.td.x_value = Pick(kHostileFixed, w);
                    p.u.td.y_value = Pick(kHostileFixed, w >> 16);
                } else if (snapped) {
                    p.u.td.x_value = (w & 1) ? 1920 * kOne : 0;
                    p.u.td.y_value = (w & 2) ? 1080 * kOne : 0;
                } else {
                    p.u.td.x_value = FixedIn(next(), -256.0, 2304.0);
                    p.u.td.y_value = FixedIn(next(), -256.0, 1344.0);
                }
                break;
            default:
                break;
        }
        text += (text.empty() ? "" : " ") + std::to_string(i) + "=" + DescribeParam(p);
    }
    return text;
}

void ResetParams(vhost::Host& host) {
    const PF_InData& in = host.InData();
    host.ResetParams(in.width > 0 ? in.width : 640, in.height > 0 ? in.height : 480);
}

}  // namespace vvalidator
