// A test allocator that fails the n-th allocation from a chosen moment: every
// global operator new form of the program (replaced in this executable, so
// the modules it loads use them too) and, through the stand-in's allocation
// hook, the task allocator, BSTRs, SAFEARRAYs and the native XBlob blocks.
// It also counts the blocks alive, for leak checks around a call.
#pragma once

namespace sweep {

// Makes the n-th allocation from now (1: the next one) fail as if memory had
// run out; 0 plants nothing. Returns whether the failure planted by the
// previous call happened.
bool FailAllocation(long n);

// Blocks made and not yet freed, over every allocator above.
long LiveBlocks();

}  // namespace sweep
