#include "selftest/SelfTestContext.h"

namespace velkin {

void group23Alerts(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
