// The COM link against the stand-in host in its own process: how values cross as VARIANTs and
// how failures come back as error numbers and descriptions.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows/comautomation.h"
#include "platform/windows/comobject.h"
#include "platform/windows/keynotation.h"
#include "platform/windows/windowservices.h"

namespace {

std::wstring programFolderW() {
    const std::u16string folder = quorvel::platform::windows::programFolder();
    return std::wstring(folder.begin(), folder.end());
}

using namespace quorvel::platform::windows;
using quorvel::engine::AutomationError;

int runHost(const std::wstring& arguments) {
    std::wstring command = L"\"" + programFolderW() + L"\\cadh.exe\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

void closeHosts() {
    for (int i = 0; i < 100; ++i) {
        const HWND window = FindWindowW(L"QuorvelStandInHost", nullptr);
        if (window == nullptr) {
            return;
        }
        PostMessageW(window, WM_CLOSE, 0, 0);
        Sleep(100);
    }
}

ComObject createHost() {
    CLSID id{};
    EXPECT_EQ(CLSIDFromProgID(L"AutoCAD.Application", &id), S_OK);
    IDispatch* dispatch = nullptr;
    const HRESULT result = CoCreateInstance(id, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                            reinterpret_cast<void**>(&dispatch));
    EXPECT_EQ(result, S_OK);
    return ComObject(dispatch);
}

std::wstring drawingPath() {
    const char* path = std::getenv("QUORVEL_WINE_DRAWING");
    return path == nullptr ? std::wstring() : std::wstring(path, path + std::strlen(path));
}

AutomationError failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const AutomationError& failure) {
        return failure;
    }
    ADD_FAILURE() << "the call did not fail";
    return AutomationError(0, u"");
}

class StandInHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    static void TearDownTestSuite() { CoUninitialize(); }
    void TearDown() override { closeHosts(); }
};

TEST_F(StandInHost, ValuesCrossAsVariants) {
    ASSERT_EQ(runHost(L"/regserver"), 0);
    ASSERT_FALSE(drawingPath().empty()) << "QUORVEL_WINE_DRAWING names the test drawing";
    ComObject application = createHost();

    application.put(L"Visible", Variant::boolean(true));
    EXPECT_TRUE(application.get(L"Visible").toBool());
    EXPECT_EQ(application.get(L"Caption").toText(), u"CAD 主机 - [Drawing1.dwg]");
    const std::u16string fullName = application.get(L"FullName").toText();
    EXPECT_EQ(fullName.substr(fullName.size() - 9), u"\\cadh.exe");

    const std::wstring path = drawingPath();
    ComObject document = ComObject::fromVariant(
        application.object(L"Documents")
            .call(L"Open", {Variant::text(std::u16string(path.begin(), path.end()))}));
    ComObject set = ComObject::fromVariant(
        document.object(L"SelectionSets").call(L"Add", {Variant::text(u"s1")}));
    // Filter types as 16-bit integers, values as variants of text and number; corners left out.
    set.call(L"Select", {Variant::int32(5), Variant::missing(), Variant::missing(),
                         Variant::int16Array({0, 8}),
                         Variant::variantArray({std::u16string(u"text"), std::int16_t{0}})});
    ASSERT_EQ(set.get(L"Count").toInt32(), 1);
    ComObject text = ComObject::fromVariant(set.call(L"Item", {Variant::int32(0)}));
    EXPECT_EQ(text.get(L"TextString").toText(), u"旧文本旧文本");

    text.put(L"TextString", Variant::text(u"新 text ✓"));
    EXPECT_EQ(text.get(L"TextString").toText(), u"新 text ✓");
    text.put(L"Height", Variant::real(7.25));
    EXPECT_DOUBLE_EQ(text.get(L"Height").toReal(), 7.25);
    ComObject copy = ComObject::fromVariant(text.call(L"Copy"));
    text.call(L"Erase");
    EXPECT_EQ(copy.get(L"TextString").toText(), u"新 text ✓");
    // An erased entity answers with the host's description.
    EXPECT_EQ(failureOf([&] { text.get(L"TextString"); }).description(), u"该对象已被删除。");
    // Opening the file again sets the unsaved edits aside as a recovery copy, which the first
    // document now belongs to, and reads the file afresh.
    const std::u16string path16(path.begin(), path.end());
    ComObject again = ComObject::fromVariant(
        application.object(L"Documents").call(L"Open", {Variant::text(path16)}));
    EXPECT_TRUE(document.get(L"Saved").toBool());
    EXPECT_NE(document.get(L"FullName").toText().find(u"recovery"), std::u16string::npos);
    EXPECT_EQ(again.get(L"FullName").toText().find(u"recovery"), std::u16string::npos);
}

TEST_F(StandInHost, FailuresBecomeErrorNumbersWithDescriptions) {
    ASSERT_EQ(runHost(L"/regserver"), 0);
    ComObject application = createHost();
    ComObject document = application.object(L"ActiveDocument");

    EXPECT_EQ(failureOf([&] { application.get(L"NoSuchMember"); }).number(), 438);
    // A method written as a property assignment is no member either.
    EXPECT_EQ(failureOf([&] { application.put(L"Documents", Variant::int32(1)); }).number(), 438);

    const AutomationError missing =
        failureOf([&] { document.call(L"Open", {Variant::text(u"Z:\\nowhere\\none.dxf")}); });
    EXPECT_EQ(missing.number(), 440);
    EXPECT_EQ(missing.description(), u"找不到文件“Z:\\nowhere\\none.dxf”。");

    ComObject set = ComObject::fromVariant(
        document.object(L"SelectionSets").call(L"Add", {Variant::text(u"s")}));
    // Filter types that are not 16-bit integers are a type mismatch, as are texts for numbers.
    Variant wrongTypes = Variant::variantArray({std::int32_t{0}});
    EXPECT_EQ(failureOf([&] {
                  set.call(L"Select",
                           {Variant::int32(5), Variant::missing(), Variant::missing(), wrongTypes,
                            Variant::variantArray({std::u16string(u"text")})});
              }).number(),
              13);
    EXPECT_EQ(failureOf([&] { set.call(L"Item", {Variant::text(u"one")}); }).number(), 13);
    EXPECT_EQ(failureOf([&] { set.call(L"Item", {Variant::int32(3)}); }).description(),
              u"索引 3 超出范围（共 0 项）。");
}

std::vector<double> pointOf(const Variant& value) {
    EXPECT_EQ(value.type(), VT_ARRAY | VT_R8);
    std::vector<double> coordinates(3);
    for (LONG i = 0; i < 3; ++i) {
        SafeArrayGetElement(value.get()->parray, &i, &coordinates[static_cast<std::size_t>(i)]);
    }
    return coordinates;
}

Variant pointVariant(double x, double y, double z) {
    Variant point;
    SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, 3);
    double coordinates[3] = {x, y, z};
    for (LONG i = 0; i < 3; ++i) {
        SafeArrayPutElement(array, &i, &coordinates[i]);
    }
    point.get()->vt = VT_ARRAY | VT_R8;
    point.get()->parray = array;
    return point;
}

TEST_F(StandInHost, AnswersForEachCoercesArgumentsAndHasTheTextPoints) {
    ASSERT_EQ(runHost(L"/regserver"), 0);
    ComObject application = createHost();
    const std::wstring path = drawingPath();
    ComObject document = ComObject::fromVariant(
        application.object(L"Documents")
            .call(L"Open", {Variant::text(std::u16string(path.begin(), path.end()))}));
    EXPECT_EQ(application.object(L"Documents").items().size(), 2u);  // with the first drawing
    ComObject sets = document.object(L"SelectionSets");
    ComObject set = ComObject::fromVariant(sets.call(L"Add", {Variant::text(u"s")}));
    EXPECT_EQ(sets.items().size(), 1u);
    set.call(L"Select",
             {Variant::int32(5), Variant::missing(), Variant::missing(), Variant::int16Array({0}),
              Variant::variantArray({std::u16string(u"text")})});
    ComObject text;
    for (const Variant& item : set.items()) {  // For Each
        ComObject candidate = ComObject::fromVariant(item);
        if (candidate.get(L"TextString").toText() == u"Plain English") {
            text = candidate;
        }
    }
    ASSERT_TRUE(text.isSet());
    EXPECT_EQ(pointOf(text.get(L"InsertionPoint")), (std::vector<double>{0, 30, 0}));
    EXPECT_EQ(pointOf(text.get(L"TextAlignmentPoint")).size(), 3u);
    text.put(L"InsertionPoint", pointVariant(1.5, 2, 0));
    text.put(L"TextAlignmentPoint", pointVariant(7, 8, 0));
    EXPECT_EQ(pointOf(text.get(L"InsertionPoint")), (std::vector<double>{1.5, 2, 0}));
    EXPECT_EQ(pointOf(text.get(L"TextAlignmentPoint")), (std::vector<double>{7, 8, 0}));
    // As a server with a type library: the text of a number, the number of a text.
    text.put(L"Height", Variant::text(u"3.5"));
    EXPECT_DOUBLE_EQ(text.get(L"Height").toReal(), 3.5);
    text.put(L"TextString", Variant::int32(12));
    EXPECT_EQ(text.get(L"TextString").toText(), u"12");
    EXPECT_EQ(failureOf([&] { text.put(L"Height", Variant::text(u"高")); }).number(), 13);
    EXPECT_GT(document.object(L"ModelSpace").items().size(), 5u);
}

TEST_F(StandInHost, EntitiesWithoutEraseAreDeleted) {
    ASSERT_EQ(runHost(L"/regserver --without-erase"), 0);
    ComHostConnector connector;
    auto application = connector.create(u"AutoCAD.Application");
    const std::wstring path = drawingPath();
    auto document = application->Documents()->Open(std::u16string(path.begin(), path.end()));
    auto set = document->SelectionSets()->Add(u"s");
    set->Select(5, std::nullopt, std::nullopt, {0}, {std::u16string(u"text")});
    auto texts = set->entities();
    ASSERT_FALSE(texts.empty());
    texts[0]->erase();
    EXPECT_EQ(failureOf([&] { texts[0]->TextString(); }).description(), u"该对象已被删除。");
}

TEST_F(StandInHost, OlderGenerationLacksDocumentsAndSendCommand) {
    ASSERT_EQ(runHost(L"/regserver --release R14"), 0);
    ComHostConnector connector;
    auto application = connector.create(u"AutoCAD.Application");
    // The running host is found in the running-object table.
    auto attached = connector.attachRunning(u"AutoCAD.Application");
    EXPECT_EQ(attached->Caption(), application->Caption());
    EXPECT_EQ(failureOf([&] { application->Documents(); }).number(), 438);
    EXPECT_EQ(failureOf([&] { application->ActiveDocument()->SendCommand(u"qsave\r"); }).number(),
              438);
}

TEST_F(StandInHost, NothingRegisteredCannotBeCreatedOrAttached) {
    ASSERT_EQ(runHost(L"/unregserver"), 0);
    ComHostConnector connector;
    const AutomationError create = failureOf([&] { connector.create(u"AutoCAD.Application"); });
    EXPECT_EQ(create.number(), kErrorCannotCreateObject);
    EXPECT_EQ(create.description(), u"ActiveX 部件不能创建对象");
    EXPECT_EQ(failureOf([&] { connector.attachRunning(u"AutoCAD.Application"); }).number(),
              kErrorCannotCreateObject);
}

TEST(KeyNotation, ReadsTheUsualForms) {
    using Key = KeyEvent::Key;
    const auto events = parseKeyNotation(u"qs~{ESC}{BS 2}{~}+a^c");
    ASSERT_TRUE(events);
    ASSERT_EQ(events->size(), 9u);
    EXPECT_EQ((*events)[0].character, u'q');
    EXPECT_EQ((*events)[2].key, Key::Enter);
    EXPECT_EQ((*events)[3].key, Key::Escape);
    EXPECT_EQ((*events)[4].key, Key::Backspace);
    EXPECT_EQ((*events)[5].key, Key::Backspace);
    EXPECT_EQ((*events)[6].character, u'~');
    EXPECT_TRUE((*events)[7].shift);
    EXPECT_TRUE((*events)[8].control);
    for (const char16_t* bad : {u"{ESC", u"{NOSUCHKEY}", u"a+", u"{BS x}"}) {
        EXPECT_FALSE(parseKeyNotation(bad));
    }
}

HWND plainWindow(const wchar_t* title) {
    const HWND window = CreateWindowExW(0, L"STATIC", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                        200, 100, nullptr, nullptr, nullptr, nullptr);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
    return window;
}

TEST(WindowActivation, EqualTitleFirstThenBeginningLetterCaseIgnored) {
    const HWND longer = plainWindow(L"CAD 主机 - [a.dwg]");
    const HWND equal = plainWindow(L"cad 主机");
    Win32WindowControl control;
    control.activateByTitle(u"CAD 主机");
    EXPECT_EQ(GetForegroundWindow(), equal);
    control.activateByTitle(u"cad 主机 - [A");
    EXPECT_EQ(GetForegroundWindow(), longer);
    EXPECT_EQ(failureOf([&] { control.activateByTitle(u"没有这个窗口"); }).number(), 5);
    DestroyWindow(longer);
    DestroyWindow(equal);
}

TEST(ProgramFolder, IsTheModuleFolderWithBackslashes) {
    const std::u16string folder = programFolder();
    EXPECT_EQ(folder.find(u'/'), std::u16string::npos);
    EXPECT_NE(folder.back(), u'\\');
    EXPECT_EQ(
        GetFileAttributesW((std::wstring(folder.begin(), folder.end()) + L"\\cadh.exe").c_str()) ==
            INVALID_FILE_ATTRIBUTES,
        false);
}

}  // namespace
