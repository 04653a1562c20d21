#include "selftest/SelfTestContext.h"

namespace velkin {

void group16GridTyping(SelfTestContext& t)
{
    (void)t;
}

void group17MarkdownDocument(SelfTestContext& t)
{
    (void)t;
}

void group18GridStyling(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
