// orvdata: the command-line front of the report service.
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "cli/commands.h"
#include "service/data.h"

namespace {

// A report moves its work tables through statements that each allocate and free hundreds of
// megabytes (new row values, sort records, result copies). By default the C library hands
// blocks that large straight back to the kernel and takes fresh, zero-filled pages for the
// next statement, so a large report spent a tenth of its time in page faults. The process is
// short-lived, so it keeps what it freed in its heap for reuse instead.
void KeepFreedMemoryForReuse() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, -1);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  KeepFreedMemoryForReuse();
  orv::service::RegisterServiceClasses();
  std::vector<std::string> args(argv + 1, argv + argc);
  return orv::cli::RunCommandLine(std::move(args));
}
