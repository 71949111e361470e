#pragma once
// Late-bound calls on an automation object through IDispatch, the way a script client makes them:
// names looked up with GetIDsOfNames, arguments as VARIANTs. Failures become AutomationError:
// an unknown member is error 438, anything else carries the server's description.

#include <windows.h>

#include <oleauto.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/automation.h"

namespace quorvel::platform::windows {

// Owns one VARIANT.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant& other);
    Variant& operator=(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(Variant&& other) noexcept;

    static Variant text(const std::u16string& text);
    static Variant boolean(bool value);
    static Variant int16(std::int16_t value);
    static Variant int32(std::int32_t value);
    static Variant real(double value);
    // An optional argument left out.
    static Variant missing();
    // VT_ARRAY | VT_I2
    static Variant int16Array(const std::vector<std::int16_t>& values);
    // VT_ARRAY | VT_VARIANT, each element a text or a number.
    static Variant variantArray(const std::vector<engine::FilterValue>& values);

    VARIANT* get() { return &value_; }
    const VARIANT* get() const { return &value_; }
    VARTYPE type() const { return value_.vt; }

    // Converted as a script would; raise AutomationError (type mismatch) otherwise.
    std::u16string toText() const;
    std::int32_t toInt32() const;
    bool toBool() const;
    double toReal() const;

private:
    VARIANT value_;
};

// A reference to an IDispatch, with the late-bound calls.
class ComObject {
public:
    ComObject() = default;
    explicit ComObject(IDispatch* dispatch);  // takes a new reference
    ~ComObject();
    ComObject(const ComObject& other);
    ComObject& operator=(const ComObject& other);

    static ComObject fromVariant(const Variant& value);  // raises unless an object

    bool isSet() const { return dispatch_ != nullptr; }
    IDispatch* dispatch() const { return dispatch_; }

    Variant get(const wchar_t* name) const;
    void put(const wchar_t* name, const Variant& value) const;
    // Arguments in the order the member declares them.
    Variant call(const wchar_t* name, std::vector<Variant> arguments = {}) const;
    ComObject object(const wchar_t* name) const { return fromVariant(get(name)); }
    // The items of a collection as a For Each sees them (DISPID_NEWENUM, IEnumVARIANT).
    std::vector<Variant> items() const;

private:
    Variant invoke(const wchar_t* name, WORD flags, std::vector<Variant>& arguments) const;
    Variant invokeId(DISPID member, WORD flags, DISPPARAMS& parameters) const;

    IDispatch* dispatch_ = nullptr;
};

// How long a call a busy host rejects (RPC_E_CALL_REJECTED, RPC_E_SERVERCALL_RETRYLATER) is
// tried again before it fails with engine::kErrorHostBusy. One setting for the process, used by
// the calls and by the message filter alike.
std::chrono::milliseconds busyHostLimit();
void setBusyHostLimit(std::chrono::milliseconds limit);
bool isBusyRejection(HRESULT result);

// The message of an HRESULT in the user's language, without the trailing line break.
std::u16string systemMessage(HRESULT result);

// The AutomationError a failed call of a member raises.
engine::AutomationError callFailure(HRESULT result, const EXCEPINFO* exception);

}  // namespace quorvel::platform::windows
