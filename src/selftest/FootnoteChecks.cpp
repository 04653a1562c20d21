#include "selftest/SelfTestContext.h"

namespace velkin {

void group27Footnotes(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
