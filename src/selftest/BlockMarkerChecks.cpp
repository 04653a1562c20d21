#include "selftest/SelfTestContext.h"

namespace velkin {

void group04BlockMarkers(SelfTestContext& t)
{
    (void)t;
}

void group05StylerSizes(SelfTestContext& t)
{
    (void)t;
}

void group06DocumentStats(SelfTestContext& t)
{
    (void)t;
}

void group11DefaultBodySize(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
