#include "selftest/SelfTestContext.h"

namespace velkin {

void group42WindowChrome(SelfTestContext& t)
{
    (void)t;
}

void group43PreviewImages(SelfTestContext& t)
{
    (void)t;
}

void group44SetextAndLayout(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
