#pragma once
// How the C allocator treats the large blocks a long document's text needs.
//
// By default glibc raises its threshold for mapping a block on its own each time
// such a block is freed, up to 32 MiB. After the first long text is let go, the
// next ones (a 16 MB document's text is about 33 MB of UTF-16) come from the heap
// instead, where a freed one stays resident behind whatever was allocated after
// it. Keeping the threshold fixed gives every large block its own mapping, which
// goes back to the system the moment it is freed.
namespace velkin::LargeAllocations {

// How many heaps the threads share. glibc gives each new thread a heap of its
// own, each holding 64 MB of address space: the threads Qt keeps for image work
// would take hundreds of megabytes of an address-space limit before any text.
constexpr int heaps = 2;

// The size from which a block gets its own mapping.
constexpr unsigned long ownMappingFrom = 1UL << 20;
// How much free memory the heap's top keeps in hand before it gives it back
// (twice the other, as glibc itself keeps them).
constexpr unsigned long heapTopKept = 2UL << 20;

// Fixes both thresholds and the heaps; called once, before the first window opens.
void keepApart();

} // namespace velkin::LargeAllocations
