// One part of a device topology: IPart, with IConnector for a connector and ISubunit for a
// subunit. A subunit that is a selector activates IAudioInputSelector or IAudioOutputSelector.
#pragma once

#include "common/ComObject.h"
#include "machine/Machine.h"

#include <memory>

namespace vexsim {

// The simulator's own interface id: a part object answers it with itself, so that a part handed
// back to the simulator (GetSignalPath) is recognised. {5C1E7A30-0D44-4F4B-9A7E-6B2D0F1C9E51}
inline constexpr IID kIidSimPart = {
    0x5C1E7A30, 0x0D44, 0x4F4B, {0x9A, 0x7E, 0x6B, 0x2D, 0x0F, 0x1C, 0x9E, 0x51}};

class PartObject final : public ComObject<IPart, IConnector, ISubunit> {
public:
    PartObject(std::shared_ptr<Machine> machine, Device* device, size_t index);

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
                              size_t index);
    // The simulator's part behind an interface pointer handed back to it, or null for anything
    // else (no reference is kept).
    static PartObject* From(IUnknown* object);

    Device* OwningDevice() const { return m_device; }
    size_t Index() const { return m_index; }

protected:
    void* Find(REFIID iid) override;
    std::optional<HRESULT> EnterQueryInterface(REFIID iid) override;

private:
    const Part& ThePart() const { return m_device->topology.parts[m_index]; }
    Call MakeCall(const char* method) const;
    // The connector at the other end, if connected and present in the machine.
    bool FarEnd(Device** device, size_t* index) const;
    HRESULT EnumParts(const char* method, bool incoming, IPartsList** parts);

    std::shared_ptr<Machine> m_machine;
    Device* m_device;
    size_t m_index;
};

// A part's global id: its device id, a slash and the local id in 8 hexadecimal digits.
WString GlobalPartId(const Device& device, const Part& part);

}  // namespace vexsim
