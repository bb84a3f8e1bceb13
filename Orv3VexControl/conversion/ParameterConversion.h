// Conversion of parameter values between the raw bytes that hosts pass to SetVexParam and
// GetVexParam and the property values that the endpoint effect and the DSP route carry.
//
// Scalar parameters travel as VT_I4. Structured parameters travel as VT_BLOB holding 32-bit
// little-endian words (the blob's byte count is four times the word count); its memory comes
// from the COM task allocator, so PropVariantClear releases it. Both directions are
// dispatched on the parameter id alone.
//
// The layouts are the parameter table's: the caller's words are its fields; the stored value
// adds a marker word before every fixed list, row and record (the number of words it counts),
// or the one length word a layout names. Every id that the endpoint effect does not keep with a
// layout is scalar: one word.
#pragma once

#include "Platform.h"

#include "parameters/ParameterTable.h"
#include "util/ScopedPropVariant.h"

// The result of ConvertPropVariantToParameter for a stored value that does not have the shape
// the id needs: a structured id whose value is not a VT_BLOB, whose blob pointer is null,
// which is too short for its count and marker words, or whose count or length word reaches
// beyond the blob; a scalar id whose value is neither VT_I4 nor VT_UI4. It is the Win32 code
// ERROR_INVALID_DATA ("The data is invalid") as an HRESULT: distinct from E_INVALIDARG, which
// always means that the caller's own arguments are at fault. The caller's size is left as it
// was, and the refusal is logged as an error.
inline constexpr HRESULT kMalformedStoredValue = static_cast<HRESULT>(0x8007000DL);

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

private:
    ScopedPropVariant m_value;
    HRESULT m_result;
};

// Raw bytes to property value. `size` bounds what is read: a layout whose words (with the
// counts found in the data, taken without sign) need more than `size` bytes, or a null `data`,
// is refused with E_INVALIDARG; bytes past the layout are ignored. Only a layout of one byte
// block accepts a null `data` or a size of 0, which give as many zero words.
//
// Filter configuration: a byte count above its limit (kFilterConfigCapacity) is logged as an
// error and refused with E_INVALIDARG, so that no route stores or sends anything in its place.
// The caller's bytes are never written.
ConvertedParameter ConvertParameterToPropVariant(LONG id, const BYTE* data, ULONG size) noexcept;

// Property value to raw bytes. `*size` holds the capacity of `buffer` on entry; the first
// `*size` bytes of a non-null `buffer` are zeroed before anything is checked. It returns
//   S_OK                   the value was written; `*size` is left as it was;
//   E_INVALIDARG           `buffer` is null or smaller than the required size, which is then
//                          stored into `*size` (or `size` itself is null);
//   kMalformedStoredValue  `value` does not have the shape the id needs (see above);
//   E_OUTOFMEMORY          a value of counted records with more records than a get gives
//                          back (its count is written).
// `value` is only read.
//
// The required size depends on the stored value alone and is exactly the number of bytes a
// successful call writes, so a call repeated with the size reported after a too-small buffer
// succeeds and stays inside the buffer. The exceptions are the counted values and bytes with a
// limit, which require the whole stored value, and counted records, which require room for the
// count and the most records, and write less when the count says so. By layout:
//   one word               4
//   fixed lists            stored size less the markers
//   fixed lists and rows   the count, the first list and the complete rows the value holds
//   w0 k v[k]              8 + 4k (a stored k that reaches beyond the value is malformed)
//   a length word inside   stored size - 4: the head words and every stored word after the
//                          length word, so a value that was set reads back whole; a length
//                          larger than the words after it is malformed
//   a byte block           stored size
//   n, counted bytes       stored size; n and then min(n, limit) bytes (a count beyond the
//                          value is malformed)
//   n, counted words       stored size; n and then at most `limit` values, n taken without sign
//                          and bounded by the values the stored value holds
//   n, counted records     4 + limit x record; n and then n records, n from 0 to the limit
HRESULT ConvertPropVariantToParameter(LONG id, BYTE* buffer, ULONG* size,
                                      const PROPVARIANT& value) noexcept;

// The value as text for the records of a set or a get: a number for 32-bit integers, the
// elements of a counted buffer separated by ", " (bytes for a layout that ends in bytes, else
// words), or "NULL" for an empty one.
WString FormatParameterValue(LONG id, const PROPVARIANT& value);
