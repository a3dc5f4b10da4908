// Counts the bytes this program holds on the heap through operator new, so a
// benchmark can tell how far one call raises the peak.
#pragma once
#include <cstddef>

namespace qelt::bench {

// Bytes held now, and the most held since the last ResetHeapPeak.
size_t HeapInUse();
size_t HeapPeak();
void ResetHeapPeak();

}  // namespace qelt::bench
