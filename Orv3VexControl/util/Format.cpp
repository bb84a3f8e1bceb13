// The message formatter. One routine walks the format twice: first to measure the text, then
// to write it into a string of exactly that length.
#include "Format.h"

#include "EtwLogger.h"

#include <algorithm>
#include <atomic>

namespace Util {

namespace {

std::atomic<uint64_t> g_formatCount{0};

// Where formatted text goes: nowhere but a count, or into a buffer of the measured length.
class Sink {
public:
    explicit Sink(WCHAR* out) : m_out(out) {}
    void Put(WCHAR c) {
        if (m_out != nullptr) {
            m_out[m_length] = c;
        }
        ++m_length;
    }
    void Put(std::basic_string_view<WCHAR> text) {
        for (WCHAR c : text) {
            Put(c);
        }
    }
    void PutNarrow(std::string_view text) {
        // Narrow texts are ASCII in practice; bytes above 0x7F are taken as Latin-1.
        for (char c : text) {
            Put(static_cast<WCHAR>(static_cast<unsigned char>(c)));
        }
    }
    void Pad(size_t count, WCHAR c) {
        for (size_t i = 0; i < count; ++i) {
            Put(c);
        }
    }
    size_t Length() const { return m_length; }

private:
    WCHAR* m_out;
    size_t m_length = 0;
};

struct Conversion {
    bool leftAlign = false;
    bool zeroPad = false;
    size_t width = 0;
    bool hasPrecision = false;
    size_t precision = 0;
    bool wide64 = false;  // the ll modifier
    WCHAR conversion = 0;
};

bool IsDigit(WCHAR c) {
    return c >= u'0' && c <= u'9';
}

// Reads a conversion after its '%'; returns the position after it, or null
// when the text ends inside it.
const WCHAR* ParseConversion(const WCHAR* p, Conversion* conv) {
    for (;; ++p) {
        if (*p == u'-') {
            conv->leftAlign = true;
        } else if (*p == u'0') {
            conv->zeroPad = true;
        } else {
            break;
        }
    }
    // Widths and precisions beyond any sensible record are clamped, so a hostile format
    // cannot ask for gigabytes of padding.
    constexpr size_t kMaxField = 4096;
    while (IsDigit(*p)) {
        conv->width = std::min<size_t>(conv->width * 10 + (*p++ - u'0'), kMaxField);
    }
    if (*p == u'.') {
        ++p;
        conv->hasPrecision = true;
        while (IsDigit(*p)) {
            conv->precision = std::min<size_t>(conv->precision * 10 + (*p++ - u'0'), kMaxField);
        }
    }
    if (*p == u'l') {
        ++p;
        if (*p == u'l') {
            ++p;
            conv->wide64 = true;
        }
    } else if (*p == u'h') {
        ++p;
    }
    if (*p == 0) {
        return nullptr;
    }
    conv->conversion = *p;
    return p + 1;
}

void PutPadded(Sink& sink, const Conversion& conv, std::basic_string_view<WCHAR> prefix,
               std::basic_string_view<WCHAR> body, size_t bodyLength, bool narrowBody,
               std::string_view narrow) {
    const size_t length = prefix.size() + bodyLength;
    const size_t pad = conv.width > length ? conv.width - length : 0;
    if (!conv.leftAlign && !conv.zeroPad) {
        sink.Pad(pad, u' ');
    }
    sink.Put(prefix);
    if (!conv.leftAlign && conv.zeroPad) {
        sink.Pad(pad, u'0');
    }
    if (narrowBody) {
        sink.PutNarrow(narrow.substr(0, bodyLength));
    } else {
        sink.Put(body.substr(0, bodyLength));
    }
    if (conv.leftAlign) {
        sink.Pad(pad, u' ');
    }
}

void PutText(Sink& sink, Conversion conv, const FormatArg& arg) {
    conv.zeroPad = false;
    if (arg.kind() == FormatArg::Kind::Narrow) {
        const std::string_view text = arg.Narrow();
        const size_t n = conv.hasPrecision ? std::min(conv.precision, text.size()) : text.size();
        PutPadded(sink, conv, {}, {}, n, true, text);
        return;
    }
    WString errorText;
    std::basic_string_view<WCHAR> text = arg.Wide();
    if (arg.kind() == FormatArg::Kind::Error) {
        errorText = GetErrorText(static_cast<HRESULT>(arg.Signed()));
        text = errorText;
    }
    const size_t n = conv.hasPrecision ? std::min(conv.precision, text.size()) : text.size();
    PutPadded(sink, conv, {}, text, n, false, {});
}

void PutNumber(Sink& sink, Conversion conv, const FormatArg& arg) {
    // The argument's bits as the conversion reads them: 32 bits, or 64 with ll.
    const int64_t value =
        arg.kind() == FormatArg::Kind::Signed ? arg.Signed() : static_cast<int64_t>(arg.Unsigned());
    bool negative = false;
    uint64_t magnitude = 0;
    unsigned base = 10;
    bool upper = false;
    switch (conv.conversion) {
        case u'd':
        case u'i': {
            const int64_t v =
                conv.wide64 ? value : static_cast<int32_t>(static_cast<uint32_t>(value));
            negative = v < 0;
            magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
            break;
        }
        case u'X':
            upper = true;
            base = 16;
            magnitude = conv.wide64 ? static_cast<uint64_t>(value) : static_cast<uint32_t>(value);
            break;
        case u'x':
            base = 16;
            magnitude = conv.wide64 ? static_cast<uint64_t>(value) : static_cast<uint32_t>(value);
            break;
        default:  // u
            magnitude = conv.wide64 ? static_cast<uint64_t>(value) : static_cast<uint32_t>(value);
            break;
    }
    WCHAR digits[24];
    size_t count = 0;
    const char* alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    while (magnitude != 0) {
        digits[count++] = static_cast<WCHAR>(alphabet[magnitude % base]);
        magnitude /= base;
    }
    // A precision gives the least number of digits; 0 with precision 0 prints no digit.
    const size_t minimum = conv.hasPrecision ? conv.precision : 1;
    if (conv.hasPrecision) {
        conv.zeroPad = false;
    }
    const size_t zeros = minimum > count ? minimum - count : 0;
    const size_t length = (negative ? 1 : 0) + zeros + count;
    const size_t pad = conv.width > length ? conv.width - length : 0;
    if (!conv.leftAlign && !conv.zeroPad) {
        sink.Pad(pad, u' ');
    }
    if (negative) {
        sink.Put(u'-');
    }
    if (!conv.leftAlign && conv.zeroPad) {
        sink.Pad(pad, u'0');
    }
    sink.Pad(zeros, u'0');
    while (count > 0) {
        sink.Put(digits[--count]);
    }
    if (conv.leftAlign) {
        sink.Pad(pad, u' ');
    }
}

bool Accepts(WCHAR conversion, FormatArg::Kind kind) {
    const bool text = kind == FormatArg::Kind::Wide || kind == FormatArg::Kind::Narrow ||
                      kind == FormatArg::Kind::Error;
    switch (conversion) {
        case u's':
        case u'S':
            return text;
        case u'd':
        case u'i':
        case u'u':
        case u'x':
        case u'X':
            return kind == FormatArg::Kind::Signed || kind == FormatArg::Kind::Unsigned;
        default:
            return false;
    }
}

void Run(Sink& sink, const WCHAR* format, std::initializer_list<FormatArg> args) {
    const FormatArg* next = args.begin();
    const WCHAR* p = format;
    while (*p != 0) {
        if (*p != u'%') {
            sink.Put(*p++);
            continue;
        }
        const WCHAR* start = p;
        if (p[1] == u'%') {
            sink.Put(u'%');
            p += 2;
            continue;
        }
        Conversion conv;
        const WCHAR* after = ParseConversion(p + 1, &conv);
        if (after == nullptr) {
            // The format ends inside a conversion: keep the rest as it is.
            sink.Put(std::basic_string_view<WCHAR>(start));
            return;
        }
        p = after;
        const std::basic_string_view<WCHAR> literal(start, static_cast<size_t>(after - start));
        const bool known = conv.conversion == u's' || conv.conversion == u'S' ||
                           conv.conversion == u'd' || conv.conversion == u'i' ||
                           conv.conversion == u'u' || conv.conversion == u'x' ||
                           conv.conversion == u'X';
        if (!known || next == args.end()) {
            sink.Put(literal);
            continue;
        }
        const FormatArg& arg = *next++;
        if (!Accepts(conv.conversion, arg.kind())) {
            sink.Put(literal);
        } else if (conv.conversion == u's' || conv.conversion == u'S') {
            PutText(sink, conv, arg);
        } else {
            PutNumber(sink, conv, arg);
        }
    }
}

}  // namespace

int64_t FormatArg::Signed() const {
    if (m_kind == Kind::Unsigned) {
        return static_cast<int64_t>(m_uint);
    }
    return m_int;
}

uint64_t FormatArg::Unsigned() const {
    if (m_kind == Kind::Unsigned) {
        return m_uint;
    }
    return static_cast<uint64_t>(m_int);
}

const WCHAR* FormatArg::u16null() {
    return TEXT("(null)");
}

WString FormatText(const WCHAR* format, std::initializer_list<FormatArg> args) {
    g_formatCount.fetch_add(1, std::memory_order_relaxed);
    if (format == nullptr) {
        return WString();
    }
    Sink measure(nullptr);
    Run(measure, format, args);
    WString text(measure.Length(), u'\0');
    Sink write(text.data());
    Run(write, format, args);
    return text;
}

uint64_t FormatCount() {
    return g_formatCount.load(std::memory_order_relaxed);
}

}  // namespace Util
