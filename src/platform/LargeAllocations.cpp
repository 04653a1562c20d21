#include "platform/LargeAllocations.h"

#include <malloc.h>

namespace velkin::LargeAllocations {

void keepApart()
{
    // Setting either stops glibc from moving both.
    mallopt(M_MMAP_THRESHOLD, int(ownMappingFrom));
    mallopt(M_TRIM_THRESHOLD, int(heapTopKept));
    mallopt(M_ARENA_MAX, heaps);
}

} // namespace velkin::LargeAllocations
