// GUID text forms: the registry form with braces, upper-case digits on output.
#include <windows.h>

namespace {

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

// Reads `digits` hexadecimal digits at text[pos]; false when one is not a digit.
bool ReadHex(const char16_t* text, int pos, int digits, uint64_t* value) {
    uint64_t result = 0;
    for (int i = 0; i < digits; ++i) {
        const int v = HexValue(text[pos + i]);
        if (v < 0) {
            return false;
        }
        result = (result << 4) | static_cast<uint64_t>(v);
    }
    *value = result;
    return true;
}

}  // namespace

extern "C" HRESULT CLSIDFromString(const char16_t* text, CLSID* clsid) {
    if (clsid == nullptr) {
        return E_INVALIDARG;
    }
    if (text == nullptr) {
        *clsid = GUID_NULL;
        return S_OK;
    }
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: 38 characters, then the end of the text.
    for (int i = 0; i < 38; ++i) {
        if (text[i] == 0) {
            return CO_E_CLASSSTRING;
        }
    }
    if (text[38] != 0 || text[0] != u'{' || text[37] != u'}' || text[9] != u'-' ||
        text[14] != u'-' || text[19] != u'-' || text[24] != u'-') {
        return CO_E_CLASSSTRING;
    }
    GUID guid{};
    uint64_t v = 0;
    if (!ReadHex(text, 1, 8, &v)) {
        return CO_E_CLASSSTRING;
    }
    guid.Data1 = static_cast<uint32_t>(v);
    if (!ReadHex(text, 10, 4, &v)) {
        return CO_E_CLASSSTRING;
    }
    guid.Data2 = static_cast<uint16_t>(v);
    if (!ReadHex(text, 15, 4, &v)) {
        return CO_E_CLASSSTRING;
    }
    guid.Data3 = static_cast<uint16_t>(v);
    static const int kBytePositions[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, kBytePositions[i], 2, &v)) {
            return CO_E_CLASSSTRING;
        }
        guid.Data4[i] = static_cast<uint8_t>(v);
    }
    *clsid = guid;
    return S_OK;
}

extern "C" int StringFromGUID2(REFGUID guid, char16_t* text, int capacity) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    if (text == nullptr || capacity < 39) {
        return 0;
    }
    int pos = 0;
    auto put = [&](uint64_t value, int digits) {
        for (int i = digits - 1; i >= 0; --i) {
            text[pos++] = kDigits[(value >> (4 * i)) & 0xF];
        }
    };
    text[pos++] = u'{';
    put(guid.Data1, 8);
    text[pos++] = u'-';
    put(guid.Data2, 4);
    text[pos++] = u'-';
    put(guid.Data3, 4);
    text[pos++] = u'-';
    put(guid.Data4[0], 2);
    put(guid.Data4[1], 2);
    text[pos++] = u'-';
    for (int i = 2; i < 8; ++i) {
        put(guid.Data4[i], 2);
    }
    text[pos++] = u'}';
    text[pos++] = 0;
    return pos;
}
