#pragma once
// IDispatch by hand: each object declares its members in a small table (name, DISPID, what kind
// of access) and answers Invoke with the arguments in declared order. Failures raised while
// answering become the HRESULTs a late-bound client expects.

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <vector>

namespace quorvel::cadhost::standin {

// Raised by a member: DISP_E_TYPEMISMATCH / DISP_E_BADPARAMCOUNT for its arguments.
struct ArgumentFailure {
    HRESULT result;
    UINT argument;  // index in declared order
};

// Raised by a member this particular object lacks (a text member of a line, say).
struct MemberMissing {};

enum Access : unsigned { kMethod = 1, kGet = 2, kPut = 4 };

struct Member {
    const wchar_t* name;
    DISPID id;
    unsigned access;
};

// The arguments of one call, in declared order, with typed reads.
class Arguments {
public:
    explicit Arguments(const DISPPARAMS& parameters);

    std::size_t count() const { return values_.size(); }
    bool present(std::size_t index) const;  // given and not a missing optional
    std::u16string text(std::size_t index) const;
    std::int32_t int32(std::size_t index) const;
    double real(std::size_t index) const;
    bool boolean(std::size_t index) const;
    const VARIANT& raw(std::size_t index) const;  // by-reference values followed
    void requireCount(std::size_t minimum, std::size_t maximum) const;

private:
    std::vector<const VARIANT*> values_;
};

class DispatchBase : public IDispatch {
public:
    DispatchBase() = default;
    virtual ~DispatchBase() = default;
    DispatchBase(const DispatchBase&) = delete;
    DispatchBase& operator=(const DispatchBase&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

protected:
    // The members this object has now (the older generation has fewer).
    virtual std::vector<Member> members() const = 0;
    // Answers one access; `result` may be null when the caller wants none. Raises HostFailure
    // or dxf::DxfError for the host's own failures, ArgumentFailure for bad arguments.
    virtual void invokeMember(DISPID id, unsigned access, const Arguments& arguments,
                              VARIANT& result) = 0;
    // Called after every call, successful or not.
    virtual void afterCall() {}

private:
    LONG references_ = 1;
};

// Result helpers.
void setText(VARIANT& result, const std::string& utf8);
void setObject(VARIANT& result, DispatchBase* object);  // takes over the new object's reference
void setInt32(VARIANT& result, std::int32_t value);
void setBool(VARIANT& result, bool value);
void setReal(VARIANT& result, double value);
void setInt16(VARIANT& result, std::int16_t value);
// A point as the object model gives one: VT_ARRAY | VT_R8 of x, y, z.
void setPoint(VARIANT& result, double x, double y, double z);
// For Each over a collection (DISPID_NEWENUM): an IEnumVARIANT over these items, whose
// references it takes over.
void setEnumerator(VARIANT& result, const std::vector<DispatchBase*>& items);

}  // namespace quorvel::cadhost::standin
