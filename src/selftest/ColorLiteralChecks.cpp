#include "selftest/SelfTestContext.h"

namespace velkin {

void group24ColorLiterals(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
