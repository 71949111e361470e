#pragma once
// The names Quorvel and cad-host agree on over D-Bus: the host's bus name, its object paths and
// interfaces, and the prefix of its own error names. Both programs take them from here; the
// members of each interface are described in cadhost/host/dbus/*.xml, which the host's
// introspection is checked against.

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

}  // namespace quorvel::automationlink
