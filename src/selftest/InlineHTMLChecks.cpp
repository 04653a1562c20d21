#include "selftest/SelfTestContext.h"

namespace velkin {

void group32InlineHTML(SelfTestContext& t)
{
    (void)t;
}

void group33LinkTitles(SelfTestContext& t)
{
    (void)t;
}

void group34Containers(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
