#include "platform/windows/comobject.h"

#include <atomic>
#include <utility>

namespace quorvel::platform::windows {

namespace {

constexpr std::int32_t kErrorTypeMismatch = 13;
constexpr DWORD kRetryPauseMilliseconds = 200;

std::atomic<long long> busyLimitMilliseconds{60'000};

// Waits before a rejected call is tried again; windows keep being painted meanwhile, but no
// input is taken, so nothing the user does can start another call in between.
void pauseBeforeRetry() {
    const ULONGLONG end = GetTickCount64() + kRetryPauseMilliseconds;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_PAINT);
        MSG message;
        while (PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
}

// Makes the call until it is not rejected as busy or the busy limit has passed since the first try.
template <typename Call>
HRESULT ridingOutBusyHost(Call&& call) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const HRESULT result = call();
        const auto waited = static_cast<long long>(GetTickCount64() - start);
        if (!isBusyRejection(result) || waited >= busyLimitMilliseconds.load()) {
            return result;
        }
        pauseBeforeRetry();
    }
}

BSTR allocText(const std::u16string& text) {
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                             static_cast<UINT>(text.size()));
}

std::u16string fromBstr(BSTR text) {
    if (text == nullptr) {
        return {};
    }
    return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

[[noreturn]] void typeMismatch() {
    throw engine::AutomationError(kErrorTypeMismatch, u"类型不匹配");
}

// The value converted to `type`, or a type mismatch.
Variant converted(const Variant& value, VARTYPE type) {
    Variant result;
    if (FAILED(VariantChangeType(result.get(), const_cast<VARIANT*>(value.get()), 0, type))) {
        typeMismatch();
    }
    return result;
}

}  // namespace

Variant::Variant(const Variant& other) {
    VariantInit(&value_);
    VariantCopy(&value_, const_cast<VARIANT*>(&other.value_));
}

Variant& Variant::operator=(const Variant& other) {
    if (this != &other) {
        VariantClear(&value_);
        VariantCopy(&value_, const_cast<VARIANT*>(&other.value_));
    }
    return *this;
}

Variant::Variant(Variant&& other) noexcept {
    value_ = other.value_;
    VariantInit(&other.value_);
}

Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        VariantClear(&value_);
        value_ = other.value_;
        VariantInit(&other.value_);
    }
    return *this;
}

Variant Variant::text(const std::u16string& text) {
    Variant v;
    v.value_.vt = VT_BSTR;
    v.value_.bstrVal = allocText(text);
    return v;
}

Variant Variant::boolean(bool value) {
    Variant v;
    v.value_.vt = VT_BOOL;
    v.value_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

Variant Variant::int16(std::int16_t value) {
    Variant v;
    v.value_.vt = VT_I2;
    v.value_.iVal = value;
    return v;
}

Variant Variant::int32(std::int32_t value) {
    Variant v;
    v.value_.vt = VT_I4;
    v.value_.lVal = value;
    return v;
}

Variant Variant::real(double value) {
    Variant v;
    v.value_.vt = VT_R8;
    v.value_.dblVal = value;
    return v;
}

Variant Variant::missing() {
    Variant v;
    v.value_.vt = VT_ERROR;
    v.value_.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

Variant Variant::int16Array(const std::vector<std::int16_t>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(values.size()));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        SHORT value = values[static_cast<std::size_t>(i)];
        SafeArrayPutElement(array, &i, &value);
    }
    Variant v;
    v.value_.vt = VT_ARRAY | VT_I2;
    v.value_.parray = array;
    return v;
}

Variant Variant::variantArray(const std::vector<engine::FilterValue>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        Variant element = std::visit(
            [](const auto& value) {
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, std::u16string>) {
                    return Variant::text(value);
                } else if constexpr (std::is_same_v<T, std::int16_t>) {
                    return Variant::int16(value);
                } else if constexpr (std::is_same_v<T, std::int32_t>) {
                    return Variant::int32(value);
                } else {
                    return Variant::real(value);
                }
            },
            values[static_cast<std::size_t>(i)]);
        SafeArrayPutElement(array, &i, element.get());  // copies the element
    }
    Variant v;
    v.value_.vt = VT_ARRAY | VT_VARIANT;
    v.value_.parray = array;
    return v;
}

std::u16string Variant::toText() const {
    if (value_.vt == VT_BSTR) {
        return fromBstr(value_.bstrVal);
    }
    return fromBstr(converted(*this, VT_BSTR).value_.bstrVal);
}

std::int32_t Variant::toInt32() const {
    return converted(*this, VT_I4).value_.lVal;
}

bool Variant::toBool() const {
    return converted(*this, VT_BOOL).value_.boolVal != VARIANT_FALSE;
}

double Variant::toReal() const {
    return converted(*this, VT_R8).value_.dblVal;
}

ComObject::ComObject(IDispatch* dispatch) : dispatch_(dispatch) {}

ComObject::~ComObject() {
    if (dispatch_ != nullptr) {
        dispatch_->Release();
    }
}

ComObject::ComObject(const ComObject& other) : dispatch_(other.dispatch_) {
    if (dispatch_ != nullptr) {
        dispatch_->AddRef();
    }
}

ComObject& ComObject::operator=(const ComObject& other) {
    if (other.dispatch_ != nullptr) {
        other.dispatch_->AddRef();
    }
    if (dispatch_ != nullptr) {
        dispatch_->Release();
    }
    dispatch_ = other.dispatch_;
    return *this;
}

ComObject ComObject::fromVariant(const Variant& value) {
    const VARIANT* v = value.get();
    if (v->vt == VT_DISPATCH && v->pdispVal != nullptr) {
        v->pdispVal->AddRef();
        return ComObject(v->pdispVal);
    }
    if (v->vt == VT_UNKNOWN && v->punkVal != nullptr) {
        IDispatch* dispatch = nullptr;
        if (SUCCEEDED(
                v->punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
            return ComObject(dispatch);
        }
    }
    if (v->vt == VT_DISPATCH || v->vt == VT_EMPTY) {
        throw engine::AutomationError(engine::kErrorObjectNotSet, u"对象变量未设置");
    }
    typeMismatch();
}

Variant ComObject::get(const wchar_t* name) const {
    std::vector<Variant> none;
    return invoke(name, DISPATCH_PROPERTYGET, none);
}

void ComObject::put(const wchar_t* name, const Variant& value) const {
    std::vector<Variant> arguments{value};
    invoke(name, DISPATCH_PROPERTYPUT, arguments);
}

Variant ComObject::call(const wchar_t* name, std::vector<Variant> arguments) const {
    return invoke(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, arguments);
}

Variant ComObject::invoke(const wchar_t* name, WORD flags, std::vector<Variant>& arguments) const {
    if (dispatch_ == nullptr) {
        throw engine::AutomationError(engine::kErrorObjectNotSet, u"对象变量未设置");
    }
    DISPID member = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT result = ridingOutBusyHost(
        [&] { return dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member); });
    if (FAILED(result)) {
        throw callFailure(result, nullptr);
    }
    // IDispatch takes the arguments last to first.
    std::vector<VARIANT> reversed;
    reversed.reserve(arguments.size());
    for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) {
        reversed.push_back(*it->get());  // shallow: the Variants keep ownership
    }
    DISPID namedPut = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{};
    parameters.rgvarg = reversed.empty() ? nullptr : reversed.data();
    parameters.cArgs = static_cast<UINT>(reversed.size());
    if (flags == DISPATCH_PROPERTYPUT) {
        parameters.rgdispidNamedArgs = &namedPut;
        parameters.cNamedArgs = 1;
    }
    return invokeId(member, flags, parameters);
}

Variant ComObject::invokeId(DISPID member, WORD flags, DISPPARAMS& parameters) const {
    Variant answer;
    EXCEPINFO exception{};
    const HRESULT result = ridingOutBusyHost([&] {
        VariantClear(answer.get());
        UINT badArgument = 0;
        return dispatch_->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                                 answer.get(), &exception, &badArgument);
    });
    if (FAILED(result)) {
        const engine::AutomationError failure =
            callFailure(result, result == DISP_E_EXCEPTION ? &exception : nullptr);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        throw failure;
    }
    return answer;
}

std::vector<Variant> ComObject::items() const {
    if (dispatch_ == nullptr) {
        throw engine::AutomationError(engine::kErrorObjectNotSet, u"对象变量未设置");
    }
    DISPPARAMS none{};
    const Variant enumerator =
        invokeId(DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, none);
    IUnknown* unknown = enumerator.type() == VT_UNKNOWN    ? enumerator.get()->punkVal
                        : enumerator.type() == VT_DISPATCH ? enumerator.get()->pdispVal
                                                           : nullptr;
    IEnumVARIANT* items = nullptr;
    if (unknown == nullptr ||
        FAILED(unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items)))) {
        typeMismatch();
    }
    std::vector<Variant> found;
    for (;;) {
        Variant item;
        ULONG fetched = 0;
        const HRESULT result =
            ridingOutBusyHost([&] { return items->Next(1, item.get(), &fetched); });
        if (result != S_OK || fetched != 1) {
            items->Release();
            if (FAILED(result)) {
                throw callFailure(result, nullptr);
            }
            return found;
        }
        found.push_back(std::move(item));
    }
}

std::chrono::milliseconds busyHostLimit() {
    return std::chrono::milliseconds(busyLimitMilliseconds.load());
}

void setBusyHostLimit(std::chrono::milliseconds limit) {
    busyLimitMilliseconds.store(limit.count());
}

bool isBusyRejection(HRESULT result) {
    return result == RPC_E_CALL_REJECTED || result == RPC_E_SERVERCALL_RETRYLATER;
}

std::u16string systemMessage(HRESULT result) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::u16string message(reinterpret_cast<const char16_t*>(text), length);
    LocalFree(text);
    while (!message.empty() &&
           (message.back() == u'\n' || message.back() == u'\r' || message.back() == u' ')) {
        message.pop_back();
    }
    if (message.empty()) {
        char digits[16];
        snprintf(digits, sizeof digits, "%08lX", static_cast<unsigned long>(result));
        message = u"自动化错误 0x";
        message.append(digits, digits + 8);
    }
    return message;
}

engine::AutomationError callFailure(HRESULT result, const EXCEPINFO* exception) {
    if (isBusyRejection(result)) {
        const std::string seconds = std::to_string(busyHostLimit().count() / 1000);
        return engine::AutomationError(
            engine::kErrorHostBusy, u"CAD 主机一直拒绝调用（正忙），已重试 " +
                                        std::u16string(seconds.begin(), seconds.end()) + u" 秒。");
    }
    if (result == DISP_E_MEMBERNOTFOUND || result == DISP_E_UNKNOWNNAME) {
        return engine::AutomationError(engine::kErrorMemberNotSupported, u"对象不支持该属性或方法");
    }
    if (exception != nullptr) {
        EXCEPINFO filled = *exception;
        if (filled.pfnDeferredFillIn != nullptr) {
            filled.pfnDeferredFillIn(&filled);
        }
        if (filled.bstrDescription != nullptr && SysStringLen(filled.bstrDescription) > 0) {
            return engine::AutomationError(engine::kErrorAutomation,
                                           fromBstr(filled.bstrDescription));
        }
        const HRESULT code = filled.scode != 0 ? filled.scode : result;
        return engine::AutomationError(engine::kErrorAutomation, systemMessage(code));
    }
    if (result == DISP_E_TYPEMISMATCH) {
        return engine::AutomationError(kErrorTypeMismatch, u"类型不匹配");
    }
    return engine::AutomationError(engine::kErrorAutomation, systemMessage(result));
}

}  // namespace quorvel::platform::windows
