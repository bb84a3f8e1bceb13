// Kernel streaming as user mode sees it: property identifiers, the pin and node forms of a
// property request, the multiple-item header and the control interface of a filter or pin.
#pragma once

#include "objbase.h"

struct KSIDENTIFIER {
    union {
        struct {
            GUID Set;
            ULONG Id;
            ULONG Flags;
        };
        LONGLONG Alignment;
    };
};
typedef KSIDENTIFIER KSPROPERTY;
typedef KSIDENTIFIER* PKSPROPERTY;
typedef KSIDENTIFIER KSMETHOD;
typedef KSIDENTIFIER* PKSMETHOD;
typedef KSIDENTIFIER KSEVENT;
typedef KSIDENTIFIER* PKSEVENT;

#define KSPROPERTY_TYPE_GET 0x00000001
#define KSPROPERTY_TYPE_SET 0x00000002
#define KSPROPERTY_TYPE_SETSUPPORT 0x00000100
#define KSPROPERTY_TYPE_BASICSUPPORT 0x00000200
#define KSPROPERTY_TYPE_TOPOLOGY 0x10000000

// A property addressed to one pin of a filter.
struct KSP_PIN {
    KSPROPERTY Property;
    ULONG PinId;
    union {
        ULONG Reserved;
        ULONG Flags;
    };
};
typedef KSP_PIN* PKSP_PIN;

// A property addressed to one node of a filter's topology (with KSPROPERTY_TYPE_TOPOLOGY).
struct KSP_NODE {
    KSPROPERTY Property;
    ULONG NodeId;
    ULONG Reserved;
};
typedef KSP_NODE* PKSP_NODE;

// The header of a list answer: its size in bytes (header included) and its item count.
struct KSMULTIPLE_ITEM {
    ULONG Size;
    ULONG Count;
};
typedef KSMULTIPLE_ITEM* PKSMULTIPLE_ITEM;

struct IKsControl : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength,
                                                 void* propertyData, ULONG dataLength,
                                                 ULONG* bytesReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD method, ULONG methodLength,
                                               void* methodData, ULONG dataLength,
                                               ULONG* bytesReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT event, ULONG eventLength, void* eventData,
                                              ULONG dataLength, ULONG* bytesReturned) = 0;
};

static_assert(sizeof(KSPROPERTY) == 24, "KSPROPERTY is 24 bytes");
static_assert(sizeof(KSP_PIN) == 32, "KSP_PIN is 32 bytes");
static_assert(sizeof(KSP_NODE) == 32, "KSP_NODE is 32 bytes");
