// The library's parameters, each described once: its id, its names, the routes that take it,
// the property key under which the endpoint effect keeps it, the module parameter that the DSP
// route reads and writes, and the layout of its raw value. The value conversion, the DSP route's
// reshaping and copy-out, the endpoint-effect route, vexctl and paramdoc all read this table.
// It is constant and needs nothing but the platform.
#pragma once

#include "Platform.h"

#include <cstdint>
#include <span>

// The two processings of the public ids: 1001..1998 main, 2001..2998 low latency.
enum class ProcessingRange { None, Main, LowLatency };
ProcessingRange RangeOf(LONG id);

// One part of a raw value's layout (32-bit little-endian words unless bytes are named).
enum class FieldKind : uint8_t {
    Word,          // one word
    Words,         // `length` words; any number of them when `length` is 0
    Rows,          // `length` rows of `width` words; a get gives the complete rows stored
    CountedWords,  // as many words as the field before says
    CountedBytes,  // as many bytes as the field before says, padded to whole words
    CountedRows,   // as many rows of `width` words as the field before says
    Bytes,         // `length` bytes
};

struct ValueField {
    const char* name;
    FieldKind kind;
    uint16_t length = 0;
    uint16_t width = 0;
    // A counted field: the most items that a get gives back (0: no limit).
    uint16_t limit = 0;
};

enum class ValueForm : uint8_t {
    Integer,   // one 32-bit signed word
    Unsigned,  // one 32-bit unsigned word
    Text,      // a NUL-terminated UTF-16 text
    Fields,    // the fields of the layout
};

struct ValueLayout {
    ValueForm form;
    std::span<const ValueField> fields;
    // The endpoint effect keeps a marker word before every fixed list, row and record (it
    // counts the words that follow). A layout with `lengthWordAfter` set keeps instead one word
    // after that many words, counting the words after it.
    uint8_t lengthWordAfter = 0;
    // A description of the raw bytes where the fields do not give it.
    const char* description = nullptr;
};

// One 32-bit signed word: the layout of every id that has no other.
inline constexpr ValueLayout kOneWord{ValueForm::Integer, {}};

// How the DSP route carries a value between the public layout and the module's.
enum class DspShape : uint8_t {
    Word,               // one word both ways
    Bypass,             // one word, written and read as module parameter kBypassParam
    Channels,           // a count and up to eight values, one module parameter per channel
    Whole,              // the value as it is both ways
    DropCounts,         // set: n, n values, m, m values, both counts go; get: as answered
    DropRecordMarkers,  // set: n, then records of 7 words, each record's first word goes
    DropLeadingCount,   // set: the leading count word goes; get: as answered
    Gains,              // a module labelled "1.0.0" holds the values without their count
    Fixed,              // get: the layout's bytes, which the answer must hold
    TuningInfo,         // get: 160 bytes from a module below 1.4.1, 720 otherwise
    Spans,              // get: the layout's bytes from the answer at `spans`, the rest zero
};

// Where a get copies part of a module's answer to.
struct AnswerSpan {
    uint16_t to;
    uint16_t from;
    uint16_t length;
};

// What the library does with an id that it answers in its own code: gives a value (the versions,
// the module's identity, the form factor) or takes one (the module selections).
enum class AnsweredAccess : uint8_t { Get, Set };

// Where the endpoint effect keeps its parameters.
enum class PropertySet : uint8_t { None, Bypass, VirtualizerBypass, Main, LowLatency, Ns };

inline constexpr int16_t kNoModuleParam = -1;
// The module parameter that bypass is written and read as; every module accepts it, whatever
// its list holds.
inline constexpr ULONG kBypassParam = 1000;
// The largest filter configuration that can be set, in bytes.
inline constexpr uint16_t kFilterConfigCapacity = 2044;

struct ParameterRow {
    LONG id;
    const WCHAR* name;  // the endpoint effect's name; null when the effect does not keep it
    PropertySet set;
    uint16_t pid;
    int16_t moduleParam;      // kNoModuleParam when the DSP route has none
    const WCHAR* moduleName;  // the DSP catalogue's name
    const ValueLayout* layout;
    DspShape dsp = DspShape::Word;
    std::span<const AnswerSpan> spans = {};
    // The routes (VEX_ROUTE_*) on which the library answers the id in its own code, and what it
    // does with it there.
    uint8_t answered = 0;
    const char* note = nullptr;
    AnsweredAccess access = AnsweredAccess::Get;

    bool Stored() const { return set != PropertySet::None; }
    bool OnDsp() const { return moduleParam != kNoModuleParam; }
    PROPERTYKEY Key() const;
};

// Every row, in the order of the ids.
std::span<const ParameterRow> ParameterRows();
// The row of an id, or null.
const ParameterRow* FindParameterRow(LONG id);
// The bytes of a layout without counted fields; 0 for one that has them.
ULONG FixedBytes(const ValueLayout& layout);

// The endpoint effect's view of an id. A miss gives an empty name, an all-zero key and
// found = false. The name points into the table.
struct EndpointParameterInfo {
    const WCHAR* name = TEXT("");
    PROPERTYKEY key;
    bool found;
};
EndpointParameterInfo LookupEndpointParameter(LONG id);
