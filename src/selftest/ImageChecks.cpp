#include "selftest/SelfTestContext.h"

namespace velkin {

void group14BlockImages(SelfTestContext& t)
{
    (void)t;
}

void group15ImageInsertion(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
