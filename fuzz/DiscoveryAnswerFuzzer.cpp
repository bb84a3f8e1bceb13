// The module queries of discovery against a driver whose answers come from the input. Every
// kernel-streaming request takes, in order: an outcome byte (0: success, 1: ERROR_MORE_DATA,
// else a failure), the bytes-returned value it claims (4 bytes), the count of answer bytes
// (2 bytes), then those bytes, copied into the data buffer as far as it holds them. The
// queries read the library's buffers, which are exactly the size they asked for, so a read
// past what the driver could have written is caught.
//
// A record is filled only by a query that succeeded, and then with terminated texts; the
// control's references come back to what they were when the records are gone.
#include "FuzzInput.h"

#include "discovery/PPAPIHelper.h"

#include <algorithm>
#include <cstring>

namespace {

class ScriptedControl : public IKsControl {
public:
    explicit ScriptedControl(fuzz::Input* input) : m_input(input) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_references; }

    HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY, ULONG, void* data, ULONG dataLength,
                                         ULONG* returned) override {
        const uint8_t outcome = m_input->U8();
        *returned = m_input->U32();
        const size_t low = m_input->U8();
        const size_t length = low | (size_t{m_input->U8()} << 8);
        for (size_t i = 0; i < length; ++i) {
            const uint8_t byte = m_input->U8();
            if (data != nullptr && i < dataLength) {
                static_cast<uint8_t*>(data)[i] = byte;
            }
        }
        switch (outcome) {
            case 0:
                return S_OK;
            case 1:
                return HRESULT_FROM_WIN32(ERROR_MORE_DATA);
            default:
                return E_FAIL;
        }
    }
    HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD, ULONG, void*, ULONG, ULONG*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT, ULONG, void*, ULONG, ULONG*) override {
        return E_NOTIMPL;
    }

    ULONG References() const { return m_references; }

private:
    fuzz::Input* m_input;
    ULONG m_references = 1;
};

void CheckText(BSTR text) {
    fuzz::Check(text != nullptr, "a filled record has its texts");
    fuzz::Check(SysStringLen(text) <= 64, "a module text is at most 64 characters");
}

void CheckRecord(HRESULT hr, const EndpointModuleRecord& record) {
    if (FAILED(hr)) {
        fuzz::Check(!record.ksControl, "a failed query fills nothing");
        return;
    }
    fuzz::Check(static_cast<bool>(record.ksControl), "a filled record holds the control");
    CheckText(record.moduleName.Get());
    CheckText(record.moduleVersion.Get());
    CheckText(record.versionLabel.Get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    ScriptedControl control(&input);
    {
        CPPAPIHelper helper;
        GUID classId{};
        ULONG instanceId = 0;
        const HRESULT found = helper.QueryPPAudioModule(&control, &classId, &instanceId);
        fuzz::Check(SUCCEEDED(found) || found == HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
                    "the descriptor query finds the class or answers not found");

        EndpointModuleRecord wrapped;
        CheckRecord(helper.LookForPPAudioModuleConnectorId_Intel(1, &control, classId, instanceId,
                                                                 &wrapped),
                    wrapped);
        EndpointModuleRecord plain;
        CheckRecord(helper.LookForPPModuleConnectorId_Intel(1, &control, &plain), plain);
        EndpointModuleRecord amd;
        CheckRecord(helper.LookForPPModuleConnectorId_AMD(&control, &amd), amd);

        VendorKs::ModuleEntry entry{};
        if (SUCCEEDED(helper.LookForTembraModuleInfo_Intel(&control, 1, GUID_NULL, 0, &entry))) {
            fuzz::Check(std::memchr(entry.name, 0, sizeof entry.name) != nullptr &&
                            std::memchr(entry.version, 0, sizeof entry.version) != nullptr,
                        "a found entry has terminated texts");
        }
    }
    fuzz::Check(control.References() == 1, "every reference taken is given back");
    return 0;
}
