#pragma once

#include <cstddef>

namespace orvane {

/// Storage of `bytes` bytes for a big buffer (a photo's pixels, a matrix of all its patches),
/// released with std::free; nullptr when memory runs out. Blocks of a few megabytes or more
/// are aligned to huge pages and ask the kernel for them: such buffers are written page by
/// page on their first pass, and with 4 KiB pages those faults cost as much as the work
/// that fills them. The contents are undefined.
void* AllocateLarge(std::size_t bytes);

}  // namespace orvane
