#include "app/DocumentStats.h"
#include "selftest/SelfTestContext.h"

namespace velkin {

void group04BlockMarkers(SelfTestContext& t)
{
    (void)t;
}

void group05StylerSizes(SelfTestContext& t)
{
    (void)t;
}

void group06DocumentStats(SelfTestContext& t)
{
    const DocumentStats stats(u"one two three");
    t.check("stats counts words", stats.words == 3);
    t.check("stats counts characters", stats.characters == 13);
    t.check("empty document has zero words", DocumentStats(u"").words == 0);
}

void group11DefaultBodySize(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
