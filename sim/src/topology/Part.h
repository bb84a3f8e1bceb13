// One part of a device topology: IPart, with IConnector for a connector and ISubunit for a
// subunit. A subunit that is a selector activates IAudioInputSelector or IAudioOutputSelector.
#pragma once

#include "common/ComObject.h"

namespace vexsim {

class PartObject final : public ComObject<IPart, IConnector, ISubunit> {
public:
    PartObject(std::shared_ptr<Machine> machine, Device* device, size_t index)
        : ComObject("IPart", Guids::kIidIPart, std::move(machine), device), m_index(index) {}

    // IPart
    HRESULT STDMETHODCALLTYPE GetName(LPWSTR* name) override;
    HRESULT STDMETHODCALLTYPE GetLocalId(UINT* id) override;
    HRESULT STDMETHODCALLTYPE GetGlobalId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE GetPartType(PartType* type) override;
    HRESULT STDMETHODCALLTYPE GetSubType(GUID* subType) override;
    HRESULT STDMETHODCALLTYPE GetControlInterfaceCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetControlInterface(UINT index, IControlInterface** control) override;
    HRESULT STDMETHODCALLTYPE EnumPartsIncoming(IPartsList** parts) override;
    HRESULT STDMETHODCALLTYPE EnumPartsOutgoing(IPartsList** parts) override;
    HRESULT STDMETHODCALLTYPE GetTopologyObject(IDeviceTopology** topology) override;
    HRESULT STDMETHODCALLTYPE Activate(DWORD context, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE RegisterControlChangeCallback(REFGUID iid,
                                                            IControlChangeNotify* notify) override;
    HRESULT STDMETHODCALLTYPE
    UnregisterControlChangeCallback(IControlChangeNotify* notify) override;

    // IConnector
    HRESULT STDMETHODCALLTYPE GetType(ConnectorType* type) override;
    HRESULT STDMETHODCALLTYPE GetDataFlow(DataFlow* flow) override;
    HRESULT STDMETHODCALLTYPE ConnectTo(IConnector* other) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE IsConnected(BOOL* connected) override;
    HRESULT STDMETHODCALLTYPE GetConnectedTo(IConnector** other) override;
    HRESULT STDMETHODCALLTYPE GetConnectorIdConnectedTo(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE GetDeviceIdConnectedTo(LPWSTR* id) override;

    // A new object for the part, with the creator's reference.
    static PartObject* Create(const std::shared_ptr<Machine>& machine, Device* device,
                              size_t index) {
        return new PartObject(machine, device, index);
    }
    // The simulator's part behind an interface pointer handed back to it, or null for anything
    // else (no reference is kept).
    static PartObject* From(IUnknown* object);

    Device* OwningDevice() const { return m_device; }
    size_t Index() const { return m_index; }

protected:
    void* Find(REFIID iid) override;
    Call Describe(const char* method) const override;

private:
    const Part& ThePart() const { return m_device->topology.parts[m_index]; }
    // The connector at the other end, if connected and present in the machine.
    bool FarEnd(Device** device, size_t* index) const;
    HRESULT EnumParts(const char* method, bool incoming, IPartsList** parts);

    size_t m_index;
};

// A part's global id: its device id, a slash and the local id in 8 hexadecimal digits.
WString GlobalPartId(const Device& device, const Part& part);

}  // namespace vexsim
