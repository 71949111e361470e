#include "platform/windows/comautomation.h"

#include <objbase.h>

#include "platform/windows/comobject.h"
#include "platform/windows/processcomobject.h"

namespace quorvel::platform::windows {

namespace {

using engine::AutomationError;

constexpr char16_t kCannotCreate[] = u"ActiveX 部件不能创建对象";

std::wstring wide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

// Every wrapper holds the object it stands for.
class ComHeld {
protected:
    explicit ComHeld(ComObject object) : object_(std::move(object)) {}
    ComObject object_;
};

class ComPlainObject final : public engine::AutomationObject, ComHeld {
public:
    explicit ComPlainObject(ComObject object) : ComHeld(std::move(object)) {}
};

class ComTextEntity final : public engine::TextEntity, ComHeld {
public:
    explicit ComTextEntity(ComObject object) : ComHeld(std::move(object)) {}

    std::u16string TextString() override { return object_.get(L"TextString").toText(); }
    void setTextString(const std::u16string& text) override {
        object_.put(L"TextString", Variant::text(text));
    }
    std::shared_ptr<engine::TextEntity> Copy() override {
        return std::make_shared<ComTextEntity>(ComObject::fromVariant(object_.call(L"Copy")));
    }
    // Newer hosts document Delete for entities and keep Erase for selection sets only.
    void erase() override {
        try {
            object_.call(L"Erase");
        } catch (const AutomationError& failure) {
            if (failure.number() != engine::kErrorMemberNotSupported) {
                throw;
            }
            object_.call(L"Delete");
        }
    }
    void setHeight(double height) override { object_.put(L"Height", Variant::real(height)); }
};

class ComSelectionSet final : public engine::SelectionSet, ComHeld {
public:
    explicit ComSelectionSet(ComObject object) : ComHeld(std::move(object)) {}

    void Select(std::int32_t mode, const std::optional<engine::Point3>& corner1,
                const std::optional<engine::Point3>& corner2,
                const std::vector<std::int16_t>& filterTypes,
                const std::vector<engine::FilterValue>& filterValues) override {
        if (corner1 || corner2) {
            // The runs always leave the corners out; a point would be a VT_ARRAY | VT_R8.
            throw AutomationError(engine::kErrorInvalidCall, u"无效的过程调用或参数");
        }
        object_.call(L"Select",
                     {Variant::int32(mode), Variant::missing(), Variant::missing(),
                      Variant::int16Array(filterTypes), Variant::variantArray(filterValues)});
    }

    // As a For Each over the set: every item by its index.
    std::vector<std::shared_ptr<engine::TextEntity>> entities() override {
        const std::int32_t count = object_.get(L"Count").toInt32();
        std::vector<std::shared_ptr<engine::TextEntity>> items;
        items.reserve(static_cast<std::size_t>(std::max(count, 0)));
        for (std::int32_t i = 0; i < count; ++i) {
            items.push_back(std::make_shared<ComTextEntity>(
                ComObject::fromVariant(object_.call(L"Item", {Variant::int32(i)}))));
        }
        return items;
    }
};

class ComSelectionSets final : public engine::SelectionSets, ComHeld {
public:
    explicit ComSelectionSets(ComObject object) : ComHeld(std::move(object)) {}

    std::shared_ptr<engine::SelectionSet> Add(const std::u16string& name) override {
        return std::make_shared<ComSelectionSet>(
            ComObject::fromVariant(object_.call(L"Add", {Variant::text(name)})));
    }
};

class ComDocument final : public engine::Document, ComHeld {
public:
    explicit ComDocument(ComObject object) : ComHeld(std::move(object)) {}

    std::shared_ptr<engine::Document> Open(const std::u16string& path) override {
        return std::make_shared<ComDocument>(
            ComObject::fromVariant(object_.call(L"Open", {Variant::text(path)})));
    }
    std::shared_ptr<engine::AutomationObject> ModelSpace() override {
        return std::make_shared<ComPlainObject>(object_.object(L"ModelSpace"));
    }
    std::shared_ptr<engine::AutomationObject> PaperSpace() override {
        return std::make_shared<ComPlainObject>(object_.object(L"PaperSpace"));
    }
    std::shared_ptr<engine::AutomationObject> Utility() override {
        return std::make_shared<ComPlainObject>(object_.object(L"Utility"));
    }
    void SendCommand(const std::u16string& text) override {
        object_.call(L"SendCommand", {Variant::text(text)});
    }
    std::shared_ptr<engine::SelectionSets> SelectionSets() override {
        return std::make_shared<ComSelectionSets>(object_.object(L"SelectionSets"));
    }
    void Close(bool saveChanges) override {
        object_.call(L"Close", {Variant::boolean(saveChanges)});
    }
    std::u16string FullName() override { return object_.get(L"FullName").toText(); }
    bool Saved() override { return object_.get(L"Saved").toBool(); }
};

class ComDocuments final : public engine::Documents, ComHeld {
public:
    explicit ComDocuments(ComObject object) : ComHeld(std::move(object)) {}

    std::shared_ptr<engine::Document> Add(const std::u16string& templatePath) override {
        return std::make_shared<ComDocument>(
            ComObject::fromVariant(object_.call(L"Add", {Variant::text(templatePath)})));
    }
    std::shared_ptr<engine::Document> Open(const std::u16string& path) override {
        return std::make_shared<ComDocument>(
            ComObject::fromVariant(object_.call(L"Open", {Variant::text(path)})));
    }
    std::vector<std::shared_ptr<engine::Document>> items() override {
        std::vector<std::shared_ptr<engine::Document>> documents;
        for (const Variant& item : object_.items()) {
            documents.push_back(std::make_shared<ComDocument>(ComObject::fromVariant(item)));
        }
        return documents;
    }
};

class ComApplication final : public engine::Application, ComHeld {
public:
    explicit ComApplication(ComObject object) : ComHeld(std::move(object)) {}

    void setVisible(bool visible) override { object_.put(L"Visible", Variant::boolean(visible)); }
    std::u16string Caption() override { return object_.get(L"Caption").toText(); }
    std::u16string FullName() override { return object_.get(L"FullName").toText(); }
    std::shared_ptr<engine::Document> ActiveDocument() override {
        return std::make_shared<ComDocument>(object_.object(L"ActiveDocument"));
    }
    std::shared_ptr<engine::Documents> Documents() override {
        return std::make_shared<ComDocuments>(object_.object(L"Documents"));
    }
};

CLSID classOf(const std::u16string& progId) {
    CLSID id{};
    if (FAILED(CLSIDFromProgID(wide(progId).c_str(), &id))) {
        throw AutomationError(kErrorCannotCreateObject, kCannotCreate);
    }
    return id;
}

std::shared_ptr<engine::Application> applicationFrom(IUnknown* unknown) {
    IDispatch* dispatch = nullptr;
    const HRESULT result =
        unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    unknown->Release();
    if (FAILED(result)) {
        throw AutomationError(kErrorCannotCreateObject, kCannotCreate);
    }
    return std::make_shared<ComApplication>(ComObject(dispatch));
}

// A busy host rejects calls, above all while it starts and right after a command. COM asks this
// filter what to do with a rejected call: try again shortly, until the busy limit has passed.
// One filter for the life of the process.
class BusyHostFilter final : public ProcessComObject<IMessageFilter, IID_IMessageFilter> {
public:
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD waited, DWORD rejectType) override {
        constexpr DWORD kRetryAfterMilliseconds = 200;
        constexpr DWORD kCancel = static_cast<DWORD>(-1);
        if (rejectType != SERVERCALL_RETRYLATER && rejectType != SERVERCALL_REJECTED) {
            return kCancel;
        }
        return waited < static_cast<DWORD>(busyHostLimit().count()) ? kRetryAfterMilliseconds
                                                                    : kCancel;
    }
    // Windows keep being painted while a call waits for its answer.
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }
};

BusyHostFilter busyHostFilter;

}  // namespace

ComApartment::ComApartment()
    : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    if (initialized_) {
        CoRegisterMessageFilter(&busyHostFilter, nullptr);
    }
}

ComApartment::~ComApartment() {
    if (initialized_) {
        CoRegisterMessageFilter(nullptr, nullptr);
        CoUninitialize();
    }
}

namespace {

std::u16string trimmed(std::u16string text) {
    const auto first = text.find_first_not_of(u' ');
    return first == std::u16string::npos
               ? std::u16string()
               : text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

}  // namespace

std::u16string hostProgIdSetting() {
    wchar_t value[256] = {};
    const DWORD length = GetEnvironmentVariableW(L"QUORVEL_PROGID", value, 256);
    if (length > 0 && length < 256) {
        return trimmed(std::u16string(value, value + length));
    }
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Quorvel", L"ProgID", RRF_RT_REG_SZ, nullptr,
                     value, &size) == ERROR_SUCCESS) {
        return trimmed(std::u16string(value, value + wcsnlen(value, 255)));
    }
    return {};
}

ComHostConnector::ComHostConnector(std::u16string progId) : progId_(std::move(progId)) {}

const std::u16string& ComHostConnector::chosen(const std::u16string& progId) const {
    return progId_.empty() ? progId : progId_;
}

std::shared_ptr<engine::Application> ComHostConnector::attachRunning(const std::u16string& progId) {
    const CLSID id = classOf(chosen(progId));
    IUnknown* unknown = nullptr;
    if (FAILED(GetActiveObject(id, nullptr, &unknown)) || unknown == nullptr) {
        throw AutomationError(kErrorCannotCreateObject, kCannotCreate);
    }
    return applicationFrom(unknown);
}

std::shared_ptr<engine::Application> ComHostConnector::create(const std::u16string& progId) {
    const CLSID id = classOf(chosen(progId));
    IUnknown* unknown = nullptr;
    const HRESULT result = CoCreateInstance(id, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                            reinterpret_cast<void**>(&unknown));
    if (FAILED(result) || unknown == nullptr) {
        throw AutomationError(kErrorCannotCreateObject, kCannotCreate);
    }
    return applicationFrom(unknown);
}

}  // namespace quorvel::platform::windows
