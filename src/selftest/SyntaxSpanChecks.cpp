#include "selftest/SelfTestContext.h"

namespace velkin {

void group01DemoSpans(SelfTestContext& t)
{
    (void)t;
}

void group02InlineBlockSpans(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
