#include "cadhost/standin/hostobjects.h"

#include <cmath>

#include "cadhost/core/objectchecks.h"
#include "cadhost/core/selectionsets.h"
#include "dxf/tags.h"
#include "engine/textutil.h"

namespace quorvel::cadhost::standin {

namespace {

namespace fs = std::filesystem;

fs::path pathArgument(const Arguments& arguments, std::size_t index) {
    const std::u16string text = arguments.text(index);
    return fs::path(std::wstring(text.begin(), text.end()));
}

std::string utf8Argument(const Arguments& arguments, std::size_t index) {
    return engine::toUtf8(arguments.text(index));
}

// Objects that belong to one document and stop working once it is closed.
class HostObject : public DispatchBase {
protected:
    HostObject(HostContext& context, int document) : context_(context), document_(document) {}
    void afterCall() override { context_.refresh(); }
    Document& document() const { return context_.host.document(document_); }

    HostContext& context_;
    int document_;
};

class EntityObject final : public HostObject {
public:
    EntityObject(HostContext& context, int document, int load, dxf::EntityId entity)
        : HostObject(context, document), load_(load), entity_(entity) {}

protected:
    enum : DISPID {
        kObjectName = 1,
        kHandle,
        kLayer,
        kTextString,
        kHeight,
        kCopy,
        kErase,
        kInsertionPoint,
        kAlignmentPoint,
    };

    std::vector<Member> members() const override {
        std::vector<Member> table{{L"ObjectName", kObjectName, kGet},
                                  {L"Handle", kHandle, kGet},
                                  {L"Layer", kLayer, kGet},
                                  {L"Copy", kCopy, kMethod},
                                  {L"Delete", kErase, kMethod},
                                  {L"TextString", kTextString, kGet | kPut},
                                  {L"Height", kHeight, kGet | kPut},
                                  {L"InsertionPoint", kInsertionPoint, kGet | kPut},
                                  {L"TextAlignmentPoint", kAlignmentPoint, kGet | kPut}};
        if (!context_.behaviour.withoutErase) {
            table.push_back({L"Erase", kErase, kMethod});
        }
        return table;
    }

    void invokeMember(DISPID id, unsigned access, const Arguments& arguments,
                      VARIANT& result) override {
        Document& owner = document();
        core::checkEntity(owner, load_, entity_);
        dxf::Drawing& drawing = owner.drawing;
        // Only single-line text has a text string, a height and the text's points.
        const bool textMember =
            id == kTextString || id == kHeight || id == kInsertionPoint || id == kAlignmentPoint;
        if (textMember && !core::isSingleLineText(drawing.entityType(entity_))) {
            throw MemberMissing{};
        }
        arguments.requireCount(access == kPut ? 1 : 0, access == kPut ? 1 : 0);
        switch (id) {
            case kObjectName:
                return setText(result, "AcDb" + objectName(drawing.entityType(entity_)));
            case kHandle:
                return setText(result, drawing.handle(entity_));
            case kLayer: {
                const auto info = drawing.entity(entity_);
                return setText(result, info ? info->layer : std::string());
            }
            case kTextString:
                if (access == kPut) {  // a number is taken as its text
                    return drawing.setText(entity_, utf8Argument(arguments, 0));
                }
                return setText(result, drawing.text(entity_));
            case kHeight:
                if (access == kPut) {  // "3.5" is taken as the number
                    const double height = arguments.real(0);
                    if (!std::isfinite(height) || height <= 0) {
                        throw HostFailure("文字高度必须是正数。");
                    }
                    return drawing.setHeight(entity_, height);
                }
                return setReal(result, drawing.height(entity_));
            case kCopy:
                return setObject(
                    result, new EntityObject(context_, document_, load_, drawing.copy(entity_)));
            case kErase:
                return drawing.erase(entity_);
            case kInsertionPoint:
            case kAlignmentPoint:
                if (access == kPut) {
                    return movePoint(drawing, id == kInsertionPoint ? 10 : 11,
                                     pointArgument(arguments.raw(0)));
                }
                return point(drawing, id == kInsertionPoint, result);
        }
    }

private:
    // The alignment point of a text that has none (left on the base line) is the origin.
    void point(const dxf::Drawing& drawing, bool insertion, VARIANT& result) const {
        dxf::Point at;
        if (const auto info = drawing.entity(entity_)) {
            if (const auto* text = std::get_if<dxf::TextGeometry>(&info->geometry)) {
                at = insertion ? text->insertion : text->alignment.value_or(dxf::Point{});
            }
        }
        setPoint(result, at.x, at.y, at.z);
    }

    // A point argument: an array of two or three numbers (VT_R8, or variants holding numbers).
    static dxf::Point pointArgument(const VARIANT& value) {
        const bool reals = value.vt == (VT_ARRAY | VT_R8);
        SAFEARRAY* array = reals || value.vt == (VT_ARRAY | VT_VARIANT) ? value.parray : nullptr;
        LONG low = 0;
        LONG high = -1;
        if (array == nullptr || SafeArrayGetDim(array) != 1 ||
            FAILED(SafeArrayGetLBound(array, 1, &low)) ||
            FAILED(SafeArrayGetUBound(array, 1, &high)) || high - low < 1 || high - low > 2) {
            throw ArgumentFailure{DISP_E_TYPEMISMATCH, 0};
        }
        double coordinates[3] = {0, 0, 0};
        for (LONG i = low; i <= high; ++i) {
            VARIANT element;
            VariantInit(&element);
            HRESULT read = E_FAIL;
            if (reals) {
                element.vt = VT_R8;
                read = SafeArrayGetElement(array, &i, &element.dblVal);
            } else if (SUCCEEDED(SafeArrayGetElement(array, &i, &element))) {
                read = VariantChangeType(&element, &element, 0, VT_R8);
            }
            if (FAILED(read)) {
                VariantClear(&element);
                throw ArgumentFailure{DISP_E_TYPEMISMATCH, 0};
            }
            coordinates[i - low] = element.dblVal;
        }
        return {coordinates[0], coordinates[1], coordinates[2]};
    }

    // Writes the point's group codes (10/20/30 or 11/21/31); a missing one goes after the
    // coordinate before it, the alignment point after the insertion point.
    void movePoint(dxf::Drawing& drawing, int code, const dxf::Point& to) const {
        dxf::RecordEditor editor(drawing.recordBytes(entity_));
        const double values[3] = {to.x, to.y, to.z};
        for (int axis = 0; axis < 3; ++axis) {
            const int axisCode = code + 10 * axis;
            const std::size_t at = editor.find(axisCode);
            if (at != dxf::RecordEditor::npos) {
                editor.tags()[at].value = dxf::formatNumber(values[axis]);
                continue;
            }
            std::size_t after = dxf::RecordEditor::npos;
            for (const int before : {axisCode - 10, 30, 20, 10}) {
                if (after == dxf::RecordEditor::npos && before >= 10) {
                    after = editor.find(before);
                }
            }
            if (after == dxf::RecordEditor::npos) {
                throw HostFailure("文字没有插入点（组码 10）。");
            }
            editor.insert(after + 1, axisCode, dxf::formatNumber(values[axis]));
        }
        drawing.setRecordBytes(entity_, editor.serialize());
    }

    // "TEXT" -> "Text", "ATTDEF" -> "AttributeDefinition": the class names of the object model.
    static std::string objectName(const std::string& type) {
        if (type == "ATTDEF") {
            return "AttributeDefinition";
        }
        if (type == "ATTRIB") {
            return "Attribute";
        }
        std::string name = type;
        std::transform(name.begin() + (name.empty() ? 0 : 1), name.end(),
                       name.begin() + (name.empty() ? 0 : 1),
                       [](char c) { return static_cast<char>(std::tolower(c)); });
        return name;
    }

    int load_;
    dxf::EntityId entity_;
};

class SelectionSetObject final : public HostObject {
public:
    SelectionSetObject(HostContext& context, int document, int number)
        : HostObject(context, document), number_(number) {}

protected:
    enum : DISPID { kName = 1, kCount, kItem, kSelect, kClear, kEnumerate = DISPID_NEWENUM };

    std::vector<Member> members() const override {
        return {{L"Name", kName, kGet},           {L"Count", kCount, kGet},
                {L"Item", kItem, kMethod | kGet}, {L"Select", kSelect, kMethod},
                {L"Clear", kClear, kMethod},      {L"_NewEnum", kEnumerate, kMethod | kGet}};
    }

    void invokeMember(DISPID id, unsigned, const Arguments& arguments, VARIANT& result) override {
        Document& owner = document();
        // Set numbers are never reused, so a set of replaced content is not found either.
        SelectionSet* set = &core::selectionSet(owner, number_);
        switch (id) {
            case kName:
                arguments.requireCount(0, 0);
                return setText(result, set->name);
            case kCount:
                arguments.requireCount(0, 0);
                return setInt32(result, static_cast<std::int32_t>(set->entities.size()));
            case kItem: {
                arguments.requireCount(1, 1);
                const std::size_t index =
                    core::checkedIndex(arguments.int32(0), set->entities.size());
                return setObject(result, new EntityObject(context_, document_, owner.load,
                                                          set->entities[index]));
            }
            case kSelect:
                return select(owner, *set, arguments);
            case kClear:
                arguments.requireCount(0, 0);
                set->entities.clear();
                return;
            case kEnumerate: {
                arguments.requireCount(0, 0);
                std::vector<DispatchBase*> items;
                for (const auto entity : set->entities) {
                    items.push_back(new EntityObject(context_, document_, owner.load, entity));
                }
                return setEnumerator(result, items);
            }
        }
    }

private:
    // Select(mode, corner1, corner2, filterType, filterData): the corners are left out for the
    // modes served here; the filter is a VT_I2 array and a VARIANT array of equal length.
    static void select(Document& owner, SelectionSet& set, const Arguments& arguments) {
        arguments.requireCount(1, 5);
        const std::int32_t mode = arguments.int32(0);
        for (std::size_t corner : {1u, 2u}) {
            if (arguments.present(corner)) {
                throw HostFailure("选择模式 " + std::to_string(mode) + " 不需要点。");
            }
        }
        std::vector<std::int16_t> types;
        std::vector<std::string> values;
        if (arguments.present(3) || arguments.present(4)) {
            types = filterTypes(arguments, 3);
            values = filterValues(arguments, 4);
        }
        core::selectInto(owner, set, mode, types, values);
    }

    static SAFEARRAY* vectorOf(const Arguments& arguments, std::size_t index, VARTYPE element) {
        const VARIANT& value = arguments.raw(index);
        SAFEARRAY* array = nullptr;
        if (value.vt == (VT_ARRAY | element)) {
            array = value.parray;
        } else if (value.vt == (VT_BYREF | VT_ARRAY | element) && value.pparray != nullptr) {
            array = *value.pparray;
        }
        if (array == nullptr || SafeArrayGetDim(array) != 1) {
            throw ArgumentFailure{DISP_E_TYPEMISMATCH, static_cast<UINT>(index)};
        }
        return array;
    }

    static std::vector<std::int16_t> filterTypes(const Arguments& arguments, std::size_t index) {
        SAFEARRAY* array = vectorOf(arguments, index, VT_I2);
        LONG low = 0;
        LONG high = -1;
        SafeArrayGetLBound(array, 1, &low);
        SafeArrayGetUBound(array, 1, &high);
        std::vector<std::int16_t> types;
        for (LONG i = low; i <= high; ++i) {
            SHORT value = 0;
            SafeArrayGetElement(array, &i, &value);
            types.push_back(value);
        }
        return types;
    }

    // Each value as the text it is matched as: numbers by their decimal digits.
    static std::vector<std::string> filterValues(const Arguments& arguments, std::size_t index) {
        SAFEARRAY* array = vectorOf(arguments, index, VT_VARIANT);
        LONG low = 0;
        LONG high = -1;
        SafeArrayGetLBound(array, 1, &low);
        SafeArrayGetUBound(array, 1, &high);
        std::vector<std::string> values;
        for (LONG i = low; i <= high; ++i) {
            VARIANT element;
            VariantInit(&element);
            SafeArrayGetElement(array, &i, &element);
            VARIANT text;
            VariantInit(&text);
            const VARTYPE type = element.vt;
            const bool usable = type == VT_BSTR || type == VT_I2 || type == VT_I4 ||
                                type == VT_R8 || type == VT_R4 || type == VT_BOOL || type == VT_UI1;
            HRESULT converted = E_FAIL;
            if (type == VT_BOOL) {
                values.push_back(element.boolVal != VARIANT_FALSE ? "1" : "0");
                converted = S_OK;
            } else if (usable) {
                converted = VariantChangeTypeEx(&text, &element, LOCALE_INVARIANT, 0, VT_BSTR);
                if (SUCCEEDED(converted)) {
                    values.push_back(engine::toUtf8(
                        std::u16string(reinterpret_cast<const char16_t*>(text.bstrVal),
                                       SysStringLen(text.bstrVal))));
                }
            }
            VariantClear(&text);
            VariantClear(&element);
            if (FAILED(converted)) {
                core::refuseFilterValue();
            }
        }
        return values;
    }

    int number_;
};

class SelectionSetsObject final : public HostObject {
public:
    SelectionSetsObject(HostContext& context, int document) : HostObject(context, document) {}

protected:
    enum : DISPID { kCount = 1, kAdd, kItem, kEnumerate = DISPID_NEWENUM };

    std::vector<Member> members() const override {
        return {{L"Count", kCount, kGet},
                {L"Add", kAdd, kMethod},
                {L"Item", kItem, kMethod | kGet},
                {L"_NewEnum", kEnumerate, kMethod | kGet}};
    }

    void invokeMember(DISPID id, unsigned, const Arguments& arguments, VARIANT& result) override {
        Document& owner = document();
        switch (id) {
            case kCount:
                arguments.requireCount(0, 0);
                return setInt32(result, static_cast<std::int32_t>(owner.selectionSets.size()));
            case kAdd: {
                arguments.requireCount(1, 1);
                const SelectionSet& set = core::addSelectionSet(owner, utf8Argument(arguments, 0));
                return setObject(result, new SelectionSetObject(context_, document_, set.number));
            }
            case kItem: {
                arguments.requireCount(1, 1);
                const std::size_t index =
                    core::checkedIndex(arguments.int32(0), owner.selectionSets.size());
                return setObject(result, new SelectionSetObject(context_, document_,
                                                                owner.selectionSets[index].number));
            }
            case kEnumerate: {
                arguments.requireCount(0, 0);
                std::vector<DispatchBase*> items;
                for (const SelectionSet& set : owner.selectionSets) {
                    items.push_back(new SelectionSetObject(context_, document_, set.number));
                }
                return setEnumerator(result, items);
            }
        }
    }
};

// ModelSpace, PaperSpace and Utility: kept by the client, hardly used.
class SpaceObject final : public HostObject {
public:
    enum class Kind { Model, Paper, Utility };
    SpaceObject(HostContext& context, int document, Kind kind)
        : HostObject(context, document), kind_(kind) {}

protected:
    enum : DISPID { kName = 1, kCount, kEnumerate = DISPID_NEWENUM };

    std::vector<Member> members() const override {
        if (kind_ == Kind::Utility) {
            return {};
        }
        return {{L"Name", kName, kGet},
                {L"Count", kCount, kGet},
                {L"_NewEnum", kEnumerate, kMethod | kGet}};
    }

    void invokeMember(DISPID id, unsigned, const Arguments& arguments, VARIANT& result) override {
        arguments.requireCount(0, 0);
        const bool model = kind_ == Kind::Model;
        if (id == kName) {
            return setText(result, model ? "*Model_Space" : "*Paper_Space");
        }
        const Document& owner = document();
        const auto entities = owner.drawing.entities(model ? dxf::Space::Model : dxf::Space::Paper);
        if (id == kCount) {
            return setInt32(result, static_cast<std::int32_t>(entities.size()));
        }
        std::vector<DispatchBase*> items;
        for (const auto& entity : entities) {
            items.push_back(new EntityObject(context_, document_, owner.load, entity.id));
        }
        setEnumerator(result, items);
    }

private:
    Kind kind_;
};

class DocumentObject final : public HostObject {
public:
    DocumentObject(HostContext& context, int document) : HostObject(context, document) {}

protected:
    enum : DISPID {
        kName = 1,
        kFullName,
        kSaved,
        kModelSpace,
        kPaperSpace,
        kUtility,
        kSelectionSets,
        kOpen,
        kSendCommand,
        kClose,
        kSave,
        kGetVariable,
    };

    std::vector<Member> members() const override {
        std::vector<Member> table{{L"Name", kName, kGet},
                                  {L"FullName", kFullName, kGet},
                                  {L"Saved", kSaved, kGet},
                                  {L"ModelSpace", kModelSpace, kGet},
                                  {L"PaperSpace", kPaperSpace, kGet},
                                  {L"Utility", kUtility, kGet},
                                  {L"SelectionSets", kSelectionSets, kGet},
                                  {L"Open", kOpen, kMethod},
                                  {L"Close", kClose, kMethod},
                                  {L"Save", kSave, kMethod},
                                  {L"GetVariable", kGetVariable, kMethod}};
        if (context_.host.release() == Release::R2000) {
            table.push_back({L"SendCommand", kSendCommand, kMethod});
        }
        return table;
    }

    void invokeMember(DISPID id, unsigned, const Arguments& arguments, VARIANT& result) override {
        StandinHost& host = context_.host;
        Document& owner = document();
        switch (id) {
            case kName:
                return setText(result, owner.name());
            case kFullName:
                return setText(result, pathText(owner.filePath));
            case kSaved:
                return setBool(result, !owner.drawing.isModified());
            case kModelSpace:
                return setObject(result,
                                 new SpaceObject(context_, document_, SpaceObject::Kind::Model));
            case kPaperSpace:
                return setObject(result,
                                 new SpaceObject(context_, document_, SpaceObject::Kind::Paper));
            case kUtility:
                return setObject(result,
                                 new SpaceObject(context_, document_, SpaceObject::Kind::Utility));
            case kSelectionSets:
                return setObject(result, new SelectionSetsObject(context_, document_));
            case kOpen:
                arguments.requireCount(1, 2);
                host.openInto(document_, pathArgument(arguments, 0));
                return setObject(result, new DocumentObject(context_, document_));
            case kSendCommand: {
                arguments.requireCount(1, 1);
                host.setActive(document_);
                host.commandLine.takeFailures();
                host.commandLine.type(arguments.text(0));
                context_.busyFor(context_.behaviour.busyAfterCommandMs);
                const auto failures = host.commandLine.takeFailures();
                if (!failures.empty()) {
                    std::string joined;
                    for (const auto& failure : failures) {
                        joined += (joined.empty() ? "" : "\n") + failure;
                    }
                    throw HostFailure(joined);
                }
                return;
            }
            case kClose:
                arguments.requireCount(0, 2);
                return host.close(document_, arguments.present(0) && arguments.boolean(0));
            case kSave:
                arguments.requireCount(0, 0);
                return host.save(document_);
            case kGetVariable: {
                arguments.requireCount(1, 1);
                const std::u16string name = arguments.text(0);
                if (name != u"FILEDIA" && name != u"filedia") {
                    throw HostFailure("不支持读取系统变量“" + engine::toUtf8(name) + "”。");
                }
                return setInt16(result, static_cast<std::int16_t>(host.filedia()));
            }
        }
    }
};

class DocumentsObject final : public DispatchBase {
public:
    explicit DocumentsObject(HostContext& context) : context_(context) {}

protected:
    enum : DISPID { kCount = 1, kItem, kAdd, kOpen, kEnumerate = DISPID_NEWENUM };

    std::vector<Member> members() const override {
        return {{L"Count", kCount, kGet},
                {L"Item", kItem, kMethod | kGet},
                {L"Add", kAdd, kMethod},
                {L"Open", kOpen, kMethod},
                {L"_NewEnum", kEnumerate, kMethod | kGet}};
    }

    void afterCall() override { context_.refresh(); }

    void invokeMember(DISPID id, unsigned, const Arguments& arguments, VARIANT& result) override {
        StandinHost& host = context_.host;
        switch (id) {
            case kCount:
                arguments.requireCount(0, 0);
                return setInt32(result, static_cast<std::int32_t>(host.documents().size()));
            case kItem: {
                arguments.requireCount(1, 1);
                const std::size_t index =
                    core::checkedIndex(arguments.int32(0), host.documents().size());
                return setObject(result,
                                 new DocumentObject(context_, host.documents()[index]->number));
            }
            case kAdd: {
                arguments.requireCount(0, 1);
                const fs::path source =
                    arguments.present(0) ? pathArgument(arguments, 0) : fs::path();
                return setObject(result,
                                 new DocumentObject(context_, host.addFromTemplate(source).number));
            }
            case kOpen: {
                arguments.requireCount(1, 2);
                const fs::path path = pathArgument(arguments, 0);
                if (context_.behaviour.refuseOpenTwice) {
                    refuseOpenAlready(path);
                }
                return setObject(result, new DocumentObject(context_, host.openNew(path).number));
            }
            case kEnumerate: {
                arguments.requireCount(0, 0);
                std::vector<DispatchBase*> items;
                for (const auto& document : host.documents()) {
                    items.push_back(new DocumentObject(context_, document->number));
                }
                return setEnumerator(result, items);
            }
        }
    }

private:
    void refuseOpenAlready(const fs::path& path) const {
        for (const auto& document : context_.host.documents()) {
            std::error_code error;
            if (!document->isUntitled() && fs::equivalent(document->filePath, path, error)) {
                throw HostFailure("图形“" + pathText(document->filePath) + "”已经打开。");
            }
        }
    }

    HostContext& context_;
};

class ApplicationObject final : public DispatchBase {
public:
    explicit ApplicationObject(HostContext& context) : context_(context) {}

protected:
    enum : DISPID { kVisible = 1, kCaption, kFullName, kName, kActiveDocument, kDocuments };

    std::vector<Member> members() const override {
        std::vector<Member> table{{L"Visible", kVisible, kGet | kPut},
                                  {L"Caption", kCaption, kGet},
                                  {L"FullName", kFullName, kGet},
                                  {L"Name", kName, kGet},
                                  {L"ActiveDocument", kActiveDocument, kGet}};
        if (context_.host.release() == Release::R2000) {
            table.push_back({L"Documents", kDocuments, kGet});
        }
        return table;
    }

    void afterCall() override { context_.refresh(); }

    void invokeMember(DISPID id, unsigned access, const Arguments& arguments,
                      VARIANT& result) override {
        switch (id) {
            case kVisible:
                if (access == kPut) {
                    arguments.requireCount(1, 1);
                    return context_.setWindowVisible(arguments.boolean(0));
                }
                return setBool(result, context_.isWindowVisible());
            case kCaption:
                return setText(result, context_.host.caption());
            case kFullName:
                return setText(result, context_.executablePath());
            case kName:
                return setText(result, "CAD 主机");
            case kActiveDocument:
                return setObject(
                    result, new DocumentObject(context_, context_.host.activeOrThrow().number));
            case kDocuments:
                return setObject(result, new DocumentsObject(context_));
        }
    }

private:
    HostContext& context_;
};

}  // namespace

DispatchBase* newApplicationObject(HostContext& context) {
    return new ApplicationObject(context);
}

}  // namespace quorvel::cadhost::standin
