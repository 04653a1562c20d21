#include "selftest/SelfTestContext.h"

namespace velkin {

void group35EscapedPipes(SelfTestContext& t)
{
    (void)t;
}

void group36StylingCombinations(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
