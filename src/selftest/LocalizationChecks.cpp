#include "selftest/SelfTestContext.h"

namespace velkin {

void group10Localization(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
