#pragma once
// A COM object that lives as long as the process (a message filter, a class factory): it answers
// for IUnknown and one interface, and its reference count counts nothing.

#include <windows.h>

namespace quorvel::platform::windows {

template <class Interface, const IID& kInterfaceId>
class ProcessComObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kInterfaceId)) {
            *object = static_cast<Interface*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

}  // namespace quorvel::platform::windows
