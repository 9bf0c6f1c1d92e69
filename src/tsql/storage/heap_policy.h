// How a process that runs large batches treats the memory it frees.
#pragma once

namespace orv::tsql {

// A batch moves its work tables through statements that each allocate and free hundreds of
// megabytes (new row values, hash tables, sort records, result copies). By default the C
// library hands blocks that large straight back to the kernel and takes fresh, zero-filled
// pages for the next statement, so a large report spent a tenth of its time in page faults.
// A short-lived process that owns its heap (the command line, the benchmarks) calls this
// once at start to keep what it frees for reuse instead. A library loaded into someone
// else's process leaves the choice to that process.
void KeepFreedMemoryForReuse();
// The opposite, the C library's own way, for a process that runs for long (the server): large
// blocks are mapped on their own and the top of the heap is trimmed, so that the memory one
// large report freed goes back to the system instead of staying with the process for good.
void GiveFreedMemoryBack();

// From now on, tables that go keep their rows' memory: for a process about to exit (the
// command line, once its output is written), where handing a million rows back to the
// allocator one value at a time only delays the exit that frees them all at once.
void KeepRowsUntilExit();
bool RowsKeptUntilExit();

}  // namespace orv::tsql
