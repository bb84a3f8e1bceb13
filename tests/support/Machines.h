// Pieces of the DSP-route tests: small machines written as JSON, the request log of a filter
// as hexadecimal text, and the GUIDs of a few modules of the version tables.
#pragma once

#include "support/Layouts.h"
#include "support/SimMachine.h"

#include <cstdio>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

namespace dsptest {

// Version-table modules the tests put into machines.
inline const char* const kIntel131 = "{9DC26903-A3A8-4A30-8839-A77B6F4E5964}";
inline const char* const kIntel100 = "{849F0D73-1678-4D57-8C78-61C548253993}";
inline const char* const kIntel142 = "{CBDD3DB0-85AE-4466-B18D-504FD8E7082B}";
inline const char* const kAmd15 = "{E04EF10E-DA36-4692-A71E-0077161AED54}";
inline const char* const kAmd131Lite = "{01FD7450-263C-43B5-ADCC-CBCD61975F89}";
inline const char* const kUnlistedModule = "{11111111-2222-3333-4444-555555555555}";

// The wave filter behind the default machine's speakers.
inline const char* const kDefaultWaveFilter =
    "{2}.\\\\?\\vexaudio#speakers#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\wave";

// The id of the machine's n-th endpoint (1-based) and the text of its endpoint GUID.
inline std::string EndpointGuidText(int n) {
    char text[64];
    std::snprintf(text, sizeof text, "{00000000-0000-0000-0000-%012d}", n);
    return text;
}
inline std::string EndpointId(int n) {
    return "{0.0.0.00000000}." + EndpointGuidText(n);
}
inline WString EndpointIdW(int n) {
    return vextest::Widen(EndpointId(n).c_str());
}
inline std::string WaveFilter(int n) {
    return EndpointId(n) + "#wave";
}

// The properties an endpoint usually has: form factor 1, its GUID, a 2-channel format.
inline std::string StandardProperties(int n) {
    return "\"{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0\": {\"type\": \"VT_UI4\", \"value\": 1},"
           "\"{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},4\": \"" +
           EndpointGuidText(n) +
           "\","
           "\"{F19F064D-082C-4E27-BC73-6882A1BB8E4C},0\": {\"type\": \"VT_BLOB\", \"bytes\": "
           "[1, 0, 2, 0, 128, 187, 0, 0, 0, 238, 2, 0, 4, 0, 16, 0, 0, 0]}";
}

// One active render endpoint: its properties and the rest of its members (a renderPath or a
// topology), both JSON member lists.
inline std::string Endpoint(int n, const std::string& properties, const std::string& members) {
    return "{\"id\": \"" + EndpointId(n) +
           "\", \"flow\": \"render\", \"state\": \"active\", \"name\": \"Endpoint " +
           std::to_string(n) + "\", \"properties\": {" + properties + "}" +
           (members.empty() ? "" : ", " + members) + "}";
}

// A render path whose wave filter carries the given modules (a JSON list) and filter members.
inline std::string RenderPath(const std::string& modules, const std::string& members = "") {
    return "\"renderPath\": {\"modules\": " + modules + (members.empty() ? "" : ", " + members) +
           "}";
}

inline std::string Machine(const std::vector<std::string>& endpoints,
                           const std::string& filters = "[]", const std::string& faults = "[]") {
    std::string list;
    for (const std::string& endpoint : endpoints) {
        list += (list.empty() ? "" : ", ") + endpoint;
    }
    return "{\"name\": \"test\", \"endpoints\": [" + list + "], \"filters\": " + filters +
           ", \"registry\": {}, \"faults\": " + faults + "}";
}

// A machine of one endpoint with the standard properties and a render path to these modules.
inline std::string OneEndpointMachine(const std::string& modules, const std::string& members = "") {
    return Machine({Endpoint(1, StandardProperties(1), RenderPath(modules, members))});
}

inline std::string Hex(const unsigned char* bytes, unsigned long length) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned long i = 0; i < length; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

// Hexadecimal bytes written in groups separated by spaces, as one text without them.
inline std::string Packed(const char* groups) {
    std::string text;
    for (; *groups != 0; ++groups) {
        if (*groups != ' ') {
            text += *groups;
        }
    }
    return text;
}

// The property bytes of every request of one kind that a filter received, in order.
inline std::vector<std::string> RequestsOfKind(const std::string& filter, const char* kind) {
    std::vector<std::string> found;
    const int count = vexsim_KsRequestCount(filter.c_str());
    for (int i = 0; i < count; ++i) {
        vexsim_KsRequestInfo info{};
        if (vexsim_KsRequest(filter.c_str(), i, &info) == 0 && std::string(info.kind) == kind) {
            found.push_back(Hex(info.property, info.propertyLength));
        }
    }
    return found;
}

// Words as the hexadecimal text of their little-endian bytes.
inline std::string WordsHex(const vextest::Words& words) {
    const vextest::Bytes bytes = vextest::ToBytes(words);
    return Hex(bytes.data(), static_cast<unsigned long>(bytes.size()));
}

// Words as a JSON list.
inline std::string WordsJson(const vextest::Words& words) {
    std::string text = "[";
    for (const int32_t word : words) {
        text += (text.size() > 1 ? ", " : "") + std::to_string(word);
    }
    return text + "]";
}

// A module parameter of a machine file holding `words`.
inline std::string Param(int id, const vextest::Words& words) {
    return "\"" + std::to_string(id) + "\": {\"words\": " + WordsJson(words) + "}";
}

// `count` words of `words` from `first` on.
inline vextest::Words Slice(const vextest::Words& words, size_t first, size_t count) {
    return {words.begin() + static_cast<std::ptrdiff_t>(first),
            words.begin() + static_cast<std::ptrdiff_t>(first + count)};
}

// One module parameter write a filter received: the parameter id and the value's bytes.
struct ParamWrite {
    unsigned long param;
    std::string value;
    bool operator==(const ParamWrite&) const = default;
};

inline unsigned long ReadU32(const unsigned char* bytes) {
    return static_cast<unsigned long>(bytes[0]) | static_cast<unsigned long>(bytes[1]) << 8 |
           static_cast<unsigned long>(bytes[2]) << 16 | static_cast<unsigned long>(bytes[3]) << 24;
}

// Every module parameter write of a filter's request log, in order, in the pin form (the value
// block in the data buffer), the audio-module form (the value after the 80-byte command and
// pin property, the header, the id and the flag byte) and the vendor-set form.
inline std::vector<ParamWrite> ParamWrites(const std::string& filter) {
    std::vector<ParamWrite> writes;
    const int count = vexsim_KsRequestCount(filter.c_str());
    for (int i = 0; i < count; ++i) {
        vexsim_KsRequestInfo info{};
        if (vexsim_KsRequest(filter.c_str(), i, &info) != 0) {
            continue;
        }
        const std::string kind = info.kind;
        const unsigned char* p = info.property;
        if (kind == "moduleParam" && info.propertyLength == 73 && ReadU32(p + 20) == 2 &&
            info.data != nullptr) {
            writes.push_back({ReadU32(p + 68), Hex(info.data + 4, ReadU32(info.data))});
        } else if (kind == "moduleParam" && info.propertyLength == 64128 &&
                   ReadU32(p + 48 + 20) == 2) {
            writes.push_back({ReadU32(p + 116), Hex(p + 125, ReadU32(p + 121))});
        } else if (kind == "amdParam" && ReadU32(p + 20) == 2 && info.data != nullptr) {
            writes.push_back({ReadU32(p + 44), Hex(info.data + 4, ReadU32(info.data))});
        }
    }
    return writes;
}

inline std::ostream& operator<<(std::ostream& out, const ParamWrite& write) {
    return out << write.param << ": " << write.value;
}

}  // namespace dsptest
