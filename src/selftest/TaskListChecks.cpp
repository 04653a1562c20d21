#include "selftest/SelfTestContext.h"

namespace velkin {

void group21TaskLists(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
