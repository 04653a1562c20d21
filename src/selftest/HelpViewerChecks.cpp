#include "selftest/SelfTestContext.h"

namespace velkin {

void group37HelpBook(SelfTestContext& t)
{
    (void)t;
}

void group38HelpStrings(SelfTestContext& t)
{
    (void)t;
}

void group39HelpMarkup(SelfTestContext& t)
{
    (void)t;
}

void group40HelpNavigator(SelfTestContext& t)
{
    (void)t;
}

void group41HelpPlainText(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
