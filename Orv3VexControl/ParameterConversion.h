// Conversion of parameter values between the raw bytes that hosts pass to SetVexParam and
// GetVexParam and the property values that the endpoint effect and the DSP route carry.
//
// Scalar parameters travel as VT_I4. Structured parameters travel as VT_BLOB holding 32-bit
// little-endian words (the blob's byte count is four times the word count); its memory comes
// from the COM task allocator, so PropVariantClear releases it. Both directions are
// dispatched on the parameter id alone.
//
// Caller's layout and stored words of the structured ids (n, k: counts; markers written by the
// conversion itself are shown as numbers):
//   1114, 1122   n a[20] b[20]                 n 20 a 20 b
//   1119         n f[20] g[10][20]             n 20 f, then 20 g[r] for each row
//   1123, 1170   n a[20] b[20] c[20] d[20]     n 20 a 20 b 20 c 20 d
//   1156         w0 k v[k]                     w0 k v
//   1161         w[42]                         w[0..9] 32 w[10..41]
//   1162         72 bytes (or none)            the 18 words (18 zero words for none)
//   2105         n, then n bytes (n <= 2044)   n, then the bytes padded to whole words
//   2107         n v[n]                        n v
//   2108         a[20] b[20]                   20 a 20 b
//   2109         a[20]                         20 a
//   2116         n r[n][6]                     n, then 6 r[i] for each record
//   2122         a[8]                          8 a
//   2135         a[5]                          5 a
//   2137, 2138   n v[n]                        n v
// Every other id is scalar: one word.
#pragma once

#include "Platform.h"

#include "util/ScopedPropVariant.h"

// The result of ConvertPropVariantToParameter for a stored value that does not have the shape
// the id needs: a structured id whose value is not a VT_BLOB, whose blob pointer is null,
// which is too short for its count and marker words, or whose count or length word reaches
// beyond the blob; a scalar id whose value is neither VT_I4 nor VT_UI4. It is the Win32 code
// ERROR_INVALID_DATA ("The data is invalid") as an HRESULT: distinct from E_INVALIDARG, which
// always means that the caller's own arguments are at fault. The caller's size is left as it
// was, and the refusal is logged as an error.
inline constexpr HRESULT kMalformedStoredValue = static_cast<HRESULT>(0x8007000DL);

// The largest filter configuration (id 2105) that can be set, in bytes.
inline constexpr ULONG kFilterConfigCapacity = 2044;

// A converted raw value: the property value, owned by this object and cleared with it, and
// whether the conversion succeeded. Result() is S_OK for a valid value, E_INVALIDARG when the
// caller's bytes do not cover the id's layout, or E_OUTOFMEMORY when the value could not be
// allocated; an invalid result holds an empty value.
class ConvertedParameter {
public:
    // Takes over `value`, which the new object clears.
    ConvertedParameter(const PROPVARIANT& value, HRESULT result) noexcept;
    ConvertedParameter(const ConvertedParameter&) = delete;
    ConvertedParameter& operator=(const ConvertedParameter&) = delete;

    bool Valid() const { return SUCCEEDED(m_result); }
    HRESULT Result() const { return m_result; }
    const PROPVARIANT& Value() const { return m_value.Get(); }
    const PROPVARIANT* Ptr() const { return m_value.Ptr(); }
    // Hands the value over; the caller clears it with PropVariantClear.
    PROPVARIANT Release() { return m_value.Release(); }

private:
    ScopedPropVariant m_value;
    HRESULT m_result;
};

// Raw bytes to property value. `size` bounds what is read: a layout whose words (with the
// counts found in the data, taken without sign) need more than `size` bytes, or a null `data`,
// is refused with E_INVALIDARG; bytes past the layout are ignored. Only 1162 accepts a null
// `data` or a size of 0, which give 18 zero words.
//
// Filter configuration (2105): a byte count above kFilterConfigCapacity is logged as an error
// and refused with E_INVALIDARG, so that no route stores or sends anything in its place. The
// caller's bytes are never written.
ConvertedParameter ConvertParameterToPropVariant(LONG id, const BYTE* data, ULONG size) noexcept;

// Property value to raw bytes. `*size` holds the capacity of `buffer` on entry; the first
// `*size` bytes of a non-null `buffer` are zeroed before anything is checked. It returns
//   S_OK                   the value was written; `*size` is left as it was;
//   E_INVALIDARG           `buffer` is null or smaller than the required size, which is then
//                          stored into `*size` (or `size` itself is null);
//   kMalformedStoredValue  `value` does not have the shape the id needs (see above);
//   E_OUTOFMEMORY          a 2116 value with more than 4 records (its count is written).
// `value` is only read.
//
// The required size depends on the stored value alone and is exactly the number of bytes a
// successful call writes, so a call repeated with the size reported after a too-small buffer
// succeeds and stays inside the buffer. The exceptions are 2105, 2107, 2137 and 2138, which
// require the whole stored value, and 2116, which requires 100 bytes, and write less when the
// count says so. In detail:
//   scalar ids             4
//   1114, 1122             stored size - 8 (the markers dropped)
//   1123, 1170             stored size - 16
//   2108                   stored size - 8
//   2109, 2122, 2135       stored size - 4
//   1119                   84 + 80 x rows, for the complete rows the value holds, at most 10
//   1156                   8 + 4k: the words w0 and k and the k words that follow them (a
//                          stored k that reaches beyond the value is malformed)
//   1161                   stored size - 4: words 0 to 9 and every stored word after the
//                          marker word 10, so a value that was set reads back whole; a marker
//                          larger than the words after it is malformed
//   1162                   stored size
//   2105                   stored size; n and then min(n, 2044) bytes (a count beyond the
//                          value is malformed)
//   2107, 2137, 2138       stored size; n and then at most 160 (2107) or 8 values, n taken
//                          without sign and bounded by the values the stored value holds
//   2116                   100; n and then n records of 6 words, n from 0 to 4
HRESULT ConvertPropVariantToParameter(LONG id, BYTE* buffer, ULONG* size,
                                      const PROPVARIANT& value) noexcept;
