// The call-site helpers behind VEX_LOG.
#include "Log.h"

namespace Util {

bool LogEnabled(UCHAR level) {
    // The library's one logger, looked up once; the test then costs a few loads.
    static const EtwLogger& logger = GetLogger(kLibraryKeyword);
    return !LoggingEnded() && logger.IsEnabled(level);
}

void WriteRecord(UCHAR level, const char* file, int line, const WCHAR* function,
                 const WString& message) {
    GetLogger(kLibraryKeyword).Log(level, Widen(file), line, function, message);
}

WString Widen(const char* text) {
    WString wide;
    for (; text != nullptr && *text != 0; ++text) {
        wide.push_back(static_cast<WCHAR>(static_cast<unsigned char>(*text)));
    }
    return wide;
}

}  // namespace Util
