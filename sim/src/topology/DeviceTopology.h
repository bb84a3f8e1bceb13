// The device topology of a device (IDeviceTopology): its connectors and subunits, parts by
// local id, and signal paths between parts.
#pragma once

#include "common/ComObject.h"

namespace vexsim {

class DeviceTopologyObject final : public ComObject<IDeviceTopology> {
public:
    DeviceTopologyObject(std::shared_ptr<Machine> machine, Device* device)
        : ComObject("IDeviceTopology", Guids::kIidIDeviceTopology, std::move(machine), device) {}

    HRESULT STDMETHODCALLTYPE GetConnectorCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetConnector(UINT index, IConnector** connector) override;
    HRESULT STDMETHODCALLTYPE GetSubunitCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetSubunit(UINT index, ISubunit** subunit) override;
    HRESULT STDMETHODCALLTYPE GetPartById(UINT id, IPart** part) override;
    HRESULT STDMETHODCALLTYPE GetDeviceId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE GetSignalPath(IPart* from, IPart* to, BOOL rejectMixedPaths,
                                            IPartsList** parts) override;

private:
    // Indexes into the topology's parts of the parts of one kind.
    std::vector<size_t> PartsOfKind(PartKind kind) const;
    // The count of connectors or subunits, and one of them by index.
    HRESULT CountParts(const char* method, PartKind kind, UINT* count);
    template <typename Interface>
    HRESULT PartAt(const char* method, PartKind kind, UINT index, Interface** part);
};

}  // namespace vexsim
