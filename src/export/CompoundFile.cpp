#include "export/CompoundFile.h"

#include "export/ByteBuffer.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t kFreeSect = 0xFFFFFFFFu;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr std::uint32_t kFatSect = 0xFFFFFFFDu;
constexpr std::uint32_t kDifSect = 0xFFFFFFFCu;
constexpr std::uint32_t kNoStream = 0xFFFFFFFFu;

constexpr std::size_t kSector = CCompoundFile::kSectorSize;
constexpr std::size_t kIdsPerSector = kSector / 4;       // FAT entries per sector
constexpr std::size_t kHeaderDifat = 109;                 // FAT sector ids in the header
constexpr std::size_t kIdsPerDifatSector = kIdsPerSector - 1; // last id chains to the next
constexpr std::size_t kDirEntrySize = 128;

std::size_t CeilDiv(std::size_t a, std::size_t b)
{
    return (a + b - 1) / b;
}

// Where everything goes. Sectors in file order: FAT, DIFAT, directory,
// mini FAT, mini stream, then the large stream.
struct Layout {
    bool bMini = false;
    std::size_t nDir = 1;          // root + one stream fit in one sector (4 entries)
    std::size_t nMiniSectors = 0;  // 64-byte units of the mini stream
    std::size_t nMiniFat = 0;
    std::size_t nMiniStream = 0;   // regular sectors holding the mini stream
    std::size_t nStream = 0;       // regular sectors of a large stream
    std::size_t nFat = 0;
    std::size_t nDifat = 0;

    std::size_t DifatStart() const { return nFat; }
    std::size_t DirStart() const { return nFat + nDifat; }
    std::size_t MiniFatStart() const { return DirStart() + nDir; }
    std::size_t MiniStreamStart() const { return MiniFatStart() + nMiniFat; }
    std::size_t StreamStart() const { return MiniStreamStart() + nMiniStream; }
    std::size_t Total() const { return StreamStart() + nStream; }
};

Layout Plan(std::size_t size)
{
    Layout l;
    l.bMini = size < CCompoundFile::kMiniStreamCutoff;
    if (l.bMini) {
        l.nMiniSectors = CeilDiv(size, CCompoundFile::kMiniSectorSize);
        l.nMiniFat = CeilDiv(l.nMiniSectors * 4, kSector);
        l.nMiniStream = CeilDiv(l.nMiniSectors * CCompoundFile::kMiniSectorSize, kSector);
    } else {
        l.nStream = CeilDiv(size, kSector);
    }
    // The FAT maps every sector, its own and the DIFAT's included: grow both
    // until they cover the total.
    const std::size_t data = l.nDir + l.nMiniFat + l.nMiniStream + l.nStream;
    for (;;) {
        const std::size_t fat = CeilDiv(data + l.nFat + l.nDifat, kIdsPerSector);
        const std::size_t difat = fat > kHeaderDifat ? CeilDiv(fat - kHeaderDifat, kIdsPerDifatSector) : 0;
        if (fat == l.nFat && difat == l.nDifat)
            break;
        l.nFat = fat;
        l.nDifat = difat;
    }
    return l;
}

void Chain(std::vector<std::uint32_t>& table, std::size_t first, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        table[first + i] = i + 1 < count ? static_cast<std::uint32_t>(first + i + 1) : kEndOfChain;
}

void PutDirEntry(std::uint8_t* e, std::string_view name, std::uint8_t type, std::uint32_t child,
                 std::uint32_t start, std::uint32_t size)
{
    std::memset(e, 0, kDirEntrySize);
    std::size_t n = 0;
    for (; n < name.size() && n < 31; ++n)
        Put16(e + 2 * n, static_cast<unsigned char>(name[n]));
    if (type != 0)
        Put16(e + 64, static_cast<std::uint16_t>((n + 1) * 2)); // bytes, terminator included
    e[66] = type;
    e[67] = 1; // black: a tree of one node per level is a valid red-black tree
    Put32(e + 68, kNoStream); // left sibling
    Put32(e + 72, kNoStream); // right sibling
    Put32(e + 76, child);
    Put32(e + 116, start);
    Put32(e + 120, size); // the high half stays 0 (version 3)
}

} // namespace

std::size_t CCompoundFile::FileSize(std::size_t size)
{
    return kSector * (1 + Plan(size).Total());
}

bool CCompoundFile::Write(std::string_view name, const std::uint8_t* data, std::size_t size, const ByteSink& sink)
{
    if (size > 0x7FFFFFFFu - 0x100000u)
        return false; // beyond a version 3 file
    const Layout l = Plan(size);

    // Everything before the large stream is built in one buffer.
    std::vector<std::uint8_t> head(kSector * (1 + l.StreamStart()), 0);
    std::uint8_t* h = head.data();

    // Header.
    static const std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(h, kSignature, 8);
    Put16(h + 0x18, 0x003E); // minor version
    Put16(h + 0x1A, 0x0003); // major version 3: 512-byte sectors
    Put16(h + 0x1C, 0xFFFE); // little-endian
    Put16(h + 0x1E, 9);      // sector shift
    Put16(h + 0x20, 6);      // mini sector shift
    Put32(h + 0x2C, static_cast<std::uint32_t>(l.nFat));
    Put32(h + 0x30, static_cast<std::uint32_t>(l.DirStart()));
    Put32(h + 0x38, static_cast<std::uint32_t>(kMiniStreamCutoff));
    Put32(h + 0x3C, l.nMiniFat ? static_cast<std::uint32_t>(l.MiniFatStart()) : kEndOfChain);
    Put32(h + 0x40, static_cast<std::uint32_t>(l.nMiniFat));
    Put32(h + 0x44, l.nDifat ? static_cast<std::uint32_t>(l.DifatStart()) : kEndOfChain);
    Put32(h + 0x48, static_cast<std::uint32_t>(l.nDifat));
    for (std::size_t i = 0; i < kHeaderDifat; ++i)
        Put32(h + 0x4C + 4 * i, i < l.nFat ? static_cast<std::uint32_t>(i) : kFreeSect);

    auto sector = [&](std::size_t id) { return h + kSector * (1 + id); };

    // FAT.
    std::vector<std::uint32_t> fat(l.nFat * kIdsPerSector, kFreeSect);
    for (std::size_t i = 0; i < l.nFat; ++i)
        fat[i] = kFatSect;
    for (std::size_t i = 0; i < l.nDifat; ++i)
        fat[l.DifatStart() + i] = kDifSect;
    Chain(fat, l.DirStart(), l.nDir);
    Chain(fat, l.MiniFatStart(), l.nMiniFat);
    Chain(fat, l.MiniStreamStart(), l.nMiniStream);
    Chain(fat, l.StreamStart(), l.nStream);
    for (std::size_t i = 0; i < fat.size(); ++i)
        Put32(sector(0) + 4 * i, fat[i]);

    // DIFAT sectors: the FAT sector ids past the header's 109.
    for (std::size_t d = 0; d < l.nDifat; ++d) {
        std::uint8_t* s = sector(l.DifatStart() + d);
        for (std::size_t k = 0; k < kIdsPerDifatSector; ++k) {
            const std::size_t fatId = kHeaderDifat + d * kIdsPerDifatSector + k;
            Put32(s + 4 * k, fatId < l.nFat ? static_cast<std::uint32_t>(fatId) : kFreeSect);
        }
        Put32(s + 4 * kIdsPerDifatSector,
              d + 1 < l.nDifat ? static_cast<std::uint32_t>(l.DifatStart() + d + 1) : kEndOfChain);
    }

    // Directory: the root (owner of the mini stream) and the one stream.
    std::uint8_t* dir = sector(l.DirStart());
    const std::uint32_t miniBytes = static_cast<std::uint32_t>(l.nMiniSectors * kMiniSectorSize);
    PutDirEntry(dir, "Root Entry", 5, 1, l.nMiniStream ? static_cast<std::uint32_t>(l.MiniStreamStart()) : kEndOfChain,
                miniBytes);
    std::uint32_t start = kEndOfChain;
    if (size > 0)
        start = l.bMini ? 0 : static_cast<std::uint32_t>(l.StreamStart());
    PutDirEntry(dir + kDirEntrySize, name, 2, kNoStream, start, static_cast<std::uint32_t>(size));
    for (std::size_t i = 2; i < kSector / kDirEntrySize; ++i)
        PutDirEntry(dir + i * kDirEntrySize, {}, 0, kNoStream, 0, 0);

    // Mini FAT and mini stream.
    if (l.bMini && size > 0) {
        std::vector<std::uint32_t> miniFat(l.nMiniFat * kIdsPerSector, kFreeSect);
        Chain(miniFat, 0, l.nMiniSectors);
        for (std::size_t i = 0; i < miniFat.size(); ++i)
            Put32(sector(l.MiniFatStart()) + 4 * i, miniFat[i]);
        std::memcpy(sector(l.MiniStreamStart()), data, size);
    }

    if (!sink(head.data(), head.size()))
        return false;
    if (l.bMini || size == 0)
        return true;
    if (!sink(data, size))
        return false;
    const std::size_t tail = l.nStream * kSector - size;
    if (tail == 0)
        return true;
    static const std::uint8_t kZeros[kSector] = {};
    return sink(kZeros, tail);
}
