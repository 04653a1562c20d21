#include "selftest/SelfTestContext.h"

namespace velkin {

void group03CodeHighlighting(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
