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
// The most fixed blocks a MarkedBlocks layout has.
constexpr uint64_t kMaxMarkedBlocks = 4;

// How the words of an id are laid out, as the parameter table's fields say.
enum class Shape {
    Scalar,         // one word, VT_I4
    MarkedBlocks,   // an optional leading word, then fixed blocks each after a marker
    OptimizerRows,  // like MarkedBlocks, ending in rows of which only complete ones come back
    PartialOutput,  // w0, k, k words
    InitInfo,       // a length word inserted after the head words
    DrcMetadata,    // a fixed byte block, or zero words for none
    FilterConfig,   // a byte count and the bytes
    CountedValues,  // a count and the values, limited on the way back
    Records,        // a count and records, each after a marker
};

struct Layout {
    Shape shape = Shape::Scalar;
    bool leadingWord = false;  // MarkedBlocks, OptimizerRows: a word before the blocks
    uint64_t blocks = 0;       // MarkedBlocks, OptimizerRows, Records (the most records)
    uint64_t blockWords = 0;   // words per block, record or value; a marker's value
    uint64_t valueLimit = 0;   // CountedValues, FilterConfig: values copied back at most
    uint64_t headWords = 0;    // InitInfo: the words before the length word
};

// The layout of a value that the endpoint effect keeps; every other id is one word.
Layout LayoutOf(LONG id) {
    const ParameterRow* row = FindParameterRow(id);
    if (row == nullptr || !row->Stored() || row->layout->form != ValueForm::Fields) {
        return {};
    }
    const std::span<const ValueField> fields = row->layout->fields;
    const ValueField& last = fields.back();
    Layout layout;
    layout.leadingWord = fields.front().kind == FieldKind::Word;
    switch (last.kind) {
        case FieldKind::Bytes:
            layout.shape = Shape::DrcMetadata;
            layout.blockWords = last.length / kWordBytes;
            break;
        case FieldKind::CountedBytes:
            layout.shape = Shape::FilterConfig;
            layout.valueLimit = last.limit;
            break;
        case FieldKind::CountedRows:
            layout.shape = Shape::Records;
            layout.blocks = last.limit;
            layout.blockWords = last.width;
            break;
        case FieldKind::CountedWords:
            // The count is the field before the values: after w0 in a partial output mode.
            layout.shape = fields.size() > 2 ? Shape::PartialOutput : Shape::CountedValues;
            layout.valueLimit = last.limit;
            break;
        case FieldKind::Rows:
            layout.shape = Shape::OptimizerRows;
            layout.blocks = fields.size() - 2 + last.length;
            layout.blockWords = last.width;
            break;
        case FieldKind::Words:
            layout.blockWords = last.length;
            layout.blocks = fields.size() - (layout.leadingWord ? 1 : 0);
            layout.headWords = row->layout->lengthWordAfter;
            layout.shape = layout.headWords != 0 ? Shape::InitInfo : Shape::MarkedBlocks;
            break;
        case FieldKind::Word:
            break;
    }
    return layout;
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

ConvertedParameter ConvertFilterConfig(const Layout& layout, const BYTE* data, ULONG size) {
    if (!Covers(data, size, kWordBytes)) {
        return Refused(E_INVALIDARG);
    }
    const uint64_t n = ReadCount(data, 0);
    if (n > layout.valueLimit) {
        // Refused whole: neither route may receive a value other than the one asked for.
        VEX_LOG(Util::kLevelError, "ConvertParameterToPropVariant",
                "Filter config is too large to set, capacity = %d bytes, asked = %d. Clear "
                "filter config to null.",
                static_cast<int>(layout.valueLimit), static_cast<ULONG>(n));
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
            // A count (after w0 in a partial output mode), then that many values, stored as
            // they are.
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
            const uint64_t words = layout.blockWords;
            const uint64_t tail = words - layout.headWords;
            if (!Covers(data, size, words * kWordBytes)) {
                return Refused(E_INVALIDARG);
            }
            return Collect(words + 1, [&](WordBlob& blob) {
                blob.PutWords(data, 0, layout.headWords);
                blob.Put(static_cast<LONG>(tail));
                blob.PutWords(data, layout.headWords, tail);
            });
        }
        case Shape::DrcMetadata: {
            const bool none = data == nullptr || size == 0;
            if (!none && !Covers(data, size, layout.blockWords * kWordBytes)) {
                return Refused(E_INVALIDARG);
            }
            return Collect(layout.blockWords, [&](WordBlob& blob) {
                if (!none) {
                    blob.PutWords(data, 0, layout.blockWords);
                }
            });
        }
        case Shape::FilterConfig:
            return ConvertFilterConfig(layout, data, size);
        case Shape::Records: {
            if (!Covers(data, size, kWordBytes)) {
                return Refused(E_INVALIDARG);
            }
            const uint64_t records = ReadCount(data, 0);
            if (!Covers(data, size, (1 + records * layout.blockWords) * kWordBytes)) {
                return Refused(E_INVALIDARG);
            }
            return Collect(1 + records * (layout.blockWords + 1), [&](WordBlob& blob) {
                blob.Put(ReadWord(data, 0));
                PutMarkedBlocks(blob, data, 1, records, layout.blockWords);
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

HRESULT GetInitInfo(const Layout& layout, BYTE* buffer, ULONG* size, const StoredBytes& stored) {
    const uint64_t head = layout.headWords * kWordBytes;
    if (stored.size < head + kWordBytes) {
        return kMalformedStoredValue;
    }
    // The marker counts the bytes after it that the effect reads; the words after it are
    // all returned, so that the whole value that was set comes back.
    const uint64_t tail = stored.size - head - kWordBytes;
    if (ReadCount(stored.data, layout.headWords) > tail) {
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

HRESULT GetFilterConfig(const Layout& layout, BYTE* buffer, ULONG* size,
                        const StoredBytes& stored) {
    if (stored.size < kWordBytes) {
        return kMalformedStoredValue;
    }
    const uint64_t bytes = std::min(ReadCount(stored.data, 0), layout.valueLimit);
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

HRESULT GetRecords(const Layout& layout, BYTE* buffer, ULONG* size, const StoredBytes& stored) {
    if (stored.size < kWordBytes) {
        return kMalformedStoredValue;
    }
    const uint64_t records = ReadCount(stored.data, 0);
    const uint64_t storedRecordBytes = (layout.blockWords + 1) * kWordBytes;
    // A get asks for room for the count and the most records.
    const auto required =
        static_cast<ULONG>(kWordBytes + layout.blocks * (storedRecordBytes - kWordBytes));
    if (records <= layout.blocks && kWordBytes + records * storedRecordBytes > stored.size) {
        return kMalformedStoredValue;
    }
    if (buffer == nullptr || *size < required) {
        *size = required;
        return E_INVALIDARG;
    }
    std::memset(buffer, 0, required);
    std::memcpy(buffer, stored.data, kWordBytes);
    if (records > layout.blocks) {
        return E_OUTOFMEMORY;
    }
    const uint64_t recordBytes = layout.blockWords * kWordBytes;
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
            return GetInitInfo(layout, buffer, size, stored);
        case Shape::DrcMetadata:
            return GetWhole(buffer, size, stored);
        case Shape::FilterConfig:
            return GetFilterConfig(layout, buffer, size, stored);
        case Shape::CountedValues:
            return GetCountedValues(layout, buffer, size, stored);
        case Shape::Records:
            return GetRecords(layout, buffer, size, stored);
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
        VEX_FAIL(Util::kLevelError, "ConvertPropVariantToParameter", hr,
                 "Stored value of parameter %d does not have its layout: [0x%.8x]%s", id);
    }
    return hr;
}

namespace {

// True for the types whose value part is a count followed by a pointer to that many elements.
bool IsCountedBuffer(VARTYPE vt) {
    return vt == VT_BLOB || vt == (VT_VECTOR | VT_I4) || vt == (VT_VECTOR | VT_UI4) ||
           vt == (VT_VECTOR | VT_UI1);
}

// A value whose elements are bytes: a layout that ends in a byte list.
bool IsByteValue(LONG id) {
    const ParameterRow* row = FindParameterRow(id);
    return row != nullptr && !row->layout->fields.empty() &&
           row->layout->fields.back().kind == FieldKind::CountedBytes;
}

}  // namespace

WString FormatParameterValue(LONG id, const PROPVARIANT& value) {
    if (value.vt == VT_I4 || value.vt == VT_UI4) {
        return Util::Format(TEXT("%d"), value.lVal);
    }
    if (value.vt != VT_EMPTY && value.vt != VT_NULL && !IsCountedBuffer(value.vt)) {
        // Only the types the parameters are stored in are read as counted buffers; anything
        // else a store may hold is named by its type, so nothing outside it is read.
        return Util::Format(TEXT("(type %d)"), static_cast<int>(value.vt));
    }
    // A counted buffer: the count where a blob's byte count lies, the data where its pointer
    // lies. A vector's count is of elements, a blob's of bytes.
    const BYTE* data = value.vt == VT_EMPTY || value.vt == VT_NULL ? nullptr : value.blob.pBlobData;
    ULONG bytes = value.vt == VT_EMPTY || value.vt == VT_NULL ? 0 : value.blob.cbSize;
    if (value.vt == (VT_VECTOR | VT_I4) || value.vt == (VT_VECTOR | VT_UI4)) {
        bytes = value.cal.cElems > 0x3FFFFFFFu ? 0xFFFFFFFCu : value.cal.cElems * 4;
    }
    const bool byteElements = IsByteValue(id) || value.vt == (VT_VECTOR | VT_UI1);
    const ULONG count = byteElements ? bytes : bytes / 4;
    if (data == nullptr || count == 0) {
        return TEXT("NULL");
    }
    WString text;
    for (ULONG i = 0; i < count; ++i) {
        if (byteElements) {
            text += Util::Format(TEXT("%d, "), static_cast<int>(data[i]));
        } else {
            int32_t word;
            std::memcpy(&word, data + 4 * static_cast<size_t>(i), sizeof word);
            text += Util::Format(TEXT("%d, "), word);
        }
    }
    text.resize(text.size() - 2);
    return text;
}
