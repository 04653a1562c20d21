#include "selftest/SelfTestContext.h"

namespace velkin {

void group26ListContinuation(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
