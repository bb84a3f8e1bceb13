// The module queries of discovery against a driver whose answers come from the input. Every
// kernel-streaming request takes an outcome byte (0: success, 1: ERROR_MORE_DATA, else a
// failure), the bytes-returned value it claims (4 bytes), the count of answer bytes (2 bytes),
// then those bytes, copied into the data buffer as far as it holds them.
//
// A record is filled only by a query that succeeded, and then with terminated texts; the
// control's references come back to what they were when the records are gone.
#include "FuzzInput.h"

#include "discovery/PPAPIHelper.h"

#include <algorithm>

namespace {

class ScriptedControl : public fuzz::ScriptedKs {
public:
    using ScriptedKs::ScriptedKs;

    HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY, ULONG, void* data, ULONG dataLength,
                                         ULONG* returned) override {
        const uint8_t outcome = m_input->U8();
        *returned = m_input->U32();
        const std::vector<BYTE> answer = m_input->Bytes(m_input->U16());
        if (data != nullptr && !answer.empty()) {
            std::memcpy(data, answer.data(), std::min<size_t>(answer.size(), dataLength));
        }
        return outcome == 0 ? S_OK : outcome == 1 ? HRESULT_FROM_WIN32(ERROR_MORE_DATA) : E_FAIL;
    }
};

void CheckRecord(HRESULT hr, const EndpointModuleRecord& record) {
    fuzz::Check(SUCCEEDED(hr) == static_cast<bool>(record.ksControl),
                "a record holds the control exactly when its query succeeded");
    for (BSTR text :
         {record.moduleName.Get(), record.moduleVersion.Get(), record.versionLabel.Get()}) {
        fuzz::Check(FAILED(hr) || (text != nullptr && SysStringLen(text) <= 64),
                    "a filled record has its texts, at most 64 characters each");
    }
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
