// Device topology: the parts (connectors and subunits) of an audio device's kernel-streaming
// filters, how they link and connect, and the selector controls a subunit offers.
#pragma once

#include "ks.h"
#include "propsys.h"

enum DataFlow { In = 0, Out = 1 };

enum PartType { Connector = 0, Subunit = 1 };

enum ConnectorType {
    Unknown_Connector = 0,
    Physical_Internal = 1,
    Physical_External = 2,
    Software_IO = 3,
    Software_Fixed = 4,
    Network = 5,
};

struct IDeviceTopology;
struct IConnector;
struct ISubunit;
struct IPart;
struct IPartsList;
struct IControlInterface;
struct IControlChangeNotify;

struct IControlInterface : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetName(LPWSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIID(GUID* iid) = 0;
};

struct IControlChangeNotify : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnNotify(DWORD processId, LPCGUID eventContext) = 0;
};

struct IPartsList : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCount(UINT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPart(UINT index, IPart** part) = 0;
};

struct IPart : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetName(LPWSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLocalId(UINT* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetGlobalId(LPWSTR* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPartType(PartType* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSubType(GUID* subType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetControlInterfaceCount(UINT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetControlInterface(UINT index,
                                                          IControlInterface** control) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumPartsIncoming(IPartsList** parts) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumPartsOutgoing(IPartsList** parts) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTopologyObject(IDeviceTopology** topology) = 0;
    virtual HRESULT STDMETHODCALLTYPE Activate(DWORD context, REFIID iid, void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    RegisterControlChangeCallback(REFGUID iid, IControlChangeNotify* notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    UnregisterControlChangeCallback(IControlChangeNotify* notify) = 0;
};

struct IConnector : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetType(ConnectorType* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDataFlow(DataFlow* flow) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectTo(IConnector* other) = 0;
    virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
    virtual HRESULT STDMETHODCALLTYPE IsConnected(BOOL* connected) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectedTo(IConnector** other) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectorIdConnectedTo(LPWSTR* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceIdConnectedTo(LPWSTR* id) = 0;
};

// A subunit has no methods of its own; it is reached through IPart.
struct ISubunit : IUnknown {};

struct IDeviceTopology : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetConnectorCount(UINT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnector(UINT index, IConnector** connector) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSubunitCount(UINT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSubunit(UINT index, ISubunit** subunit) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPartById(UINT id, IPart** part) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceId(LPWSTR* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSignalPath(IPart* from, IPart* to, BOOL rejectMixedPaths,
                                                    IPartsList** parts) = 0;
};

struct IAudioInputSelector : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetSelection(UINT* localId) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSelection(UINT localId, LPCGUID eventContext) = 0;
};

struct IAudioOutputSelector : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetSelection(UINT* localId) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSelection(UINT localId, LPCGUID eventContext) = 0;
};
