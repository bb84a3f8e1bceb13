// Parameter values between their raw bytes (the caller's layout of SetVexParam and GetVexParam)
// and their JSON form: an integer for a scalar parameter, a text for a version, and for a
// structured parameter an object with one named member per part of its layout, e.g.
//   vex_ieq_bands    {"n": 3, "a": [20 integers], "b": [20 integers]}
// A count that the layout carries ("n", "k") may be left out on input and is then the length
// of the list it counts; when given it must match. Every structured parameter also takes
// {"words": [...]}, the raw words of its layout, and a value read back that does not fit its
// layout is shown in that form.
#pragma once

#include "ParameterTable.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace vexctl {

using Json = nlohmann::ordered_json;

// The raw bytes of a value given in JSON. Throws UsageFailure naming what is wrong.
std::vector<BYTE> EncodeValue(const ParameterInfo& parameter, const Json& value);
// The raw bytes of a value given on the command line: one integer for a scalar parameter; for
// a structured one a JSON object (possibly split into several words by the shell) or a list
// of integers, the raw words of the layout. Throws UsageFailure.
std::vector<BYTE> EncodeArguments(const ParameterInfo& parameter,
                                  const std::vector<std::string>& arguments);
// How raw bytes are read: as GetVexParam gives them back (a counted list has at most as many
// items as the library returns), or as a caller wrote them.
enum class Reading { AsReturned, AsWritten };
// The JSON form of raw bytes.
Json DecodeValue(const ParameterInfo& parameter, const std::vector<BYTE>& bytes,
                 Reading reading = Reading::AsReturned);

// The JSON form that a parameter takes, for help and error texts.
std::string DescribeShape(const ValueLayout& layout);
bool IsStructured(const ValueLayout& layout);
// The caller's raw layout, for the parameter reference: "n; a[20]; b[20] (164 bytes)".
std::string DescribeLayout(const ValueLayout& layout);

// An integer in the range of a 32-bit word, written in decimal or as 0x followed by
// hexadecimal digits, with an optional minus sign; nullopt otherwise. Values from 2^31 to
// 2^32 - 1 are taken as their 32-bit pattern.
std::optional<LONG> ParseWord(const std::string& text);

}  // namespace vexctl
