#pragma once

// Large buffers that are written whole right after they are made: a reply of tens of megabytes, the documents
// in it. On a virtual machine the first write to each 4 KiB page of new memory traps to the hypervisor, and for
// such a buffer the traps cost more than the writing: about 4 ms a megabyte, against 0.2 ms with 2 MiB pages
// (measured on the 2-core build machine). Asking for huge pages before the first write avoids most of the traps;
// where the kernel has none to give, or has them turned off, nothing changes.

#include <cstddef>
#include <string>

// Asks for huge pages for the whole pages inside [data, data + size) that nothing has written yet; a buffer
// smaller than a few huge pages is left alone.
void AdviseHugePages(void* data, std::size_t size);

// A text of `size` zero bytes, its memory asked for huge pages before the zeros were written.
std::string LargeString(std::size_t size);
