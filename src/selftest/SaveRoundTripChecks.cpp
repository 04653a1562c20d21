#include "selftest/SelfTestContext.h"

namespace velkin {

void group22SaveRoundTrip(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
