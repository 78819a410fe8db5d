#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Texts of the inverter's fault bits and running states. Catalogue A serves
// protocol types 0 and 1 (fixed entries of 20 UTF-16 units), catalogue B
// protocol type 2 (30 units). Entries 0 to 31 are the fault bits; the
// running states follow from entry 32 on.

// Lamp icon resources shown beside the running state.
constexpr int kIconLampGreen = 139;
constexpr int kIconLampGrey = 140;
constexpr int kIconLampRed = 141;
constexpr int kIconLampYellow = 142;

struct SStateText {
    std::u16string strText;
    int nIcon;
    bool operator==(const SStateText&) const = default;
};

// Entry `entry` of catalogue B under protocol type 2, of catalogue A
// otherwise; empty for an empty entry or one past the catalogue's end.
std::u16string GetCatalogueEntry(int entry, int protocolType);

// The texts of the set bits of the fault word, bit 0 first. A set bit whose
// entry is empty gives an empty line; a fault word of 0 gives no lines.
std::vector<std::u16string> GetFaultTexts(std::uint32_t faultWord, int protocolType);

// The running state's text and lamp, or nothing for a code that has none
// (the page then keeps what it showed before).
std::optional<SStateText> GetStateText(std::uint32_t stateCode, int protocolType);

// A catalogue text (UTF-16) as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);
