#pragma once

#include <cstddef>

// Counts the bytes that malloc and friends hand out in this process, with a resettable peak. Linking
// HeapCounter.cpp replaces the allocator entry points, so C++ new, Qt and every library are counted.
namespace HeapCounter {
std::size_t Current();
std::size_t Peak();
void ResetPeak();
} // namespace HeapCounter
