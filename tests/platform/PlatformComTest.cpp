// COM apartments and the class table: which apartment reaches, revokes and tears down a class
// registration, and the registration kinds refused.
#include "support/TestSupport.h"

#include <atomic>
#include <functional>
#include <thread>

using vextest::ComApartment;

namespace {

const CLSID kTestClass = {
    0x5d1c2b7e, 0x3c41, 0x4f0e, {0x9a, 0x51, 0x6b, 0x2e, 0x11, 0x73, 0x0c, 0x42}};

// A class object that is also the one instance it creates.
class TestFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** object) override {
        return QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    ULONG References() const { return m_refs; }

private:
    std::atomic<ULONG> m_refs{1};
};

HRESULT Create(DWORD context = CLSCTX_INPROC_SERVER) {
    IUnknown* object = nullptr;
    const HRESULT hr = CoCreateInstance(kTestClass, nullptr, context, IID_IUnknown,
                                        reinterpret_cast<void**>(&object));
    if (object != nullptr) {
        object->Release();
    }
    return hr;
}

enum class Apartment { None, Multithreaded, SingleThreaded };

// Runs `body` on a thread of its own in the given apartment.
void OnThread(Apartment apartment, const std::function<void()>& body) {
    std::thread thread([&] {
        HRESULT hr = E_FAIL;
        if (apartment == Apartment::Multithreaded) {
            hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        } else if (apartment == Apartment::SingleThreaded) {
            hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        }
        body();
        if (SUCCEEDED(hr)) {
            CoUninitialize();
        }
    });
    thread.join();
}

struct Reach {
    const char* name;
    DWORD model;  // the registering thread's
    Apartment other;
    HRESULT create;  // CoCreateInstance from the other thread
    HRESULT revoke;  // CoRevokeClassObject from the other thread
};

// Registers in the calling thread's apartment, then asks another thread to use and revoke it.
void CheckReach(const Reach& row) {
    SCOPED_TRACE(row.name);
    ComApartment com(row.model);
    ASSERT_HR(S_OK, com.Result());
    TestFactory factory;
    DWORD cookie = 0;
    ASSERT_HR(S_OK, CoRegisterClassObject(kTestClass, &factory, CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie));
    EXPECT_HR(S_OK, Create()) << "the registering apartment reaches it";
    HRESULT created = E_FAIL;
    HRESULT revoked = E_FAIL;
    OnThread(row.other, [&] {
        created = Create();
        revoked = CoRevokeClassObject(cookie);
    });
    EXPECT_HR(row.create, created);
    EXPECT_HR(row.revoke, revoked);
    // Revoked from the other thread, it is gone here too; otherwise it is still there.
    EXPECT_HR(row.revoke == S_OK ? E_INVALIDARG : S_OK, CoRevokeClassObject(cookie));
}

}  // namespace

TEST(Com, RegisteredClassObjectServesCoCreateInstance) {
    ComApartment com;
    ASSERT_HR(S_OK, com.Result());
    TestFactory factory;
    DWORD cookie = 0;
    ASSERT_HR(S_OK, CoRegisterClassObject(kTestClass, &factory, CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie));
    EXPECT_NE(0u, cookie);
    EXPECT_GT(factory.References(), 1u) << "the class table holds a reference";

    const ULONG held = factory.References();
    DWORD second = 7;
    EXPECT_HR(S_OK, CoRegisterClassObject(kTestClass, &factory, CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &second));
    EXPECT_EQ(0u, second) << "a second multiple-use registration joins the one there";
    IUnknown* object = nullptr;
    ASSERT_HR(S_OK, CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IUnknown,
                                     reinterpret_cast<void**>(&object)));
    EXPECT_EQ(static_cast<IClassFactory*>(&factory), object) << "the factory's instance";
    object->Release();
    EXPECT_EQ(held, factory.References()) << "every reference taken was given back";

    ASSERT_HR(S_OK, CoRevokeClassObject(cookie));
    EXPECT_EQ(1u, factory.References()) << "revoking drops the table's reference";
    object = reinterpret_cast<IUnknown*>(&factory);
    EXPECT_HR(REGDB_E_CLASSNOTREG, CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IUnknown,
                                                    reinterpret_cast<void**>(&object)));
    EXPECT_EQ(nullptr, object) << "the out-parameter is cleared on failure";
}

TEST(Com, InitialisationIsCountedPerThreadAndNeededToRegister) {
    EXPECT_HR(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_HR(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_HR(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    CoUninitialize();
    CoUninitialize();
    IUnknown* object = nullptr;
    EXPECT_HR(CO_E_NOTINITIALIZED, CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IUnknown,
                                                    reinterpret_cast<void**>(&object)))
        << "two initialisations need two uninitialisations";
    EXPECT_EQ(nullptr, object);
    TestFactory factory;
    DWORD cookie = 7;
    EXPECT_HR(CO_E_NOTINITIALIZED, CoRegisterClassObject(kTestClass, &factory, CLSCTX_INPROC_SERVER,
                                                         REGCLS_MULTIPLEUSE, &cookie));
    EXPECT_EQ(7u, cookie) << "the cookie is left alone";
    EXPECT_EQ(1u, factory.References());
    EXPECT_HR(CO_E_NOTINITIALIZED, CoRevokeClassObject(1));
    ComApartment com;
    EXPECT_HR(E_INVALIDARG, CoRevokeClassObject(0xFFFFu)) << "an unknown cookie";
    EXPECT_HR(E_INVALIDARG, CoRegisterClassObject(kTestClass, nullptr, CLSCTX_INPROC_SERVER,
                                                  REGCLS_MULTIPLEUSE, &cookie));
}

TEST(ComApartments, ARegistrationServesOnlyItsApartment) {
    const DWORD sta = COINIT_APARTMENTTHREADED;
    const DWORD mta = COINIT_MULTITHREADED;
    const Reach rows[] = {
        {"thread without COM", sta, Apartment::None, CO_E_NOTINITIALIZED, CO_E_NOTINITIALIZED},
        {"multithreaded thread", sta, Apartment::Multithreaded, REGDB_E_CLASSNOTREG,
         RPC_E_WRONG_THREAD},
        {"another single-threaded apartment", sta, Apartment::SingleThreaded, REGDB_E_CLASSNOTREG,
         RPC_E_WRONG_THREAD},
        {"another multithreaded thread", mta, Apartment::Multithreaded, S_OK, S_OK},
        {"thread without COM, joining the multithreaded one", mta, Apartment::None, S_OK, S_OK},
        {"single-threaded apartment", mta, Apartment::SingleThreaded, REGDB_E_CLASSNOTREG,
         RPC_E_WRONG_THREAD},
    };
    for (const Reach& row : rows) {
        CheckReach(row);
    }
}

TEST(ComApartments, TearingDownAnApartmentRevokesItsRegistrations) {
    for (DWORD model : {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
        SCOPED_TRACE(model);
        TestFactory factory;
        DWORD cookie = 0;
        ASSERT_HR(S_OK, CoInitializeEx(nullptr, model));
        ASSERT_HR(S_OK, CoRegisterClassObject(kTestClass, &factory, CLSCTX_INPROC_SERVER,
                                              REGCLS_MULTIPLEUSE, &cookie));
        // Another thread joining and leaving the multithreaded apartment does not tear it down.
        OnThread(Apartment::Multithreaded, [] {});
        EXPECT_HR(S_OK, Create());
        CoUninitialize();
        EXPECT_EQ(1u, factory.References()) << "the table let go of the class object";

        ComApartment again(model);
        EXPECT_HR(REGDB_E_CLASSNOTREG, Create());
        EXPECT_HR(E_INVALIDARG, CoRevokeClassObject(cookie)) << "the cookie is gone";
    }
}

TEST(ComApartments, UnimplementedRegistrationFlagsAreRefused) {
    if (vextest::RunningUnderWine()) {
        GTEST_SKIP() << "Wine accepts single-use, local-server, separate-apartment, suspended, "
                        "surrogate and agile registrations; the platform layer refuses them";
    }
    ComApartment com;
    TestFactory factory;
    const std::pair<DWORD, DWORD> kinds[] = {{CLSCTX_INPROC_SERVER, REGCLS_SINGLEUSE},
                                             {CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE},
                                             {CLSCTX_INPROC_SERVER, 0x2u},
                                             {CLSCTX_INPROC_SERVER, 0x4u | REGCLS_MULTIPLEUSE},
                                             {CLSCTX_INPROC_SERVER, 0x8u},
                                             {CLSCTX_INPROC_SERVER, 0x10u | REGCLS_MULTIPLEUSE}};
    for (const auto& [context, flags] : kinds) {
        DWORD cookie = 7;
        EXPECT_HR(E_INVALIDARG,
                  CoRegisterClassObject(kTestClass, &factory, context, flags, &cookie))
            << context << " " << flags;
        EXPECT_EQ(0u, cookie);
    }
    EXPECT_EQ(1u, factory.References());
}
