#include "selftest/SelfTestContext.h"

namespace velkin {

void group45StoreScreenshots(SelfTestContext& t)
{
    (void)t;
}

void group47ExportedPage(SelfTestContext& t)
{
    (void)t;
}

void group48ExportFormats(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
