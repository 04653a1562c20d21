#include "selftest/SelfTestContext.h"

namespace velkin {

void group07EditingCommands(SelfTestContext& t)
{
    (void)t;
}

void group08FormattingActions(SelfTestContext& t)
{
    (void)t;
}

void group09TableKerning(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
