#include "selftest/SelfTestContext.h"

namespace velkin {

void group28IndentedCode(SelfTestContext& t)
{
    (void)t;
}

void group29ReferenceLinks(SelfTestContext& t)
{
    (void)t;
}

void group30Autolinks(SelfTestContext& t)
{
    (void)t;
}

void group31BackslashEscapes(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
