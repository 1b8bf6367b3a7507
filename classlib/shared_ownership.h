// The count of holders behind CZEL_Handle and CZEL_CHMS.
//
// Both classes copy their raw resource (a handle word, a critical-section
// record) on assignment. Instead of letting each copy believe it owns the
// resource, the objects that hold one resource point at one SharedOwnership
// record, and only the last holder to let go releases the resource. An object
// that is the only holder has no record at all.
#pragma once

#include <atomic>

struct SharedOwnership {
    std::atomic<int> holders;
    // Set when the resource was handed away (CZEL_Handle::Detach): then no
    // holder releases it.
    std::atomic<bool> handedOver;
};

// Makes target a further holder of what source holds: creates the record when
// source was the only holder, counts target in, and stores the record in both.
// Answers false when memory for the record runs out (nothing is changed then).
bool joinOwnership(SharedOwnership*& source, SharedOwnership*& target);

// Lets go of a share: clears share and answers whether the caller was the last
// holder of a resource that was not handed away, so must release it. A null
// share means the caller was the only holder: the answer is true.
bool leaveOwnership(SharedOwnership*& share);

// Hands the resource away and lets go of the share: no holder releases it after this.
void handOverOwnership(SharedOwnership*& share);
