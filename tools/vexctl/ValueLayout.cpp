#include "ValueLayout.h"

#include "Failure.h"
#include "Text.h"

#include <cstdint>
#include <cstring>

namespace vexctl {

namespace {

using Layout = std::span<const ValueField>;

bool IsCounted(FieldKind kind) {
    return kind == FieldKind::CountedWords || kind == FieldKind::CountedBytes ||
           kind == FieldKind::CountedRows;
}

// True when the field is the count of the field after it.
bool IsCount(const Layout& layout, size_t index) {
    return layout[index].kind == FieldKind::Word && index + 1 < layout.size() &&
           IsCounted(layout[index + 1].kind);
}

[[noreturn]] void Refuse(const ParameterInfo& parameter, const std::string& problem) {
    throw UsageFailure("bad value for " + DisplayName(parameter) + ": " + problem + " (expected " +
                       DescribeShape(*parameter.layout) + ")");
}

LONG WordFromJson(const ParameterInfo& parameter, const Json& value, const std::string& where) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<uint64_t>();
        if (number <= UINT32_MAX) {
            return static_cast<LONG>(static_cast<uint32_t>(number));
        }
    } else if (value.is_number_integer()) {
        const auto number = value.get<int64_t>();
        if (number >= INT32_MIN && number <= static_cast<int64_t>(UINT32_MAX)) {
            return static_cast<LONG>(static_cast<uint32_t>(number));
        }
    } else {
        Refuse(parameter, where + " is " + std::string(value.type_name()) + ", not an integer");
    }
    Refuse(parameter, where + " is out of the range of a 32-bit word");
}

BYTE ByteFromJson(const ParameterInfo& parameter, const Json& value, const std::string& where) {
    if (value.is_number_integer() && value.get<int64_t>() >= 0 && value.get<int64_t>() <= 255) {
        return static_cast<BYTE>(value.get<int64_t>());
    }
    Refuse(parameter, where + " is not a byte (0 to 255)");
}

void PutWord(std::vector<BYTE>& out, LONG word) {
    const auto bits = static_cast<uint32_t>(word);
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<BYTE>(bits >> shift));
    }
}

LONG WordAt(const std::vector<BYTE>& bytes, size_t offset) {
    uint32_t bits = 0;
    for (int i = 3; i >= 0; --i) {
        bits = (bits << 8) | bytes[offset + static_cast<size_t>(i)];
    }
    return static_cast<LONG>(bits);
}

const Json& ListMember(const ParameterInfo& parameter, const Json& value, const char* name) {
    if (!value.contains(name)) {
        Refuse(parameter, std::string("\"") + name + "\" is missing");
    }
    const Json& list = value.at(name);
    if (!list.is_array()) {
        Refuse(parameter, std::string("\"") + name + "\" is not a list");
    }
    return list;
}

void PutWords(const ParameterInfo& parameter, std::vector<BYTE>& out, const Json& list,
              const std::string& where) {
    for (size_t i = 0; i < list.size(); ++i) {
        PutWord(out, WordFromJson(parameter, list[i], where + "[" + std::to_string(i) + "]"));
    }
}

void RequireLength(const ParameterInfo& parameter, const Json& list, size_t length,
                   const std::string& where) {
    if (list.size() != length) {
        Refuse(parameter, where + " has " + std::to_string(list.size()) + " items, not " +
                              std::to_string(length));
    }
}

Json DecodeStructured(Layout layout, const std::vector<BYTE>& bytes, Reading reading);
std::vector<BYTE> EncodeStructured(const ParameterInfo& parameter, const Json& value);

// Raw words that fit the layout are held to what the named form allows.
std::vector<BYTE> CheckedRawWords(const ParameterInfo& parameter, std::vector<BYTE> bytes) {
    const Json named = DecodeStructured(parameter.layout->fields, bytes, Reading::AsWritten);
    if (!named.is_null()) {
        EncodeStructured(parameter, named);
    }
    return bytes;
}

// Raw words on the command line are taken when they are exactly a value of the layout: read as
// the layout and written again, they are the same words. Words missing or left over are
// refused, as the named form refuses a list of the wrong length.
std::vector<BYTE> ExactRawWords(const ParameterInfo& parameter, std::vector<BYTE> bytes) {
    const Json named = DecodeStructured(parameter.layout->fields, bytes, Reading::AsWritten);
    if (named.is_null()) {
        const ULONG fixed = FixedBytes(*parameter.layout);
        Refuse(parameter,
               std::to_string(bytes.size() / 4) +
                   (fixed > 0 ? " words given, but its layout takes " + std::to_string(fixed / 4)
                              : std::string(" words do not make a value of its layout")));
    }
    const size_t taken = EncodeStructured(parameter, named).size();
    if (taken != bytes.size()) {
        Refuse(parameter, std::to_string(bytes.size() / 4) + " words given, but its layout takes " +
                              std::to_string(taken / 4) + " here");
    }
    return bytes;
}

std::vector<BYTE> EncodeRawWords(const ParameterInfo& parameter, const Json& value) {
    if (value.size() != 1) {
        Refuse(parameter, "\"words\" stands alone");
    }
    std::vector<BYTE> out;
    PutWords(parameter, out, ListMember(parameter, value, "words"), "\"words\"");
    return CheckedRawWords(parameter, std::move(out));
}

std::vector<BYTE> EncodeStructured(const ParameterInfo& parameter, const Json& value) {
    if (!value.is_object()) {
        Refuse(parameter, "the value is not a JSON object");
    }
    if (value.contains("words")) {
        return EncodeRawWords(parameter, value);
    }
    const Layout layout = parameter.layout->fields;
    for (const auto& [member, ignored] : value.items()) {
        bool known = false;
        for (const ValueField& field : layout) {
            known = known || member == field.name;
        }
        if (!known) {
            Refuse(parameter, "unknown member \"" + member + "\"");
        }
    }
    std::vector<BYTE> out;
    for (size_t index = 0; index < layout.size(); ++index) {
        const ValueField& field = layout[index];
        const std::string where = std::string("\"") + field.name + "\"";
        switch (field.kind) {
            case FieldKind::Word: {
                if (IsCount(layout, index)) {
                    // Written with the list it counts.
                    break;
                }
                if (!value.contains(field.name)) {
                    Refuse(parameter, where + " is missing");
                }
                PutWord(out, WordFromJson(parameter, value.at(field.name), where));
                break;
            }
            case FieldKind::Words: {
                const Json& list = ListMember(parameter, value, field.name);
                if (field.length != 0) {
                    RequireLength(parameter, list, field.length, where);
                }
                PutWords(parameter, out, list, where);
                break;
            }
            case FieldKind::Rows:
            case FieldKind::CountedRows: {
                const Json& rows = ListMember(parameter, value, field.name);
                if (field.kind == FieldKind::Rows) {
                    RequireLength(parameter, rows, field.length, where);
                }
                for (size_t r = 0; r < rows.size(); ++r) {
                    const std::string rowWhere = where + "[" + std::to_string(r) + "]";
                    if (!rows[r].is_array()) {
                        Refuse(parameter, rowWhere + " is not a list");
                    }
                    RequireLength(parameter, rows[r], field.width, rowWhere);
                }
                if (field.kind == FieldKind::CountedRows) {
                    PutWord(out, static_cast<LONG>(rows.size()));
                }
                for (size_t r = 0; r < rows.size(); ++r) {
                    PutWords(parameter, out, rows[r], where + "[" + std::to_string(r) + "]");
                }
                break;
            }
            case FieldKind::CountedWords: {
                const Json& list = ListMember(parameter, value, field.name);
                PutWord(out, static_cast<LONG>(list.size()));
                PutWords(parameter, out, list, where);
                break;
            }
            case FieldKind::CountedBytes:
            case FieldKind::Bytes: {
                const Json& list = ListMember(parameter, value, field.name);
                if (field.kind == FieldKind::Bytes) {
                    RequireLength(parameter, list, field.length, where);
                } else {
                    PutWord(out, static_cast<LONG>(list.size()));
                }
                for (size_t i = 0; i < list.size(); ++i) {
                    out.push_back(
                        ByteFromJson(parameter, list[i], where + "[" + std::to_string(i) + "]"));
                }
                while (out.size() % 4 != 0) {
                    out.push_back(0);
                }
                break;
            }
        }
        if (IsCounted(field.kind) && field.limit != 0 &&
            value.at(field.name).size() > field.limit) {
            // The library keeps more than it gives back: such a value could not be read back
            // whole, nor loaded again from a dump.
            Refuse(parameter, where + " has " + std::to_string(value.at(field.name).size()) +
                                  " items, but at most " + std::to_string(field.limit) +
                                  " are read back");
        }
        if (IsCounted(field.kind)) {
            // The count member, when given, must agree with the list that was written.
            const ValueField& count = layout[index - 1];
            if (value.contains(count.name)) {
                const std::string countWhere = std::string("\"") + count.name + "\"";
                const LONG given = WordFromJson(parameter, value.at(count.name), countWhere);
                const size_t items = value.at(field.name).size();
                if (given < 0 || static_cast<size_t>(given) != items) {
                    Refuse(parameter, countWhere + " is " + std::to_string(given) + " but " +
                                          where + " has " + std::to_string(items) + " items");
                }
            }
        }
    }
    return out;
}

Json RawWords(const std::vector<BYTE>& bytes) {
    std::vector<BYTE> padded = bytes;
    while (padded.size() % 4 != 0) {
        padded.push_back(0);
    }
    Json words = Json::array();
    for (size_t offset = 0; offset < padded.size(); offset += 4) {
        words.push_back(WordAt(padded, offset));
    }
    Json out = Json::object();
    out["words"] = std::move(words);
    return out;
}

// The named form of a structured value, or null when the bytes do not fit the layout.
Json DecodeStructured(Layout layout, const std::vector<BYTE>& bytes, Reading reading) {
    Json out = Json::object();
    size_t offset = 0;
    const auto words = [&](size_t count) {
        Json list = Json::array();
        for (size_t i = 0; i < count; ++i, offset += 4) {
            list.push_back(WordAt(bytes, offset));
        }
        return list;
    };
    const auto bounded = [reading](uint64_t count, uint32_t limit, size_t room) {
        uint64_t n = count;
        if (reading == Reading::AsReturned && limit != 0 && n > limit) {
            n = limit;
        }
        return static_cast<size_t>(n < room ? n : room);
    };
    LONG previous = 0;
    for (const ValueField& field : layout) {
        const size_t remaining = bytes.size() - offset;
        switch (field.kind) {
            case FieldKind::Word:
                if (remaining < 4) {
                    return nullptr;
                }
                previous = WordAt(bytes, offset);
                out[field.name] = previous;
                offset += 4;
                break;
            case FieldKind::Words:
                if (remaining < 4u * field.length) {
                    return nullptr;
                }
                out[field.name] = words(field.length != 0 ? field.length : remaining / 4);
                break;
            case FieldKind::Rows:
            case FieldKind::CountedRows: {
                size_t rows = remaining / (4u * field.width);
                if (field.kind == FieldKind::Rows) {
                    rows = rows < field.length ? rows : field.length;
                } else {
                    rows = previous < 1
                               ? 0
                               : bounded(static_cast<uint32_t>(previous), field.limit, rows);
                }
                Json list = Json::array();
                for (size_t r = 0; r < rows; ++r) {
                    list.push_back(words(field.width));
                }
                out[field.name] = std::move(list);
                break;
            }
            case FieldKind::CountedWords:
                out[field.name] =
                    words(bounded(static_cast<uint32_t>(previous), field.limit, remaining / 4));
                break;
            case FieldKind::CountedBytes:
            case FieldKind::Bytes: {
                size_t count = field.length;
                if (field.kind == FieldKind::CountedBytes) {
                    count = bounded(static_cast<uint32_t>(previous), field.limit, remaining);
                } else if (remaining < count) {
                    return nullptr;
                }
                Json list = Json::array();
                for (size_t i = 0; i < count; ++i) {
                    list.push_back(bytes[offset + i]);
                }
                offset += count;
                out[field.name] = std::move(list);
                break;
            }
        }
    }
    // What the layout does not account for may only be the zeros the library leaves (padding,
    // room for values that it does not give back).
    for (; offset < bytes.size(); ++offset) {
        if (bytes[offset] != 0) {
            return nullptr;
        }
    }
    return out;
}

}  // namespace

bool IsStructured(const ValueLayout& layout) {
    return layout.form == ValueForm::Fields;
}

std::string DescribeShape(const ValueLayout& shape) {
    switch (shape.form) {
        case ValueForm::Integer:
            return "an integer";
        case ValueForm::Unsigned:
            return "an unsigned integer";
        case ValueForm::Text:
            return "a text";
        case ValueForm::Fields:
            break;
    }
    std::string text = "{";
    const Layout layout = shape.fields;
    for (size_t index = 0; index < layout.size(); ++index) {
        const ValueField& field = layout[index];
        text += index == 0 ? "\"" : ", \"";
        text += field.name;
        text += "\": ";
        switch (field.kind) {
            case FieldKind::Word:
                text += IsCount(layout, index) ? "count" : "integer";
                break;
            case FieldKind::Words:
                text += field.length != 0 ? "[" + std::to_string(field.length) + " integers]"
                                          : std::string("[integers]");
                break;
            case FieldKind::Rows:
                text += "[" + std::to_string(field.length) + " lists of " +
                        std::to_string(field.width) + " integers]";
                break;
            case FieldKind::CountedWords:
                text += "[integers]";
                break;
            case FieldKind::CountedBytes:
                text += "[bytes]";
                break;
            case FieldKind::CountedRows:
                text += "[lists of " + std::to_string(field.width) + " integers]";
                break;
            case FieldKind::Bytes:
                text += "[" + std::to_string(field.length) + " bytes]";
                break;
        }
    }
    return text + "}";
}

std::string DescribeLayout(const ValueLayout& shape) {
    if (shape.description != nullptr) {
        return shape.description;
    }
    switch (shape.form) {
        case ValueForm::Integer:
            return "one 32-bit integer (4 bytes)";
        case ValueForm::Unsigned:
            return "one 32-bit unsigned integer (4 bytes)";
        case ValueForm::Text:
            return "UTF-16 text ending in NUL";
        case ValueForm::Fields:
            break;
    }
    const Layout layout = shape.fields;
    std::string parts;
    uint32_t fixedBytes = 0;
    std::string countedBytes;  // "4n": the bytes that the count adds
    std::string limit;
    bool padded = false;
    for (size_t index = 0; index < layout.size(); ++index) {
        const ValueField& field = layout[index];
        const std::string count = index > 0 ? layout[index - 1].name : "";
        parts += index == 0 ? "" : "; ";
        switch (field.kind) {
            case FieldKind::Word:
                parts += field.name;
                fixedBytes += 4;
                break;
            case FieldKind::Words:
                parts += std::string(field.name) + "[" + std::to_string(field.length) + "]";
                fixedBytes += 4 * field.length;
                break;
            case FieldKind::Rows:
                parts += std::string(field.name) + "[" + std::to_string(field.length) + "][" +
                         std::to_string(field.width) + "]";
                fixedBytes += 4 * field.length * field.width;
                break;
            case FieldKind::CountedWords:
                parts += std::string(field.name) + "[" + count + "]";
                countedBytes = "4" + count;
                break;
            case FieldKind::CountedRows:
                parts += std::string(field.name) + "[" + count + "][" +
                         std::to_string(field.width) + "]";
                countedBytes = std::to_string(4 * field.width) + count;
                break;
            case FieldKind::CountedBytes:
                parts += count + " bytes";
                countedBytes = count;
                padded = true;
                break;
            case FieldKind::Bytes:
                parts += std::to_string(field.length) + " bytes";
                fixedBytes += field.length;
                break;
        }
        if (field.limit != 0) {
            const char* items = field.kind == FieldKind::CountedBytes  ? " bytes"
                                : field.kind == FieldKind::CountedRows ? " records"
                                                                       : " values";
            limit = "; at most " + std::to_string(field.limit) + items + " read back";
            if (field.kind == FieldKind::CountedBytes) {
                // The one layout whose set refuses a longer value.
                const std::string most = std::to_string(field.limit);
                limit = "; n at most " + most + ", a larger n is refused; at most " + most +
                        " bytes read back; SetVexVariantParam carries a longer blob to the dsp "
                        "route, up to 64000 bytes (4092 to an AMD-type module)";
            }
        }
    }
    const std::string size = countedBytes.empty()
                                 ? std::to_string(fixedBytes) + " bytes"
                                 : std::to_string(fixedBytes) + " + " + countedBytes + " bytes";
    if (parts == size) {
        return parts;  // bytes, nothing but
    }
    return parts + " (" + size + (padded ? ", padded to whole words" : "") + limit + ")";
}

std::optional<LONG> ParseWord(const std::string& text) {
    size_t at = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) {
        ++at;
    }
    int base = 10;
    if (text.size() > at + 2 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    if (at >= text.size() || text.size() - at > 10) {
        return std::nullopt;
    }
    uint64_t magnitude = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0 || digit >= base) {
            return std::nullopt;
        }
        magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    if (negative) {
        if (magnitude > 0x80000000ull) {
            return std::nullopt;
        }
        return static_cast<LONG>(static_cast<uint32_t>(0u - static_cast<uint32_t>(magnitude)));
    }
    if (magnitude > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<LONG>(static_cast<uint32_t>(magnitude));
}

std::vector<BYTE> EncodeValue(const ParameterInfo& parameter, const Json& value) {
    if (IsStructured(*parameter.layout)) {
        return EncodeStructured(parameter, value);
    }
    std::vector<BYTE> out;
    PutWord(out, WordFromJson(parameter, value, "the value"));
    return out;
}

std::vector<BYTE> EncodeArguments(const ParameterInfo& parameter,
                                  const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        throw UsageFailure("no value given for " + DisplayName(parameter));
    }
    std::string joined;
    for (const std::string& argument : arguments) {
        joined += (joined.empty() ? "" : " ") + argument;
    }
    if (IsStructured(*parameter.layout) && joined.find_first_not_of(" \t") != std::string::npos &&
        joined[joined.find_first_not_of(" \t")] == '{') {
        Json value;
        try {
            value = Json::parse(joined);
        } catch (const Json::parse_error& error) {
            Refuse(parameter, std::string("the JSON text does not parse: ") + error.what());
        }
        return EncodeStructured(parameter, value);
    }
    if (!IsStructured(*parameter.layout) && arguments.size() != 1) {
        Refuse(parameter, "it takes one value, not " + std::to_string(arguments.size()));
    }
    std::vector<BYTE> out;
    for (const std::string& argument : arguments) {
        const std::optional<LONG> word = ParseWord(argument);
        if (!word) {
            Refuse(parameter, "\"" + argument + "\" is not a 32-bit integer");
        }
        PutWord(out, *word);
    }
    return IsStructured(*parameter.layout) ? ExactRawWords(parameter, std::move(out)) : out;
}

Json DecodeValue(const ParameterInfo& parameter, const std::vector<BYTE>& bytes, Reading reading) {
    switch (parameter.layout->form) {
        case ValueForm::Integer:
        case ValueForm::Unsigned: {
            std::vector<BYTE> word = bytes;
            word.resize(4, 0);
            const LONG value = WordAt(word, 0);
            if (parameter.layout->form == ValueForm::Unsigned) {
                return static_cast<uint32_t>(value);
            }
            return value;
        }
        case ValueForm::Text: {
            WString text;
            for (size_t offset = 0; offset + 1 < bytes.size(); offset += 2) {
                const auto unit = static_cast<WCHAR>(
                    bytes[offset] | (static_cast<unsigned>(bytes[offset + 1]) << 8));
                if (unit == 0) {
                    break;
                }
                text.push_back(unit);
            }
            return ToUtf8(text);
        }
        case ValueForm::Fields:
            break;
    }
    Json named = DecodeStructured(parameter.layout->fields, bytes, reading);
    return named.is_null() ? RawWords(bytes) : named;
}

}  // namespace vexctl
