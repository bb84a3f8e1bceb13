#include "JsonText.h"

namespace vexctl {

namespace {

bool IsFlat(const Json& value) {
    if (!value.is_array()) {
        return !value.is_object() || value.empty();
    }
    for (const Json& item : value) {
        if (item.is_array() || item.is_object()) {
            return false;
        }
    }
    return true;
}

void Write(const Json& value, int depth, std::string& out) {
    const std::string inner(static_cast<size_t>(depth + 1) * 2, ' ');
    const std::string outer(static_cast<size_t>(depth) * 2, ' ');
    if (IsFlat(value)) {
        if (!value.is_array()) {
            out += value.dump();
            return;
        }
        out += "[";
        for (size_t i = 0; i < value.size(); ++i) {
            out += (i == 0 ? "" : ", ") + value[i].dump();
        }
        out += "]";
        return;
    }
    if (value.is_array()) {
        out += "[\n";
        for (size_t i = 0; i < value.size(); ++i) {
            out += inner;
            Write(value[i], depth + 1, out);
            out += i + 1 < value.size() ? ",\n" : "\n";
        }
        out += outer + "]";
        return;
    }
    out += "{\n";
    size_t i = 0;
    for (const auto& [key, member] : value.items()) {
        out += inner + Json(key).dump() + ": ";
        Write(member, depth + 1, out);
        out += ++i < value.size() ? ",\n" : "\n";
    }
    out += outer + "}";
}

}  // namespace

std::string PrettyJson(const Json& document) {
    std::string out;
    Write(document, 0, out);
    return out + "\n";
}

}  // namespace vexctl
