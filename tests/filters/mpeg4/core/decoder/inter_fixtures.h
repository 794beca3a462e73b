// The fixture matrix of predicted pictures: every stream with P-, B- or
// S-VOPs (and the short-header streams) that make_fixtures.sh makes, for the
// programs that run a table over all of them.
#pragma once

#include <string>
#include <vector>

namespace tlx::mpeg4::test {

inline const std::vector<std::string> kInterFixtures = {
    "sp_ip_176x144.m4v",      "sp_ip_352x288.m4v",      "mv4_176x144.m4v",        "mv4_352x288.m4v",
    "b2_176x144.m4v",         "b2_352x288.m4v",         "dquant_176x144.m4v",     "dquant_352x288.m4v",
    "odd_184x136.m4v",        "max_720x576.m4v",        "packets_176x144.m4v",    "packets_352x288.m4v",
    "qpel_176x144.m4v",       "qpel_352x288.m4v",       "qpel_b2_176x144.m4v",    "qpel_b2_352x288.m4v",
    "h263_128x96.h263",       "h263_176x144.h263",      "h263_352x288.h263",      "h263_704x576.h263",
    "h263_ps_128x96.h263",    "h263_ps_176x144.h263",   "h263_ps_352x288.h263",   "h263_ps_704x576.h263",
    "dp_176x144.m4v",         "dp_352x288.m4v",         "dp_b1_176x144.m4v",      "dp_b1_352x288.m4v",
    "gmc_352x288.m4v",        "gmc_b_352x288.m4v",      "ilace_tff0_176x144.m4v", "ilace_tff0_352x288.m4v",
    "ilace_tff1_176x144.m4v", "ilace_tff1_352x288.m4v", "packed_b1_176x144.m4v",
};

}  // namespace tlx::mpeg4::test
