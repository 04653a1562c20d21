#include "selftest/SelfTestContext.h"

namespace velkin {

void group25EmojiShortcodes(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
