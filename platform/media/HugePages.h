#pragma once

#include <cstddef>

// Asks the kernel to back a large, freshly allocated buffer with huge pages
// before it is first written. A sound file's samples and its sound image run
// to tens of megabytes, written once from start to end; with ordinary pages
// most of that time goes to page faults. Only whole pages inside the buffer
// are advised; nothing happens where the advice is not supported.
void adviseHugePages(void* data, size_t bytes);
