#pragma once
// The names Quorvel and cad-host agree on over D-Bus: the host's bus name, its object paths,
// interfaces and the members Quorvel uses, and the prefix of its own error names. Both programs
// take them from here; each interface in full, with its signatures, is described in
// cadhost/host/dbus/*.xml, which the host's introspection and the members below are checked
// against.

namespace quorvel::automationlink {

// The well-known name is the ProgID the engine asks for.
inline constexpr char kBusName[] = "AutoCAD.Application";
inline constexpr char kApplicationPath[] = "/Application";
inline constexpr char kDocumentsPath[] = "/Application/Documents";

inline constexpr char kApplicationInterface[] = "org.quorvel.CadHost.Application";
inline constexpr char kWindowsInterface[] = "org.quorvel.CadHost.Windows";
inline constexpr char kDocumentsInterface[] = "org.quorvel.CadHost.Documents";
inline constexpr char kDocumentInterface[] = "org.quorvel.CadHost.Document";
inline constexpr char kSpaceInterface[] = "org.quorvel.CadHost.Space";
inline constexpr char kUtilityInterface[] = "org.quorvel.CadHost.Utility";
inline constexpr char kSelectionSetsInterface[] = "org.quorvel.CadHost.SelectionSets";
inline constexpr char kSelectionSetInterface[] = "org.quorvel.CadHost.SelectionSet";
inline constexpr char kEntityInterface[] = "org.quorvel.CadHost.Entity";
inline constexpr char kTextInterface[] = "org.quorvel.CadHost.Text";

// Followed by the kind of failure, e.g. "ObjectErased".
inline constexpr char kErrorPrefix[] = "org.quorvel.CadHost.Error.";

// Members by interface: methods and properties alike.
namespace application {
inline constexpr char kVisible[] = "Visible";
inline constexpr char kCaption[] = "Caption";
inline constexpr char kFullName[] = "FullName";
inline constexpr char kActiveDocument[] = "ActiveDocument";
inline constexpr char kDocuments[] = "Documents";
inline constexpr char kOpenDirectConnection[] = "OpenDirectConnection";
}  // namespace application
namespace windows {
inline constexpr char kActivateWindow[] = "ActivateWindow";
inline constexpr char kSendKeys[] = "SendKeys";
}  // namespace windows
namespace documents {
inline constexpr char kAdd[] = "Add";
inline constexpr char kOpen[] = "Open";
}  // namespace documents
namespace document {
inline constexpr char kOpen[] = "Open";
inline constexpr char kModelSpace[] = "ModelSpace";
inline constexpr char kPaperSpace[] = "PaperSpace";
inline constexpr char kUtility[] = "Utility";
inline constexpr char kSelectionSets[] = "SelectionSets";
inline constexpr char kSendCommand[] = "SendCommand";
inline constexpr char kClose[] = "Close";
}  // namespace document
namespace selectionsets {
inline constexpr char kAdd[] = "Add";
}  // namespace selectionsets
namespace selectionset {
inline constexpr char kSelect[] = "Select";
inline constexpr char kEntities[] = "Entities";
}  // namespace selectionset
namespace entity {
inline constexpr char kCopy[] = "Copy";
inline constexpr char kErase[] = "erase";
}  // namespace entity
namespace textentity {
inline constexpr char kTextString[] = "TextString";
inline constexpr char kHeight[] = "Height";
}  // namespace textentity

struct ContractMember {
    const char* interface;
    const char* member;
};

// Every member above, for checking them against the interface descriptions.
inline constexpr ContractMember kContractMembers[] = {
    {kApplicationInterface, application::kVisible},
    {kApplicationInterface, application::kCaption},
    {kApplicationInterface, application::kFullName},
    {kApplicationInterface, application::kActiveDocument},
    {kApplicationInterface, application::kDocuments},
    {kApplicationInterface, application::kOpenDirectConnection},
    {kWindowsInterface, windows::kActivateWindow},
    {kWindowsInterface, windows::kSendKeys},
    {kDocumentsInterface, documents::kAdd},
    {kDocumentsInterface, documents::kOpen},
    {kDocumentInterface, document::kOpen},
    {kDocumentInterface, document::kModelSpace},
    {kDocumentInterface, document::kPaperSpace},
    {kDocumentInterface, document::kUtility},
    {kDocumentInterface, document::kSelectionSets},
    {kDocumentInterface, document::kSendCommand},
    {kDocumentInterface, document::kClose},
    {kSelectionSetsInterface, selectionsets::kAdd},
    {kSelectionSetInterface, selectionset::kSelect},
    {kSelectionSetInterface, selectionset::kEntities},
    {kEntityInterface, entity::kCopy},
    {kEntityInterface, entity::kErase},
    {kTextInterface, textentity::kTextString},
    {kTextInterface, textentity::kHeight},
};

}  // namespace quorvel::automationlink
