#include "selftest/SelfTestContext.h"

namespace velkin {

void group46HTMLBlocks(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
