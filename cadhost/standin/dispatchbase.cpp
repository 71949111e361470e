#include "cadhost/standin/dispatchbase.h"

#include <algorithm>
#include <exception>

#include "cadhost/standin/standinhost.h"
#include "dxf/drawing.h"
#include "engine/textutil.h"

namespace quorvel::cadhost::standin {

namespace {

bool sameName(const wchar_t* a, const wchar_t* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// The failure as a late-bound client sees it: source and description in EXCEPINFO.
HRESULT raise(EXCEPINFO* exception, const std::string& description) {
    if (exception != nullptr) {
        *exception = EXCEPINFO{};
        exception->bstrSource = SysAllocString(L"AutoCAD.Application");
        const std::u16string text = engine::fromUtf8(description);
        exception->bstrDescription = SysAllocStringLen(
            reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
        exception->scode = E_FAIL;
    }
    return DISP_E_EXCEPTION;
}

}  // namespace

Arguments::Arguments(const DISPPARAMS& parameters) {
    // Positional arguments arrive last to first; a property put's value is the named one.
    for (UINT i = parameters.cArgs; i > parameters.cNamedArgs; --i) {
        values_.push_back(&parameters.rgvarg[i - 1]);
    }
    if (parameters.cNamedArgs == 1) {
        values_.push_back(&parameters.rgvarg[0]);
    }
}

const VARIANT& Arguments::raw(std::size_t index) const {
    const VARIANT* value = values_.at(index);
    while (value->vt == (VT_BYREF | VT_VARIANT)) {
        value = value->pvarVal;
    }
    return *value;
}

bool Arguments::present(std::size_t index) const {
    if (index >= values_.size()) {
        return false;
    }
    const VARIANT& value = raw(index);
    return !(value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND);
}

void Arguments::requireCount(std::size_t minimum, std::size_t maximum) const {
    if (values_.size() < minimum || values_.size() > maximum) {
        throw ArgumentFailure{DISP_E_BADPARAMCOUNT, 0};
    }
    for (std::size_t i = 0; i < minimum; ++i) {
        if (!present(i)) {
            throw ArgumentFailure{DISP_E_PARAMNOTOPTIONAL, static_cast<UINT>(i)};
        }
    }
}

namespace {

VARIANT convertedArgument(const VARIANT& value, VARTYPE type, std::size_t index) {
    VARIANT out;
    VariantInit(&out);
    if ((value.vt & VT_ARRAY) != 0 ||
        FAILED(VariantChangeType(&out, const_cast<VARIANT*>(&value), 0, type))) {
        throw ArgumentFailure{DISP_E_TYPEMISMATCH, static_cast<UINT>(index)};
    }
    return out;
}

}  // namespace

std::u16string Arguments::text(std::size_t index) const {
    VARIANT value = convertedArgument(raw(index), VT_BSTR, index);
    std::u16string text(reinterpret_cast<const char16_t*>(value.bstrVal),
                        SysStringLen(value.bstrVal));
    VariantClear(&value);
    return text;
}

std::int32_t Arguments::int32(std::size_t index) const {
    return convertedArgument(raw(index), VT_I4, index).lVal;
}

double Arguments::real(std::size_t index) const {
    return convertedArgument(raw(index), VT_R8, index).dblVal;
}

bool Arguments::boolean(std::size_t index) const {
    return convertedArgument(raw(index), VT_BOOL, index).boolVal != VARIANT_FALSE;
}

HRESULT DispatchBase::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG DispatchBase::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG DispatchBase::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) {
        delete this;
    }
    return static_cast<ULONG>(left);
}

HRESULT DispatchBase::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT DispatchBase::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr) {
        *info = nullptr;
    }
    return DISP_E_BADINDEX;
}

HRESULT DispatchBase::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (names == nullptr || ids == nullptr || count == 0) {
        return E_INVALIDARG;
    }
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
    }
    for (const Member& member : members()) {
        if (sameName(member.name, names[0])) {
            ids[0] = member.id;
            // Named arguments are not supported.
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    return DISP_E_UNKNOWNNAME;
}

HRESULT DispatchBase::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                             VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
    const Member* found = nullptr;
    const auto table = members();
    for (const Member& member : table) {
        if (member.id == id) {
            found = &member;
        }
    }
    if (found == nullptr || parameters == nullptr) {
        return DISP_E_MEMBERNOTFOUND;
    }
    // A method call that a script writes like a property read is either.
    unsigned access = 0;
    if ((flags & DISPATCH_METHOD) != 0 && (found->access & kMethod) != 0) {
        access = kMethod;
    } else if ((flags & DISPATCH_PROPERTYGET) != 0 && (found->access & kGet) != 0) {
        access = kGet;
    } else if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0 &&
               (found->access & kPut) != 0) {
        access = kPut;
        if (parameters->cNamedArgs != 1 || parameters->rgdispidNamedArgs == nullptr ||
            parameters->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
            return DISP_E_PARAMNOTOPTIONAL;
        }
    } else {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (access != kPut && parameters->cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }
    VARIANT answer;
    VariantInit(&answer);
    HRESULT outcome = S_OK;
    try {
        invokeMember(id, access, Arguments(*parameters), answer);
    } catch (const ArgumentFailure& failure) {
        if (argumentError != nullptr) {
            // The index counts from the last argument, as DISPPARAMS holds them.
            *argumentError = parameters->cArgs - 1 - failure.argument;
        }
        outcome = failure.result;
    } catch (const MemberMissing&) {
        outcome = DISP_E_MEMBERNOTFOUND;
    } catch (const core::HostError& failure) {
        outcome = raise(exception, failure.what());
    } catch (const dxf::DxfError& failure) {
        outcome = raise(exception, failure.what());
    } catch (const std::bad_alloc&) {
        outcome = E_OUTOFMEMORY;
    } catch (const std::exception& failure) {
        outcome = raise(exception, failure.what());
    }
    afterCall();
    if (FAILED(outcome)) {
        VariantClear(&answer);
        return outcome;
    }
    if (result != nullptr) {
        *result = answer;
    } else {
        VariantClear(&answer);
    }
    return S_OK;
}

void setText(VARIANT& result, const std::string& utf8) {
    const std::u16string text = engine::fromUtf8(utf8);
    result.vt = VT_BSTR;
    result.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                       static_cast<UINT>(text.size()));
}

void setObject(VARIANT& result, DispatchBase* object) {
    result.vt = VT_DISPATCH;
    result.pdispVal = object;
}

void setInt32(VARIANT& result, std::int32_t value) {
    result.vt = VT_I4;
    result.lVal = value;
}

void setBool(VARIANT& result, bool value) {
    result.vt = VT_BOOL;
    result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void setReal(VARIANT& result, double value) {
    result.vt = VT_R8;
    result.dblVal = value;
}

void setInt16(VARIANT& result, std::int16_t value) {
    result.vt = VT_I2;
    result.iVal = value;
}

void setPoint(VARIANT& result, double x, double y, double z) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, 3);
    double coordinates[3] = {x, y, z};
    for (LONG i = 0; i < 3; ++i) {
        SafeArrayPutElement(array, &i, &coordinates[i]);
    }
    result.vt = VT_ARRAY | VT_R8;
    result.parray = array;
}

namespace {

// A snapshot of a collection's items, handed out one by one.
class ItemEnumerator final : public IEnumVARIANT {
public:
    explicit ItemEnumerator(std::vector<IDispatch*> items) : items_(std::move(items)) {}
    ~ItemEnumerator() {
        for (IDispatch* item : items_) {
            item->Release();
        }
    }
    ItemEnumerator(const ItemEnumerator&) = delete;
    ItemEnumerator& operator=(const ItemEnumerator&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumVARIANT)) {
            *object = static_cast<IEnumVARIANT*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            delete this;
        }
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, VARIANT* out, ULONG* fetched) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        ULONG given = 0;
        for (; given < wanted && next_ < items_.size(); ++given, ++next_) {
            VariantInit(&out[given]);
            items_[next_]->AddRef();
            out[given].vt = VT_DISPATCH;
            out[given].pdispVal = items_[next_];
        }
        if (fetched != nullptr) {
            *fetched = given;
        }
        return given == wanted ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        const std::size_t left = items_.size() - next_;
        next_ += std::min<std::size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override {
        if (copy == nullptr) {
            return E_POINTER;
        }
        for (IDispatch* item : items_) {
            item->AddRef();
        }
        auto* clone = new ItemEnumerator(items_);
        clone->next_ = next_;
        *copy = clone;
        return S_OK;
    }

private:
    std::vector<IDispatch*> items_;
    std::size_t next_ = 0;
    LONG references_ = 1;
};

}  // namespace

void setEnumerator(VARIANT& result, const std::vector<DispatchBase*>& items) {
    result.vt = VT_UNKNOWN;
    result.punkVal = new ItemEnumerator(std::vector<IDispatch*>(items.begin(), items.end()));
}

}  // namespace quorvel::cadhost::standin
