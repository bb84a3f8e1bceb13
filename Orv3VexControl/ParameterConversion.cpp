// Conversion between raw parameter bytes and property values, in both directions.
#define VEX_LOG_FILE "Orv3VexControl.cpp"

#include "ParameterConversion.h"

#include "util/Log.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little,
              "words are copied as they lie in memory: little-endian only");

namespace {

constexpr uint64_t kWordBytes = 4;
// The largest blob a property value can describe, in words.
constexpr uint64_t kMaxBlobWords = 0xFFFFFFFFull / kWordBytes;
// The most values a get gives back: channel gains and mutes (32 bytes), optimizer gains
// (640 bytes).
constexpr uint64_t kChannelValueLimit = 8;
constexpr uint64_t kGainValueLimit = 160;
// Compressor records: 6 words each, at most 4 of them in the 100 bytes a get asks for.
constexpr uint64_t kMaxRecords = 4;
constexpr uint64_t kRecordWords = 6;
constexpr ULONG kRecordsRequired = 4 + kMaxRecords * kRecordWords * kWordBytes;
constexpr uint64_t kDrcMetadataWords = 18;
constexpr uint64_t kInitInfoWords = 42;
constexpr uint64_t kInitInfoHeadWords = 10;
constexpr LONG kInitInfoMarker = 32;
// The most fixed blocks a MarkedBlocks layout has (1123, 1170).
constexpr uint64_t kMaxMarkedBlocks = 4;

// How the words of an id are laid out.
enum class Shape {
    Scalar,         // one word, VT_I4
    MarkedBlocks,   // an optional leading word, then fixed blocks each after a marker
    OptimizerRows,  // 1119: like MarkedBlocks, but only complete rows come back
    PartialOutput,  // 1156: w0, k, k words
    InitInfo,       // 1161: a length word inserted after word 9
    DrcMetadata,    // 1162: 72 bytes, or 18 zero words
    FilterConfig,   // 2105: a byte count and the bytes
    CountedValues,  // 2107, 2137, 2138: a count and the values, limited on the way back
    Records,        // 2116: a count and records of 6 words, each after a marker
};

struct Layout {
    Shape shape;
    bool leadingWord;     // MarkedBlocks, OptimizerRows: a count word before the blocks
    uint64_t blocks;      // MarkedBlocks, OptimizerRows: the number of blocks
    uint64_t blockWords;  // MarkedBlocks, OptimizerRows: words per block; the marker's value
    uint64_t valueLimit;  // CountedValues: values copied back at most
};

Layout LayoutOf(LONG id) {
    switch (id) {
        case 1114:  // vex_ieq_bands
        case 1122:  // vex_graphic_equalizer_bands
            return {Shape::MarkedBlocks, true, 2, 20, 0};
        case 1119:  // vex_audio_optimizer_bands: f, then ten rows
            return {Shape::OptimizerRows, true, 11, 20, 0};
        case 1123:  // vex_regulator_tuning
        case 1170:  // vex_woofer_regulator_tuning
            return {Shape::MarkedBlocks, true, 4, 20, 0};
        case 1156:  // vex_tuning_partial_output_mode
            return {Shape::PartialOutput, false, 0, 0, 0};
        case 1161:  // vex_init_info
            return {Shape::InitInfo, false, 0, 0, 0};
        case 1162:  // vex_drc_metadata
            return {Shape::DrcMetadata, false, 0, 0, 0};
        case 2105:  // drova_filter_config
            return {Shape::FilterConfig, false, 0, 0, 0};
        case 2107:  // drova_audio_optimizer_gains
            return {Shape::CountedValues, false, 0, 0, kGainValueLimit};
        case 2108:  // drova_regulator_thresholds
            return {Shape::MarkedBlocks, false, 2, 20, 0};
        case 2109:  // drova_regulator_isolated_bands
            return {Shape::MarkedBlocks, false, 1, 20, 0};
        case 2116:  // drova_mb_compressor_tuning
            return {Shape::Records, false, 0, kRecordWords, 0};
        case 2122:  // drova_regulator_stress_amount
            return {Shape::MarkedBlocks, false, 1, 8, 0};
        case 2135:  // drova_sliding_bass_gain_curve
            return {Shape::MarkedBlocks, false, 1, 5, 0};
        case 2137:  // drova_channel_gains
        case 2138:  // drova_channel_mutes
            return {Shape::CountedValues, false, 0, 0, kChannelValueLimit};
        default:
            return {Shape::Scalar, false, 0, 0, 0};
    }
}

LONG ReadWord(const BYTE* bytes, uint64_t wordIndex) {
    LONG word;
    std::memcpy(&word, bytes + wordIndex * kWordBytes, sizeof word);
    return word;
}

// A count word read without its sign.
uint64_t ReadCount(const BYTE* bytes, uint64_t wordIndex) {
    return static_cast<ULONG>(ReadWord(bytes, wordIndex));
}

// The words of a structured value while they are collected: zeroed memory from the COM task
// allocator, handed over as a VT_BLOB.
class WordBlob {
public:
    explicit WordBlob(uint64_t words) : m_words(words) {
        if (words > 0 && words <= kMaxBlobWords) {
            const size_t bytes = static_cast<size_t>(words * kWordBytes);
            m_data = static_cast<BYTE*>(CoTaskMemAlloc(bytes));
            if (m_data != nullptr) {
                std::memset(m_data, 0, bytes);
            }
        }
    }
    WordBlob(const WordBlob&) = delete;
    WordBlob& operator=(const WordBlob&) = delete;
    ~WordBlob() { CoTaskMemFree(m_data); }

    bool Allocated() const { return m_data != nullptr; }

    void Put(LONG word) {
        std::memcpy(m_data + m_cursor * kWordBytes, &word, sizeof word);
        ++m_cursor;
    }
    // Copies `count` words of the caller's bytes, starting at word `from`.
    void PutWords(const BYTE* data, uint64_t from, uint64_t count) {
        std::memcpy(m_data + m_cursor * kWordBytes, data + from * kWordBytes,
                    static_cast<size_t>(count * kWordBytes));
        m_cursor += count;
    }
    // Copies raw bytes to the current word; the rest of the last word stays zero.
    void PutBytes(const BYTE* bytes, uint64_t count) {
        std::memcpy(m_data + m_cursor * kWordBytes, bytes, static_cast<size_t>(count));
        m_cursor += (count + kWordBytes - 1) / kWordBytes;
    }

    // The collected words as a VT_BLOB: first described as the VT_VECTOR|VT_I4 array they
    // are, then retyped in place, the element count becoming the byte count (both members lie
    // at the same place in the value).
    PROPVARIANT Finish() {
        PROPVARIANT value;
        PropVariantInit(&value);
        value.vt = VT_VECTOR | VT_I4;
        value.cal.cElems = static_cast<ULONG>(m_words);
        value.cal.pElems = reinterpret_cast<LONG*>(m_data);
        m_data = nullptr;

        const ULONG count = value.cal.cElems;
        BYTE* const bytes = reinterpret_cast<BYTE*>(value.cal.pElems);
        value.vt = VT_BLOB;
        value.blob.cbSize = count * static_cast<ULONG>(kWordBytes);
        value.blob.pBlobData = bytes;
        return value;
    }

private:
    uint64_t m_words;
    uint64_t m_cursor = 0;
    BYTE* m_data = nullptr;
};

ConvertedParameter Refused(HRESULT result) {
    PROPVARIANT empty;
    PropVariantInit(&empty);
    return ConvertedParameter(empty, result);
}

bool Covers(const BYTE* data, ULONG size, uint64_t bytes) {
    return data != nullptr && bytes <= size;
}

// Builds a blob of `words` words, which `fill` writes; the caller's bytes have been checked
// against the layout before.
template <typename Fill>
ConvertedParameter Collect(uint64_t words, Fill fill) {
    if (words > kMaxBlobWords) {
        return Refused(E_INVALIDARG);
    }
    WordBlob blob(words);
    if (!blob.Allocated()) {
        return Refused(E_OUTOFMEMORY);
    }
    fill(blob);
    return ConvertedParameter(blob.Finish(), S_OK);
}

// The caller's blocks, each preceded by a marker that counts its words.
void PutMarkedBlocks(WordBlob& blob, const BYTE* data, uint64_t fromWord, uint64_t blocks,
                     uint64_t blockWords) {
    for (uint64_t i = 0; i < blocks; ++i) {
        blob.Put(static_cast<LONG>(blockWords));
        blob.PutWords(data, fromWord + i * blockWords, blockWords);
    }
}

ConvertedParameter ConvertFilterConfig(const BYTE* data, ULONG size) {
    if (!Covers(data, size, kWordBytes)) {
        return Refused(E_INVALIDARG);
    }
    const uint64_t n = ReadCount(data, 0);
    if (n > kFilterConfigCapacity) {
        // Refused whole: neither route may receive a value other than the one asked for.
        VEX_LOG(Util::kLevelError, "ConvertParameterToPropVariant",
                "Filter config is too large to set, capacity = %d bytes, asked = %d. Clear "
                "filter config to null.",
                static_cast<int>(kFilterConfigCapacity), static_cast<ULONG>(n));
        return Refused(E_INVALIDARG);
    }
    if (!Covers(data, size, kWordBytes + n)) {
        return Refused(E_INVALIDARG);
    }
    return Collect(1 + (n + kWordBytes - 1) / kWordBytes, [&](WordBlob& blob) {
        blob.Put(static_cast<LONG>(n));
        blob.PutBytes(data + kWordBytes, n);
    });
}

}  // namespace

ConvertedParameter::ConvertedParameter(const PROPVARIANT& value, HRESULT result) noexcept
    : m_result(result) {
    *m_value.Receive() = value;
}

ConvertedParameter ConvertParameterToPropVariant(LONG id, const BYTE* data, ULONG size) noexcept {
    const Layout layout = LayoutOf(id);
    switch (layout.shape) {
        case Shape::Scalar: {
            if (!Covers(data, size, kWordBytes)) {
                return Refused(E_INVALIDARG);
            }
            PROPVARIANT value;
            PropVariantInit(&value);
            value.vt = VT_I4;
            value.lVal = ReadWord(data, 0);
            return ConvertedParameter(value, S_OK);
        }
        case Shape::MarkedBlocks:
        case Shape::OptimizerRows: {
            const uint64_t lead = layout.leadingWord ? 1 : 0;
            const uint64_t words = lead + layout.blocks * layout.blockWords;
            if (!Covers(data, size, words * kWordBytes)) {
                return Refused(E_INVALIDARG);
            }
            return Collect(lead + layout.blocks * (layout.blockWords + 1), [&](WordBlob& blob) {
                if (lead != 0) {
                    blob.Put(ReadWord(data, 0));
                }
                PutMarkedBlocks(blob, data, lead, layout.blocks, layout.blockWords);
            });
        }
        case Shape::PartialOutput:
        case Shape::CountedValues: {
            // A count (after w0 for 1156), then that many values, stored as they are.
            const uint64_t countWord = layout.shape == Shape::PartialOutput ? 1 : 0;
            if (!Covers(data, size, (countWord + 1) * kWordBytes)) {
                return Refused(E_INVALIDARG);
            }
            const uint64_t words = countWord + 1 + ReadCount(data, countWord);
            if (!Covers(data, size, words * kWordBytes)) {
                return Refused(E_INVALIDARG);
            }
            return Collect(words, [&](WordBlob& blob) { blob.PutWords(data, 0, words); });
        }
        case Shape::InitInfo: {
            if (!Covers(data, size, kInitInfoWords * kWordBytes)) {
                return Refused(E_INVALIDARG);
            }
            return Collect(kInitInfoWords + 1, [&](WordBlob& blob) {
                blob.PutWords(data, 0, kInitInfoHeadWords);
                blob.Put(kInitInfoMarker);
                blob.PutWords(data, kInitInfoHeadWords, kInitInfoWords - kInitInfoHeadWords);
            });
        }
        case Shape::DrcMetadata: {
            const bool none = data == nullptr || size == 0;
            if (!none && !Covers(data, size, kDrcMetadataWords * kWordBytes)) {
                return Refused(E_INVALIDARG);
            }
            return Collect(kDrcMetadataWords, [&](WordBlob& blob) {
                if (!none) {
                    blob.PutWords(data, 0, kDrcMetadataWords);
                }
            });
        }
        case Shape::FilterConfig:
            return ConvertFilterConfig(data, size);
        case Shape::Records: {
            if (!Covers(data, size, kWordBytes)) {
                return Refused(E_INVALIDARG);
            }
            const uint64_t records = ReadCount(data, 0);
            if (!Covers(data, size, (1 + records * kRecordWords) * kWordBytes)) {
                return Refused(E_INVALIDARG);
            }
            return Collect(1 + records * (kRecordWords + 1), [&](WordBlob& blob) {
                blob.Put(ReadWord(data, 0));
                PutMarkedBlocks(blob, data, 1, records, kRecordWords);
            });
        }
    }
    return Refused(E_INVALIDARG);
}

namespace {

// The bytes of a stored blob.
struct StoredBytes {
    const BYTE* data;
    uint64_t size;
};

// False when the value is not a blob whose bytes can be read.
bool StoredBlob(const PROPVARIANT& value, StoredBytes* stored) {
    if (value.vt != VT_BLOB || (value.blob.cbSize > 0 && value.blob.pBlobData == nullptr)) {
        return false;
    }
    *stored = {value.blob.pBlobData, value.blob.cbSize};
    return true;
}

// Copies the stored bytes to the buffer, leaving out the marker words at the given byte
// offsets (ascending).
void CopyWithoutMarkers(BYTE* buffer, const StoredBytes& stored, const uint64_t* markers,
                        uint64_t markerCount) {
    uint64_t from = 0;
    uint64_t to = 0;
    for (uint64_t i = 0; i <= markerCount; ++i) {
        const uint64_t end = i < markerCount ? markers[i] : stored.size;
        std::memcpy(buffer + to, stored.data + from, static_cast<size_t>(end - from));
        to += end - from;
        from = end + kWordBytes;
    }
}

HRESULT GetMarkedBlocks(const Layout& layout, BYTE* buffer, ULONG* size,
                        const StoredBytes& stored) {
    const uint64_t lead = layout.leadingWord ? 1 : 0;
    uint64_t markers[kMaxMarkedBlocks];
    if (layout.blocks == 0 || layout.blocks > kMaxMarkedBlocks) {
        return kMalformedStoredValue;
    }
    for (uint64_t i = 0; i < layout.blocks; ++i) {
        markers[i] = (lead + i * (layout.blockWords + 1)) * kWordBytes;
    }
    const uint64_t lastMarkerEnd = markers[layout.blocks - 1] + kWordBytes;
    if (stored.size < lastMarkerEnd) {
        return kMalformedStoredValue;
    }
    const uint64_t required = stored.size - layout.blocks * kWordBytes;
    if (buffer == nullptr || *size < required) {
        *size = static_cast<ULONG>(required);
        return E_INVALIDARG;
    }
    CopyWithoutMarkers(buffer, stored, markers, layout.blocks);
    return S_OK;
}

HRESULT GetOptimizerRows(const Layout& layout, BYTE* buffer, ULONG* size,
                         const StoredBytes& stored) {
    // n, then every block (f and the rows) that the value holds whole, f at least.
    if (stored.size < kWordBytes) {
        return kMalformedStoredValue;
    }
    const uint64_t storedBlockBytes = (layout.blockWords + 1) * kWordBytes;
    const uint64_t blocks = std::min(layout.blocks, (stored.size - kWordBytes) / storedBlockBytes);
    if (blocks == 0) {
        return kMalformedStoredValue;
    }
    const uint64_t blockBytes = layout.blockWords * kWordBytes;
    const uint64_t required = kWordBytes + blocks * blockBytes;
    if (buffer == nullptr || *size < required) {
        *size = static_cast<ULONG>(required);
        return E_INVALIDARG;
    }
    std::memcpy(buffer, stored.data, kWordBytes);
    for (uint64_t i = 0; i < blocks; ++i) {
        std::memcpy(buffer + kWordBytes + i * blockBytes,
                    stored.data + kWordBytes + i * storedBlockBytes + kWordBytes,
                    static_cast<size_t>(blockBytes));
    }
    return S_OK;
}

HRESULT GetPartialOutput(BYTE* buffer, ULONG* size, const StoredBytes& stored) {
    if (stored.size < 2 * kWordBytes) {
        return kMalformedStoredValue;
    }
    const uint64_t required = (2 + ReadCount(stored.data, 1)) * kWordBytes;
    if (required > stored.size) {
        return kMalformedStoredValue;
    }
    if (buffer == nullptr || *size < required) {
        *size = static_cast<ULONG>(required);
        return E_INVALIDARG;
    }
    std::memcpy(buffer, stored.data, static_cast<size_t>(required));
    return S_OK;
}

HRESULT GetInitInfo(BYTE* buffer, ULONG* size, const StoredBytes& stored) {
    const uint64_t head = kInitInfoHeadWords * kWordBytes;
    if (stored.size < head + kWordBytes) {
        return kMalformedStoredValue;
    }
    // The marker counts the bytes after it that the effect reads; the words after it are
    // all returned, so that the whole value that was set comes back.
    const uint64_t tail = stored.size - head - kWordBytes;
    if (ReadCount(stored.data, kInitInfoHeadWords) > tail) {
        return kMalformedStoredValue;
    }
    const uint64_t required = head + tail;
    if (buffer == nullptr || *size < required) {
        *size = static_cast<ULONG>(required);
        return E_INVALIDARG;
    }
    std::memcpy(buffer, stored.data, static_cast<size_t>(head));
    std::memcpy(buffer + head, stored.data + head + kWordBytes, static_cast<size_t>(tail));
    return S_OK;
}

HRESULT GetWhole(BYTE* buffer, ULONG* size, const StoredBytes& stored) {
    if (buffer == nullptr || *size < stored.size) {
        *size = static_cast<ULONG>(stored.size);
        return E_INVALIDARG;
    }
    if (stored.size > 0) {
        std::memcpy(buffer, stored.data, static_cast<size_t>(stored.size));
    }
    return S_OK;
}

HRESULT GetFilterConfig(BYTE* buffer, ULONG* size, const StoredBytes& stored) {
    if (stored.size < kWordBytes) {
        return kMalformedStoredValue;
    }
    const uint64_t bytes = std::min<uint64_t>(ReadCount(stored.data, 0), kFilterConfigCapacity);
    if (kWordBytes + bytes > stored.size) {
        return kMalformedStoredValue;
    }
    if (buffer == nullptr || *size < stored.size) {
        *size = static_cast<ULONG>(stored.size);
        return E_INVALIDARG;
    }
    std::memcpy(buffer, stored.data, static_cast<size_t>(kWordBytes + bytes));
    return S_OK;
}

HRESULT GetCountedValues(const Layout& layout, BYTE* buffer, ULONG* size,
                         const StoredBytes& stored) {
    if (stored.size < kWordBytes) {
        return kMalformedStoredValue;
    }
    if (buffer == nullptr || *size < stored.size) {
        *size = static_cast<ULONG>(stored.size);
        return E_INVALIDARG;
    }
    // The count is taken without sign, so a negative one asks for the most; the values the
    // stored value holds bound it as well.
    const uint64_t values = std::min(
        {ReadCount(stored.data, 0), layout.valueLimit, (stored.size - kWordBytes) / kWordBytes});
    std::memcpy(buffer, stored.data, static_cast<size_t>((1 + values) * kWordBytes));
    return S_OK;
}

HRESULT GetRecords(BYTE* buffer, ULONG* size, const StoredBytes& stored) {
    if (stored.size < kWordBytes) {
        return kMalformedStoredValue;
    }
    const uint64_t records = ReadCount(stored.data, 0);
    const uint64_t storedRecordBytes = (kRecordWords + 1) * kWordBytes;
    if (records <= kMaxRecords && kWordBytes + records * storedRecordBytes > stored.size) {
        return kMalformedStoredValue;
    }
    if (buffer == nullptr || *size < kRecordsRequired) {
        *size = kRecordsRequired;
        return E_INVALIDARG;
    }
    std::memset(buffer, 0, kRecordsRequired);
    std::memcpy(buffer, stored.data, kWordBytes);
    if (records > kMaxRecords) {
        return E_OUTOFMEMORY;
    }
    const uint64_t recordBytes = kRecordWords * kWordBytes;
    for (uint64_t i = 0; i < records; ++i) {
        std::memcpy(buffer + kWordBytes + i * recordBytes,
                    stored.data + kWordBytes + i * storedRecordBytes + kWordBytes,
                    static_cast<size_t>(recordBytes));
    }
    return S_OK;
}

}  // namespace

namespace {

HRESULT ConvertStoredValue(LONG id, BYTE* buffer, ULONG* size, const PROPVARIANT& value) {
    // A call that fails for lack of room still leaves the caller's buffer cleared.
    if (buffer != nullptr && *size > 0) {
        std::memset(buffer, 0, *size);
    }

    const Layout layout = LayoutOf(id);
    if (layout.shape == Shape::Scalar) {
        if (value.vt != VT_I4 && value.vt != VT_UI4) {
            return kMalformedStoredValue;
        }
        if (buffer == nullptr || *size < kWordBytes) {
            *size = static_cast<ULONG>(kWordBytes);
            return E_INVALIDARG;
        }
        std::memcpy(buffer, &value.lVal, kWordBytes);
        return S_OK;
    }

    StoredBytes stored{};
    if (!StoredBlob(value, &stored)) {
        return kMalformedStoredValue;
    }
    switch (layout.shape) {
        case Shape::MarkedBlocks:
            return GetMarkedBlocks(layout, buffer, size, stored);
        case Shape::OptimizerRows:
            return GetOptimizerRows(layout, buffer, size, stored);
        case Shape::PartialOutput:
            return GetPartialOutput(buffer, size, stored);
        case Shape::InitInfo:
            return GetInitInfo(buffer, size, stored);
        case Shape::DrcMetadata:
            return GetWhole(buffer, size, stored);
        case Shape::FilterConfig:
            return GetFilterConfig(buffer, size, stored);
        case Shape::CountedValues:
            return GetCountedValues(layout, buffer, size, stored);
        case Shape::Records:
            return GetRecords(buffer, size, stored);
        case Shape::Scalar:
            break;
    }
    return kMalformedStoredValue;
}

}  // namespace

HRESULT ConvertPropVariantToParameter(LONG id, BYTE* buffer, ULONG* size,
                                      const PROPVARIANT& value) noexcept {
    if (size == nullptr) {
        return E_INVALIDARG;
    }
    const HRESULT hr = ConvertStoredValue(id, buffer, size, value);
    if (hr == kMalformedStoredValue) {
        VEX_LOG(Util::kLevelError, "ConvertPropVariantToParameter",
                "Stored value of parameter %d does not have its layout: [0x%.8x]%s", id, hr,
                Util::ErrorText{hr});
    }
    return hr;
}
