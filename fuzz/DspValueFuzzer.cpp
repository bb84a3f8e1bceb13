// A DSP parameter set or get through the controller, against one module whose answers come
// from the input: the request form, version label, id, operation (bit 0: get, bit 1: a null
// buffer or blob, bit 2: VT_I4), form factor, channel count (1 byte each), the get's capacity
// and the set's blob (2 bytes each, then the blob); each request then takes an outcome byte,
// and a read the answer's length field (4), a flag (bit 0: claim bytes returned from the next
// 4 bytes) and a counted answer (2 bytes, then the bytes). A channel value takes at most eight
// requests; a successful get of a laid-out value never reports more than the capacity.
#include "FuzzInput.h"

#include "dsp/DspController.h"
#include "dsp/TembraDspDrova.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr const WCHAR* kEndpoint = TEXT("{0.0.0.00000000}.{fuzz}");

const WCHAR* const kLabels[] = {TEXT("1.5"),      TEXT("1.0.0"), TEXT("1.3.1"),       TEXT("1.4.1"),
                                TEXT("1.5-lite"), TEXT("1.4.2"), TEXT("2.10.0-lite"), TEXT("")};

const LONG kIds[] = {2108, 2116, 2109, 2122, 2135, 2107, 2137, 2138, 2105, 2103, 1002,
                     2002, 1004, 1005, 1114, 1123, 1141, 1101, 1162, 2125, 2126, 2127,
                     2136, 2001, 1001, 2004, 2005, 2006, 2007, 1006, 1007, 1008};
// The ids whose get lays the answer out (and so never claims more than the capacity).
const LONG kLaidOut[] = {2107, 2125, 2126, 2127, 2136, 1114, 1123, 1141, 2137, 2138};

class ScriptedModule : public fuzz::ScriptedKs {
public:
    using ScriptedKs::ScriptedKs;

    HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength, void* data,
                                         ULONG dataLength, ULONG* returned) override {
        fuzz::Check(property != nullptr && propertyLength >= sizeof(KSPROPERTY),
                    "a request carries a property");
        ++m_requests;
        const HRESULT outcome = m_input->U8() != 0 ? E_FAIL : S_OK;
        *returned = 0;
        if (data == nullptr || dataLength < 4 || (property->Flags & KSPROPERTY_TYPE_SET) != 0) {
            return outcome;
        }
        auto* bytes = static_cast<BYTE*>(data);
        const std::vector<BYTE> length = m_input->Bytes(4);
        std::memcpy(bytes, length.data(), length.size());
        const bool claim = (m_input->U8() & 1) != 0;
        const std::vector<BYTE> answer = m_input->Bytes(m_input->U16());
        const size_t written = std::min<size_t>(answer.size(), dataLength - 4);
        if (written > 0) {
            std::memcpy(bytes + 4, answer.data(), written);
        }
        *returned = claim ? m_input->U32() : static_cast<ULONG>(4 + written);
        return outcome;
    }
    ULONG Requests() const { return m_requests; }

private:
    ULONG m_requests = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    const uint8_t form = input.U8();
    const WCHAR* label = kLabels[input.U8() % std::size(kLabels)];
    const LONG id = kIds[input.U8() % std::size(kIds)];
    const uint8_t operation = input.U8();
    const ULONG formFactor = input.U8();
    const ULONG channels = input.U8();
    const ULONG capacity = input.U16() % 8193;
    std::vector<BYTE> blob = input.Bytes(input.U16() % 8193);
    const bool channelValue = id == 2137 || id == 2138;

    ScriptedModule module(&input);
    CTembraDspDrova& driver = DspController::Driver();
    EndpointModuleRecord& record = driver.Modules().emplace_back();
    record.deviceId.Reset(SysAllocString(kEndpoint));
    record.friendlyName.Reset(SysAllocString(TEXT("Speakers")));
    record.versionLabel.Reset(SysAllocString(label));
    record.moduleName.Reset(SysAllocString(TEXT("drova")));
    record.moduleVersion.Reset(SysAllocString(TEXT("1.0.0.0")));
    record.ksControl = ComPtr<IKsControl>(&module);
    record.channelCount = channels;
    record.moduleType = 2;
    record.pinId = 1;
    record.vendorSet = form % 3 == 2 ? 1 : 0;
    record.audioModule = form % 3 == 1 ? 1 : 0;
    DspController::Open(kEndpoint);

    if ((operation & 1) == 0) {
        PROPVARIANT value;
        PropVariantInit(&value);
        if ((operation & 4) != 0) {
            value.vt = VT_I4;
            value.lVal = static_cast<LONG>(blob.size()) - 8;
            if (blob.size() >= 4) {
                std::memcpy(&value.lVal, blob.data(), sizeof value.lVal);
            }
        } else {
            value.vt = VT_BLOB;
            value.blob = {static_cast<ULONG>(blob.size()), (operation & 2) ? nullptr : blob.data()};
        }
        const HRESULT hr = DspController::SetParameter(kEndpoint, id, value, formFactor);
        fuzz::Check(!channelValue || FAILED(hr) || module.Requests() <= 8,
                    "a channel value takes at most eight writes");
        fuzz::Check(value.vt != VT_BLOB || value.blob.pBlobData || blob.empty() ||
                        hr == E_INVALIDARG || hr == E_FAIL,
                    "a blob without memory is refused");
    } else {
        std::vector<BYTE> buffer(capacity);
        BYTE* out = (operation & 2) != 0 ? nullptr : buffer.data();
        ULONG inOut = capacity;
        const HRESULT hr = DspController::GetParameter(kEndpoint, id, out, &inOut);
        fuzz::Check(
            FAILED(hr) ||
                std::find(std::begin(kLaidOut), std::end(kLaidOut), id) == std::end(kLaidOut) ||
                (out != nullptr && inOut <= capacity),
            "a laid-out value fits the buffer it was copied into");
        fuzz::Check(!channelValue || module.Requests() <= 8,
                    "a channel block takes at most eight reads");
    }

    DspController::Close(kEndpoint);
    driver.Modules().clear();
    fuzz::Check(module.References() == 1, "every reference taken is given back");
    return 0;
}
