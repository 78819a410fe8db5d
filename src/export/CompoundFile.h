#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

// Receives the bytes of a file in order; returns false to abandon the write
// (the sink keeps the reason).
using ByteSink = std::function<bool(const void* data, std::size_t size)>;

// Writes a compound file (the container of .xls workbooks: version 3,
// 512-byte sectors) holding one stream under the root storage.
//
// A stream shorter than the 4096-byte cut-off lives in the mini stream
// (64-byte mini sectors chained by the mini FAT), as readers expect; a longer
// one gets sectors of its own. The FAT grows past the 109 entries of the
// header through DIFAT sectors, so any stream up to the 2 GB format limit of
// version 3 fits.
class CCompoundFile {
public:
    static constexpr std::size_t kSectorSize = 512;
    static constexpr std::size_t kMiniSectorSize = 64;
    static constexpr std::size_t kMiniStreamCutoff = 4096;

    // Writes the whole file through `sink`: header, FAT, DIFAT, directory,
    // mini FAT and mini stream, then the stream's own sectors straight from
    // `data` (no copy of a large stream). `name` is at most 31 characters
    // (ASCII). Returns false when the sink fails or the stream is too large.
    static bool Write(std::string_view name, const std::uint8_t* data, std::size_t size, const ByteSink& sink);

    // The size of the file Write produces for a stream of `size` bytes.
    static std::size_t FileSize(std::size_t size);
};
