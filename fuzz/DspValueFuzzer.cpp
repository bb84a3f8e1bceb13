// A DSP parameter set or get through the controller, against one module whose answers come
// from the input. Input: the request form (1 byte: pin, audio-module or vendor set), the
// module's version label (1 byte, from a list), the public id (1 byte, from a list), the
// operation (1 byte; bit 0: get, bit 1: a null buffer or a blob without memory, bit 2: a
// VT_I4 value), the form factor (1 byte), the channel count the record reports (1 byte), the
// capacity of a get (2 bytes, up to 8192) and the length of a set's blob (2 bytes), then the
// blob. Every request then takes an outcome byte (0: success, else a failure), and a read also
// the answer's length field (4 bytes), a flag byte (bit 0: claim bytes returned from the
// next 4 bytes instead of what was written), the count of data bytes (2 bytes) and those
// bytes, written into the data buffer as far as it holds them.
//
// The get buffer and the blob are blocks of exactly their size, so a byte read or written
// past either is caught. A channel value takes at most eight module parameters; a successful
// get of a laid-out value never reports more than the capacity.
#include "FuzzInput.h"

#include "dsp/DspController.h"
#include "dsp/TembraDspDrova.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr const WCHAR* kEndpoint = TEXT("{0.0.0.00000000}.{fuzz}");

const WCHAR* const kLabels[] = {TEXT("1.5"),      TEXT("1.0.0"), TEXT("1.3.1"),       TEXT("1.4.1"),
                                TEXT("1.5-lite"), TEXT("1.4.2"), TEXT("2.10.0-lite"), TEXT("")};

const LONG kIds[] = {2108, 2116, 2109, 2122, 2135, 2107, 2137, 2138, 2105, 2103, 1002,
                     2002, 1004, 1005, 1114, 1123, 1141, 1101, 1162, 2125, 2126, 2127,
                     2136, 2001, 1001, 2004, 2005, 2006, 2007, 1006, 1007, 1008};

// The ids whose get lays the answer out (and so never claims more than the capacity).
bool LaidOut(LONG id) {
    switch (id) {
        case 2107:
        case 2125:
        case 2126:
        case 2127:
        case 2136:
        case 1114:
        case 1123:
        case 1141:
        case 2137:
        case 2138:
            return true;
        default:
            return false;
    }
}

class ScriptedModule : public IKsControl {
public:
    explicit ScriptedModule(fuzz::Input* input) : m_input(input) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_references; }

    HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength, void* data,
                                         ULONG dataLength, ULONG* returned) override {
        fuzz::Check(property != nullptr && propertyLength >= sizeof(KSPROPERTY),
                    "a request carries a property");
        ++m_requests;
        const bool failed = m_input->U8() != 0;
        *returned = 0;
        const bool read =
            data != nullptr && dataLength >= 4 && (property->Flags & KSPROPERTY_TYPE_SET) == 0;
        if (!read) {
            return failed ? E_FAIL : S_OK;
        }
        auto* bytes = static_cast<uint8_t*>(data);
        const uint32_t length = m_input->U32();
        std::memcpy(bytes, &length, sizeof length);
        const uint8_t flags = m_input->U8();
        const size_t low = m_input->U8();
        const size_t count = low | (size_t{m_input->U8()} << 8);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t byte = m_input->U8();
            if (4 + i < dataLength) {
                bytes[4 + i] = byte;
            }
        }
        *returned = (flags & 1) != 0 ? m_input->U32()
                                     : static_cast<ULONG>(std::min<size_t>(4 + count, dataLength));
        return failed ? E_FAIL : S_OK;
    }
    HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD, ULONG, void*, ULONG, ULONG*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT, ULONG, void*, ULONG, ULONG*) override {
        return E_NOTIMPL;
    }

    ULONG References() const { return m_references; }
    ULONG Requests() const { return m_requests; }

private:
    fuzz::Input* m_input;
    ULONG m_references = 1;
    ULONG m_requests = 0;
};

EndpointModuleRecord Record(ScriptedModule* module, uint8_t form, const WCHAR* label,
                            ULONG channels) {
    EndpointModuleRecord record;
    record.deviceId.Reset(SysAllocString(kEndpoint));
    record.friendlyName.Reset(SysAllocString(TEXT("Speakers")));
    record.versionLabel.Reset(SysAllocString(label));
    record.moduleName.Reset(SysAllocString(TEXT("drova")));
    record.moduleVersion.Reset(SysAllocString(TEXT("1.0.0.0")));
    record.ksControl = ComPtr<IKsControl>(module);
    record.channelCount = channels;
    record.moduleType = 2;
    record.pinId = 1;
    record.vendorSet = form % 3 == 2 ? 1 : 0;
    record.audioModule = form % 3 == 1 ? 1 : 0;
    return record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    const uint8_t form = input.U8();
    const WCHAR* label = kLabels[input.U8() % (sizeof kLabels / sizeof kLabels[0])];
    const LONG id = kIds[input.U8() % (sizeof kIds / sizeof kIds[0])];
    const uint8_t operation = input.U8();
    const ULONG formFactor = input.U8();
    const ULONG channels = input.U8();
    const ULONG capacity = (input.U8() | (ULONG{input.U8()} << 8)) % 8193;
    const size_t blobLength = (input.U8() | (size_t{input.U8()} << 8)) % 8193;

    fuzz::ExactBlock blob(blobLength);
    for (size_t i = 0; i < blobLength; ++i) {
        blob.Data()[i] = input.U8();
    }

    ScriptedModule module(&input);
    CTembraDspDrova& driver = DspController::Driver();
    driver.Modules().push_back(Record(&module, form, label, channels));
    DspController::Open(kEndpoint);

    if ((operation & 1) == 0) {
        PROPVARIANT value;
        PropVariantInit(&value);
        if ((operation & 4) != 0) {
            value.vt = VT_I4;
            value.lVal = static_cast<LONG>(blobLength) - 8;
            if (blobLength >= 4) {
                std::memcpy(&value.lVal, blob.Data(), sizeof value.lVal);
            }
        } else {
            value.vt = VT_BLOB;
            value.blob.cbSize = static_cast<ULONG>(blobLength);
            value.blob.pBlobData = (operation & 2) != 0 ? nullptr : blob.Data();
        }
        const HRESULT hr = DspController::SetParameter(kEndpoint, id, value, formFactor);
        if ((id == 2137 || id == 2138) && SUCCEEDED(hr)) {
            fuzz::Check(module.Requests() <= 8, "a channel value takes at most eight writes");
        }
        if (value.vt == VT_BLOB && value.blob.pBlobData == nullptr && blobLength > 0) {
            fuzz::Check(hr == E_INVALIDARG || hr == E_FAIL, "a blob without memory is refused");
        }
    } else {
        fuzz::ExactBlock buffer(capacity);
        BYTE* out = (operation & 2) != 0 ? nullptr : buffer.Data();
        ULONG inOut = capacity;
        const HRESULT hr = DspController::GetParameter(kEndpoint, id, out, &inOut);
        if (SUCCEEDED(hr) && LaidOut(id)) {
            fuzz::Check(out != nullptr && inOut <= capacity,
                        "a laid-out value fits the buffer it was copied into");
        }
        if (id == 2137 || id == 2138) {
            fuzz::Check(module.Requests() <= 8, "a channel block takes at most eight reads");
        }
    }

    DspController::Close(kEndpoint);
    driver.Modules().clear();
    fuzz::Check(module.References() == 1, "every reference taken is given back");
    return 0;
}
