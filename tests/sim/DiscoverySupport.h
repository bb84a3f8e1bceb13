// A walk over a machine as module discovery makes it, for the tests of the shipped machines:
// from a render endpoint's connector through every filter to the wave filter's software
// connector (routing selectors and reading the engine's offload pin on the way), the candidate
// pins, then the vendor queries on each pin and the AMD-type probe. It answers which modules a
// machine lets discovery find, so a machine that promises a module proves it is reachable.
#pragma once

#include "KsTestSupport.h"

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace simtest {

struct FoundModule {
    ULONG pin = 0;     // the pin it answered on (0 for an AMD-type module)
    std::string guid;  // as in the tables below
    std::string form;  // "pin", "audioModule" or "vendorSet"
    std::string name;  // the module-list entry's texts ("drova-amd" for AMD-type)
    std::string version;
};

// Modules discovery knows, with the labels it gives them.
inline const char* const kIntelModules[] = {
    "{9DC26903-A3A8-4A30-8839-A77B6F4E5964}", "{F7922237-511F-4203-A780-2C2CE0A13AF2}",
    "{2F20FF4C-587D-4EA5-BD72-F246351DEFE6}", "{849F0D73-1678-4D57-8C78-61C548253993}",
    "{56A9EA76-3745-4CC0-815C-A621FAA8C9CB}", "{876CD395-4C0D-4DD7-A205-7F99FD78ED78}",
    "{CBDD3DB0-85AE-4466-B18D-504FD8E7082B}", "{F5151CC1-D8AA-4F79-8A05-7AB55D8B7A39}",
    "{BDE2F4EE-A588-4537-90FB-36A8D63D55AD}"};
inline const char* const kAmdModules[] = {
    "{E04EF10E-DA36-4692-A71E-0077161AED54}", "{B5FCC815-1F49-4F4E-B04C-05F3A383EFFF}",
    "{DF0CC948-64D1-45C7-BD36-4CDB1E6712F8}", "{34A7CA4C-B652-4585-9A05-33C8FF01FB81}",
    "{01FD7450-263C-43B5-ADCC-CBCD61975F89}", "{4F9B9C5A-6027-4DF6-9F88-06C2A429ADEA}",
    "{9E99AD9D-26E8-409A-A26D-F750DA6EE861}", "{2CEA7CB6-7F35-4C1B-B7E3-054F6C479955}",
    "{CFE115BD-8AEA-40BC-A764-AD9C18FEE730}"};

class Discovery {
public:
    explicit Discovery(IMMDeviceEnumerator* enumerator) : m_enumerator(enumerator) {}

    // The modules found behind one endpoint; empty when the walk or the queries end early.
    std::vector<FoundModule> Modules(const WCHAR* endpointId) {
        std::vector<FoundModule> found;
        ComPtr<IMMDevice> endpoint;
        ComPtr<IDeviceTopology> topology;
        ComPtr<IConnector> connector;
        if (FAILED(m_enumerator->GetDevice(endpointId, endpoint.Receive())) ||
            FAILED(endpoint->Activate(kIidDeviceTopology, CLSCTX_ALL, nullptr,
                                      topology.ReceiveVoid())) ||
            FAILED(topology->GetConnector(0, connector.Receive()))) {
            return found;
        }
        m_useConnectorPins = false;
        m_pins.clear();
        ComPtr<IPart> connectorPart;
        for (;;) {
            BOOL connected = FALSE;
            if (FAILED(connector->IsConnected(&connected))) {
                return found;
            }
            if (!connected) {
                ConnectorType type = Unknown_Connector;
                if (FAILED(connector->GetType(&type)) || type != Software_IO) {
                    return found;
                }
                break;
            }
            ComPtr<IConnector> farConnector;
            ComPtr<IPart> farPart;
            if (FAILED(connector->GetConnectedTo(farConnector.Receive())) ||
                FAILED(farConnector.QueryInterface(kIidPart, &farPart)) ||
                Walk(farPart.Get(), &connectorPart, &connector) != S_OK) {
                return found;
            }
        }
        ComPtr<IDeviceTopology> wave;
        UINT count = 0;
        if (!connectorPart || FAILED(connectorPart->GetTopologyObject(wave.Receive())) ||
            FAILED(wave->GetConnectorCount(&count))) {
            return found;
        }
        for (UINT j = 0; j < count; ++j) {
            ComPtr<IConnector> candidate;
            ComPtr<IPart> part;
            ConnectorType type = Unknown_Connector;
            if (FAILED(wave->GetConnector(j, candidate.Receive())) ||
                FAILED(candidate->GetType(&type)) || type != Software_IO ||
                FAILED(candidate.QueryInterface(kIidPart, &part))) {
                continue;
            }
            ComPtr<IPartsList> path;
            UINT localId = 0;
            if (SUCCEEDED(
                    wave->GetSignalPath(connectorPart.Get(), part.Get(), TRUE, path.Receive())) &&
                m_useConnectorPins && SUCCEEDED(part->GetLocalId(&localId))) {
                m_pins.insert(localId & 0xFFFF);
            }
        }
        ComPtr<IKsControl> control = ControlOf(wave.Get());
        if (!control) {
            return found;
        }
        Bytes classId;
        ULONG instanceId = 0;
        const bool audioModule = FindVendorClass(control.Get(), &classId, &instanceId);
        for (ULONG pin : m_pins) {
            FoundModule module;
            if (Intel(control.Get(), pin, audioModule ? &classId : nullptr, instanceId, &module)) {
                found.push_back(module);
            }
        }
        if (found.empty()) {
            FoundModule module;
            if (Amd(control.Get(), &module)) {
                found.push_back(module);
            }
        }
        return found;
    }

    // The channel count discovery reads: nChannels of the engine device format, else 2.
    static unsigned Channels(IMMDevice* endpoint) {
        ComPtr<IPropertyStore> store;
        if (FAILED(endpoint->OpenPropertyStore(STGM_READ, store.Receive()))) {
            return 0;
        }
        const PROPERTYKEY format = {
            {0xF19F064D, 0x082C, 0x4E27, {0xBC, 0x73, 0x68, 0x82, 0xA1, 0xBB, 0x8E, 0x4C}}, 0};
        ScopedPropVariant value;
        if (FAILED(store->GetValue(format, value.Receive())) || value.Get().vt != VT_BLOB ||
            value.Get().blob.cbSize < 4) {
            return 2;
        }
        const BYTE* blob = value.Get().blob.pBlobData;
        return static_cast<unsigned>(blob[2] | (blob[3] << 8));
    }

private:
    // One level of the walk through a filter's parts (upstream, as for a render endpoint).
    HRESULT Walk(IPart* start, ComPtr<IPart>* connectorPart, ComPtr<IConnector>* current) {
        ComPtr<IPartsList> parts;
        UINT count = 0;
        if (FAILED(start->EnumPartsIncoming(parts.Receive())) || !parts) {
            return S_FALSE;
        }
        if (FAILED(parts->GetCount(&count)) || count == 0) {
            return S_FALSE;
        }
        for (UINT i = 0; i < count; ++i) {
            ComPtr<IPart> part;
            PartType type = Connector;
            HRESULT hr = parts->GetPart(i, part.Receive());
            if (SUCCEEDED(hr)) {
                hr = part->GetPartType(&type);
            }
            if (FAILED(hr)) {
                return hr;
            }
            if (type == Connector) {
                ComPtr<IConnector> reached;
                hr = part.QueryInterface(kIidConnector, &reached);
                if (FAILED(hr)) {
                    return hr;
                }
                ReadOffloadPin(start, part.Get());
                *connectorPart = part;
                *current = reached;
                return S_OK;
            }
            UINT startId = 0;
            ComPtr<IAudioInputSelector> input;
            ComPtr<IAudioOutputSelector> output;
            if (SUCCEEDED(part->Activate(CLSCTX_ALL, kIidInputSelector, input.ReceiveVoid()))) {
                if (FAILED(start->GetLocalId(&startId)) ||
                    FAILED(input->SetSelection(startId, nullptr))) {
                    return E_FAIL;
                }
            } else if (SUCCEEDED(
                           part->Activate(CLSCTX_ALL, kIidOutputSelector, output.ReceiveVoid()))) {
                if (FAILED(start->GetLocalId(&startId)) ||
                    FAILED(output->SetSelection(startId, nullptr))) {
                    return E_FAIL;
                }
            }
            hr = Walk(part.Get(), connectorPart, current);
            if (SUCCEEDED(hr)) {
                return hr;
            }
        }
        return S_FALSE;
    }

    void ReadOffloadPin(IPart* start, IPart* connector) {
        ComPtr<IDeviceTopology> topology;
        UINT localId = 0;
        ComPtr<IKsControl> control;
        if (SUCCEEDED(start->GetTopologyObject(topology.Receive()))) {
            control = ControlOf(topology.Get());
        }
        if (!control || FAILED(connector->GetLocalId(&localId))) {
            m_useConnectorPins = true;
            return;
        }
        Request node;
        node.Guid(kAudioEngineSet).U32(6).U32(0x10000001).U32(localId & 0xFFFF).U32(0);
        Bytes descriptor(12);
        ULONG returned = 0;
        if (FAILED(Send(control.Get(), node.Get(), &descriptor, &returned))) {
            m_useConnectorPins = true;
            return;
        }
        m_pins.insert(WordAt(descriptor.data(), 4));
    }

    ComPtr<IKsControl> ControlOf(IDeviceTopology* topology) {
        ScopedCoMem<WCHAR> id;
        ComPtr<IMMDevice> device;
        ComPtr<IKsControl> control;
        if (SUCCEEDED(topology->GetDeviceId(id.Receive())) &&
            SUCCEEDED(m_enumerator->GetDevice(id.Get(), device.Receive()))) {
            device->Activate(kIidKsControl, CLSCTX_ALL, nullptr, control.ReceiveVoid());
        }
        return control;
    }

    static bool FindVendorClass(IKsControl* control, Bytes* classId, ULONG* instanceId) {
        Request query;
        query.Guid(kAudioModuleSet).U32(1).U32(1);
        ULONG size = 0;
        const HRESULT hr = Send(control, query.Get(), nullptr, &size);
        if ((FAILED(hr) && hr != kMoreData) || size < 8) {
            return false;
        }
        Bytes list(size);
        ULONG returned = 0;
        if (FAILED(Send(control, query.Get(), &list, &returned))) {
            return false;
        }
        const Bytes vendor = Request().Guid(kVendorClass).Get();
        const uint32_t count = WordAt(list.data(), 4);
        for (uint32_t i = 0; i < count && 8 + (i + 1) * 284 <= list.size(); ++i) {
            const uint8_t* entry = list.data() + 8 + i * 284;
            if (std::memcmp(entry, vendor.data(), 16) == 0) {
                *classId = Bytes(entry, entry + 16);
                *instanceId = WordAt(entry, 16);
                return true;
            }
        }
        return false;
    }

    static Request Vendor(const Bytes* classId, ULONG instanceId, ULONG id, ULONG pin) {
        Request r;
        if (classId != nullptr) {
            r.Guid(kAudioModuleSet).U32(2).U32(1).Append(*classId).U32(instanceId).U32(0);
        }
        r.Guid(kVendorSet).U32(id).U32(1).U32(pin).U32(0);
        return r;
    }

    static std::string Text(const uint8_t* p) {
        return std::string(reinterpret_cast<const char*>(p),
                           strnlen(reinterpret_cast<const char*>(p), 64));
    }

    static bool Intel(IKsControl* control, ULONG pin, const Bytes* classId, ULONG instanceId,
                      FoundModule* module) {
        Bytes version(5);
        ULONG returned = 0;
        if (FAILED(Send(control, Vendor(classId, instanceId, 0, pin).Get(), &version, &returned)) ||
            (version[0] != 1 && version[0] != 2)) {
            return false;
        }
        Request list = Vendor(classId, instanceId, 1, pin).Guid(kModuleAddress);
        ULONG size = 0;
        if (Send(control, list.Get(), nullptr, &size) != S_OK || size < 8) {
            return false;
        }
        Bytes entries(size);
        if (FAILED(Send(control, list.Get(), &entries, &returned))) {
            return false;
        }
        const uint32_t count = WordAt(entries.data(), 4);
        for (uint32_t i = 0; i < count && 8 + (i + 1) * 148 <= entries.size(); ++i) {
            const uint8_t* entry = entries.data() + 8 + i * 148;
            for (const char* known : kIntelModules) {
                if (std::memcmp(entry + 4, Request().Guid(known).Get().data(), 16) == 0) {
                    module->pin = pin;
                    module->guid = known;
                    module->form = classId != nullptr ? "audioModule" : "pin";
                    module->name = Text(entry + 20);
                    module->version = Text(entry + 84);
                    return true;
                }
            }
        }
        return false;
    }

    static bool Amd(IKsControl* control, FoundModule* module) {
        for (const char* known : kAmdModules) {
            Request probe;
            probe.Guid(kAmdSet).U32(1).U32(1).Guid(known).U32(2).U32(0);
            Bytes answer(8);
            ULONG returned = 0;
            if (SUCCEEDED(Send(control, probe.Get(), &answer, &returned)) && answer[0] != 0) {
                module->guid = known;
                module->form = "vendorSet";
                module->name = "drova-amd";
                return true;
            }
        }
        return false;
    }

    static HRESULT Send(IKsControl* control, Bytes&& property, Bytes* data, ULONG* returned) {
        return control->KsProperty(
            reinterpret_cast<PKSPROPERTY>(property.data()), static_cast<ULONG>(property.size()),
            data != nullptr && !data->empty() ? data->data() : nullptr,
            data != nullptr ? static_cast<ULONG>(data->size()) : 0, returned);
    }
    static HRESULT Send(IKsControl* control, Bytes& property, Bytes* data, ULONG* returned) {
        return Send(control, Bytes(property), data, returned);
    }

    IMMDeviceEnumerator* m_enumerator;
    bool m_useConnectorPins = false;
    std::set<ULONG> m_pins;
};

}  // namespace simtest
