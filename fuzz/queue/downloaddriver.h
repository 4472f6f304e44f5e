#pragma once

#include <cstddef>
#include <cstdint>

// Drives one download through a DownloadEngine and a stand-in light, answer by
// answer, from a fuzzer's bytes. The script:
//
//   setup byte: bits 0-1 the light's family (0 "Вегал V3.17", 1 "TM_HELIX",
//     2 "vegal2", 3 "зелта"); journal engine: bits 2-3 the blocks argument
//     (-1, -3, a count read from the next byte, 0); bit 4: the save directory
//     is missing.
//   journal with -3: the existing journal file (16-bit length, bytes).
//   then operations, one byte each plus arguments; bit 3 of the operation byte
//   answers the oldest awaited command instead of the newest:
//     0 data: journal [int32 number, block]; configuration [area byte,
//       int32 offset, piece]; blocks and pieces are 16-bit length, bytes
//     1 a large block or piece: number or area and offset as above, then
//       size = byte * 64 KiB + word, filled with one byte
//     2 an error answer: code byte (signed), 8-bit length text
//     3 too few elements: count byte (0..2)
//     4 link: byte, bit 0 drops it, bit 1 brings it back
//     5 the last finished answer signals finished() again
//     6 operator: byte, bit 0 Stop, bit 1 Resume
//     7 host: byte % 4: queue again, clear this light and queue again, clear
//       all, delete the light without clearing it and queue a new one of the
//       same id and family
//
// After every operation, and once more at the end, the engine's promises are
// checked; a broken one aborts.
void runDownload(bool journal, const uint8_t* data, size_t size);

// The targets' LLVMFuzzerInitialize comes with it: it creates the application
// object the engine's timer needs.
