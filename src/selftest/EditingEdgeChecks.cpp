#include "selftest/SelfTestContext.h"

namespace velkin {

void group19MoreEditing(SelfTestContext& t)
{
    (void)t;
}

void group20EdgeCases(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
